// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "persist/xml_doc.h"

#include <clocale>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <xercesc/dom/impl/DOMDocumentImpl.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/framework/XMLNotationDecl.hpp>
#include <xercesc/internal/ReaderMgr.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/DOMLSParserImpl.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DTDAttDef.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

#include "persist/number_text.h"
#include "persist/xml_library.h"
#include "persist/xml_text.h"
#include "platform/platform.h"

namespace tidings {

using namespace xercesc;

namespace {

// Nodes nested deeper than this make a file unusable: the scanner's work per start tag grows with the
// depth (see CMsgFileParser), and no message file needs more than a handful.
constexpr size_t kMaxDepth = 256;

// Entity references one document may expand, however they nest.
constexpr XMLSize_t kMaxEntityExpansions = 10000;

// The longest replacement text of an entity of the document's own that the document may refer to. Every
// expansion inserts one replacement text, and an attribute value is built whole before the parser hears
// of it, so with the cap on expansions this bounds what entities can add to one (some ten million units);
// the cap on expansions alone does not: one long entity, referenced a few thousand times, makes a file of
// a hundred kilobytes expand to gigabytes. An entity the file never refers to costs nothing but its
// declaration and may be as long as it likes.
constexpr XMLSize_t kMaxEntityText = 1024;

// Attributes one element may have, given or defaulted, and attributes one element type may declare: the
// DOM adds each attribute to its element with a search through those it already has, so an element's
// cost grows with the square of its attributes (160,000 of them took minutes).
constexpr XMLSize_t kMaxAttributes = 256;

// What a document may build, counted in text units: every name, value, text, comment and instruction,
// each node as kNodeUnits more, every attribute an element type declares once per element of that type,
// and every declaration of the DTD (a parameter entity's declarations once per reference). A document
// may build kBuiltUnitsPerByte units for every byte of its file, and kBuiltUnitsBase beside: an ordinary
// file builds two to four units a byte, while defaulted attributes and entities can make a small file
// build gigabytes.
constexpr uint64_t kNodeUnits = 8;
constexpr uint64_t kBuiltUnitsPerByte = 16;
constexpr uint64_t kBuiltUnitsBase = uint64_t{1} << 20;

// Adds to *pRefs every entity reference that `text` spells out, as "&name" or "%name": a reference can
// only be made of such a spelling, in the file or in an entity's replacement text.
void CollectReferences(std::u16string_view text, std::unordered_set<std::u16string>* pRefs) {
  static const std::u16string_view kNotInName = u" \t\r\n&%;<>\"'=()[]|,#";
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'&' && text[i] != u'%') continue;
    size_t j = i + 1;
    while (j < text.size() && kNotInName.find(text[j]) == std::u16string_view::npos) ++j;
    if (j < text.size() && text[j] == u';' && j > i + 1) {
      pRefs->insert(std::u16string(text.substr(i, j - i)));
      i = j;
    }
  }
}

}  // namespace

// The load-and-save parser with additions of its own.
// - It counts what the document builds against a budget that grows with the file's size (see
//   kBuiltUnitsPerByte) and stops at the first element with more than kMaxAttributes attributes or the
//   first element type declaring more. It stops before the DOM builds what would go over.
// - It stops at the declaration of an entity whose replacement text is longer than kMaxEntityText, and
//   at that of a parameter entity whose replacement text holds a percent sign (parameter entities
//   referring to others grow as entities do, and the scanner counts none of their expansions), when the
//   file or an entity's text refers to it: before the entity can be expanded. One it never refers to is
//   kept as it is.
// - It stops at the first node nested deeper than kMaxDepth, counting elements, entity references and
//   the text, comments and processing instructions inside them, as the document would nest them. It
//   stops there rather than after the parse: the scanner's work per start tag grows with the depth (it
//   looks up namespace prefixes through every open element), so a file of some hundred thousand nested
//   elements would keep it busy for minutes first.
// - It notes what a save needs of the file (XmlParsedFacts): where the DynamicMsg section (the one
//   FindChildElement finds through MsgList) and its messages end in the file's bytes, the encoding, the
//   attributes the DTD declares for Message with a tokenized type, and the entities it declares.
// - Asked to, it builds no document at all: a save needs only those facts, and it checks what it writes
//   by the messages the parser reads (XmlSectionCheck), which it is told of as they are read; a load
//   likewise reads the messages of both sections as they are read (XmlSectionReader). Building the
//   document cost more than the rest of the save together, and memory some twenty to a hundred times
//   the file's size. The file is still scanned in full and refused for the same faults as ever, the limits
//   included. The section is the one FindChildElement finds: the first element named MsgList (in any
//   case) among the document element's children, and the first element named DynamicMsg among its
//   children, where an entity reference's content is not a child of the element around the reference,
//   just as in the document.
class CMsgFileParser : public DOMLSParserImpl {
 public:
  enum class Refusal {
    kNone,
    kEntityTooLong,     // RefusedEntity() names it
    kEntityPercent,     // RefusedEntity() names the parameter entity
    kEntityExpansions,  // the scanner's count went past kMaxEntityExpansions
    kTooManyAttributes,
    kTooManyDeclared,  // attributes declared for one element type
    kTooLarge,
    kTooDeep,
  };
  struct Refused {};

  CMsgFileParser() : DOMLSParserImpl(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr) {}

  void entityDecl(const DTDEntityDecl& decl, const bool bIsPEDecl, const bool bIsIgnored) override {
    Spend(kNodeUnits + XMLString::stringLen(decl.getName()) + decl.getValueLen());
    // An ignored declaration (a second one of the same name) is never expanded.
    if (!decl.isExternal() && !bIsIgnored) CheckEntity(decl, bIsPEDecl);
    if (decl.isExternal() && !bIsIgnored && decl.getSystemId() != nullptr) {
      m_outsideEntities.emplace(Text(decl.getSystemId()), EntityKey(decl, bIsPEDecl) + u";");
    }
    if (!bIsPEDecl) m_facts.generalEntities.insert(Text(decl.getName()));
    DOMLSParserImpl::entityDecl(decl, bIsPEDecl, bIsIgnored);
  }

  // The scanner reports going past the expansion limit as an error; it is a refusal all the same.
  void error(const unsigned int errCode, const XMLCh* const msgDomain,
             const XMLErrorReporter::ErrTypes errType, const XMLCh* const errorText,
             const XMLCh* const systemId, const XMLCh* const publicId, const XMLFileLoc lineNum,
             const XMLFileLoc colNum) override {
    if (errCode == XMLErrs::EntityExpansionLimitExceeded && m_refusal == Refusal::kNone) {
      m_refusal = Refusal::kEntityExpansions;
      m_nRefusedLine = lineNum;
      m_nRefusedColumn = colNum;
    }
    DOMLSParserImpl::error(errCode, msgDomain, errType, errorText, systemId, publicId, lineNum, colNum);
  }

  void attDef(const DTDElementDecl& elemDecl, const DTDAttDef& attDef, const bool bIgnoring) override {
    Spend(kNodeUnits + XMLString::stringLen(attDef.getFullName()) + XMLString::stringLen(attDef.getValue()));
    if (++m_declaredAttributes[static_cast<const XMLElementDecl*>(&elemDecl)] > kMaxAttributes)
      Refuse(Refusal::kTooManyDeclared);
    static const XMLCh kMessage[] = {chLatin_M, chLatin_e, chLatin_s, chLatin_s,
                                     chLatin_a, chLatin_g, chLatin_e, chNull};
    // The scanner normalises the types from ID to NOTATION only: it reads an enumeration like CDATA.
    const XMLAttDef::AttTypes type = attDef.getType();
    if (!bIgnoring && type > XMLAttDef::CData && type <= XMLAttDef::Notation &&
        XMLString::equals(elemDecl.getFullName(), kMessage))
      m_facts.tokenizedMessageAttributes.insert(Text(attDef.getFullName()));
    DOMLSParserImpl::attDef(elemDecl, attDef, bIgnoring);
  }
  void elementDecl(const DTDElementDecl& decl, const bool bIsIgnored) override {
    Spend(kNodeUnits + XMLString::stringLen(decl.getFullName()));
    DOMLSParserImpl::elementDecl(decl, bIsIgnored);
  }
  void notationDecl(const XMLNotationDecl& decl, const bool bIsIgnored) override {
    Spend(kNodeUnits + XMLString::stringLen(decl.getName()));
    DOMLSParserImpl::notationDecl(decl, bIsIgnored);
  }
  void doctypeComment(const XMLCh* const comment) override {
    Spend(kNodeUnits + XMLString::stringLen(comment));
    DOMLSParserImpl::doctypeComment(comment);
  }
  void doctypePI(const XMLCh* const target, const XMLCh* const data) override {
    Spend(kNodeUnits + XMLString::stringLen(target) + XMLString::stringLen(data));
    DOMLSParserImpl::doctypePI(target, data);
  }
  void doctypeWhitespace(const XMLCh* const chars, const XMLSize_t length) override {
    Spend(length);
    DOMLSParserImpl::doctypeWhitespace(chars, length);
  }

  void startElement(const XMLElementDecl& elemDecl, const unsigned int urlId, const XMLCh* const elemPrefix,
                    const RefVectorOf<XMLAttr>& attrList, const XMLSize_t attrCount, const bool isEmpty,
                    const bool isRoot) override {
    if (attrCount > kMaxAttributes) Refuse(Refusal::kTooManyAttributes);
    uint64_t nUnits = kNodeUnits + XMLString::stringLen(elemDecl.getFullName());
    for (XMLSize_t i = 0; i < attrCount; ++i) {
      const XMLAttr* pAttr = attrList.elementAt(i);
      nUnits +=
          kNodeUnits + XMLString::stringLen(pAttr->getQName()) + XMLString::stringLen(pAttr->getValue());
    }
    if (!m_declaredAttributes.empty()) {
      const auto found = m_declaredAttributes.find(&elemDecl);
      if (found != m_declaredAttributes.end()) nUnits += found->second;
    }
    Spend(nUnits);
    Open();
    const char16_t* lpName = U(elemDecl.getFullName());
    if (m_nLevel == 1) {
      m_nMainReader = getScanner()->getReaderMgr()->getCurrentReaderNum();
      m_facts.strEncoding = Text(getScanner()->getReaderMgr()->getCurrentEncodingStr());
    } else if (m_nLevel == 2) {
      m_bInMsgList = !m_bMsgListSeen && SameName(lpName, u"MsgList");
      m_bMsgListSeen = m_bMsgListSeen || m_bInMsgList;
      m_facts.bMsgList = m_bMsgListSeen;
    } else if (m_nLevel == 3 && m_bInMsgList && !m_bDefaultSeen && SameName(lpName, u"DefaultMsg")) {
      m_bDefaultSeen = true;
      m_bInDefaults = true;
    } else if (m_nLevel == 3 && m_bInMsgList && !m_bDynamicSeen && SameName(lpName, u"DynamicMsg")) {
      m_bDynamicSeen = true;
      m_bInSection = true;
      // The DTD is read by now: whether it is one the parser does not read whole, in which case it skips
      // references to entities it does not know.
      m_facts.bSkipsUnknownEntities = !getScanner()->getStandalone() && !getScanner()->getHasNoDTD();
      XmlSectionBytes& section = m_facts.section;
      section.bInDocument = true;
      section.strName = lpName;
      section.bFound = SourceOffset(&section.nOpenEnd);
    } else if (m_nLevel == 4 && m_bInSection && m_pCheck != nullptr) {
      m_pCheck->Child(ScannedAttributes(attrList, attrCount));
    } else if (m_nLevel == 4 && m_bInDefaults && m_pDefaults != nullptr) {
      m_pDefaults->Child(ScannedAttributes(attrList, attrCount));
    }
    if (m_bBuild) {
      // Calls endElement itself for an empty element.
      DOMLSParserImpl::startElement(elemDecl, urlId, elemPrefix, attrList, attrCount, isEmpty, isRoot);
    } else if (isEmpty) {
      endElement(elemDecl, urlId, isRoot, elemPrefix);
    }
  }

  void endElement(const XMLElementDecl& elemDecl, const unsigned int urlId, const bool isRoot,
                  const XMLCh* const elemPrefix) override {
    if (m_bInSection && m_nLevel == 3) {
      m_bInSection = false;
      XmlSectionBytes& section = m_facts.section;
      section.bFound = section.bFound && SourceOffset(&section.nCloseEnd);
      // The scanner does not say whether a start tag was an empty-element tag; its end tells.
      section.bEmptyTag = section.nCloseEnd == section.nOpenEnd;
    }
    if (m_nLevel == 3) m_bInDefaults = false;
    NoteSectionChildEnd();
    Close();
    if (m_bBuild) DOMLSParserImpl::endElement(elemDecl, urlId, isRoot, elemPrefix);
  }

  void startEntityReference(const XMLEntityDecl& entDecl) override {
    Spend(kNodeUnits);
    Open();
    if (m_nLevel == 2) m_bInMsgList = false;
    if (m_bBuild) DOMLSParserImpl::startEntityReference(entDecl);
  }

  void endEntityReference(const XMLEntityDecl& entDecl) override {
    Close();
    if (m_bBuild) DOMLSParserImpl::endEntityReference(entDecl);
  }

  void docCharacters(const XMLCh* const chars, const XMLSize_t length, const bool cdataSection) override {
    Spend(kNodeUnits + length);
    CheckLeafDepth();
    if (m_bBuild) DOMLSParserImpl::docCharacters(chars, length, cdataSection);
  }
  void ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length,
                           const bool cdataSection) override {
    Spend(kNodeUnits + length);
    CheckLeafDepth();
    if (m_bBuild) DOMLSParserImpl::ignorableWhitespace(chars, length, cdataSection);
  }
  void docComment(const XMLCh* const comment) override {
    Spend(kNodeUnits + XMLString::stringLen(comment));
    CheckLeafDepth();
    if (m_bBuild) DOMLSParserImpl::docComment(comment);
  }
  void docPI(const XMLCh* const target, const XMLCh* const data) override {
    Spend(kNodeUnits + XMLString::stringLen(target) + XMLString::stringLen(data));
    CheckLeafDepth();
    if (m_bBuild) DOMLSParserImpl::docPI(target, data);
  }

  Refusal WhyRefused() const { return m_refusal; }
  // The entity a refusal names ("&name;" or "%name;"), where it names one.
  const std::u16string& RefusedEntity() const { return m_strRefusedEntity; }
  // Where the parse stood when it refused: line and column from 1, or 0 when unknown.
  XMLFileLoc RefusedLine() const { return m_nRefusedLine; }
  XMLFileLoc RefusedColumn() const { return m_nRefusedColumn; }
  // The entity (as RefusedEntity names one) declared with this system ID, or empty.
  std::u16string OutsideEntity(const std::u16string& strSystemId) const {
    const auto found = m_outsideEntities.find(strSystemId);
    return found == m_outsideEntities.end() ? std::u16string() : found->second;
  }
  const XmlParsedFacts& Facts() const { return m_facts; }
  const Locator* ScanLocator() const {
    const XMLScanner* pScanner = getScanner();
    return pScanner == nullptr ? nullptr : pScanner->getLocator();
  }
  // Before each parse: `bytes` (which must outlive the parse) are the file's; `pCheck` and `pDefaults`
  // (either may be null) are told of the children of DynamicMsg and of DefaultMsg.
  void Reset(bool bBuild, XmlSectionReader* pCheck, XmlSectionReader* pDefaults, std::string_view bytes) {
    m_refusal = Refusal::kNone;
    m_strRefusedEntity.clear();
    m_nRefusedLine = m_nRefusedColumn = 0;
    m_outsideEntities.clear();
    m_bBuild = bBuild;
    m_pCheck = pCheck;
    m_pDefaults = pDefaults;
    m_nLevel = 0;
    m_bMsgListSeen = m_bInMsgList = m_bDynamicSeen = m_bInSection = m_bDefaultSeen = m_bInDefaults = false;
    m_nMainReader = 0;
    m_facts = XmlParsedFacts();
    m_bytes = bytes;
    m_nBudget = kBuiltUnitsBase + kBuiltUnitsPerByte * bytes.size();
    m_declaredAttributes.clear();
    m_unsafeEntities.clear();
    m_valueReferences.clear();
    m_fileReferences.clear();
    m_bFileReferencesRead = false;
  }

 private:
  [[noreturn]] void Refuse(Refusal why, const std::u16string& strEntity = std::u16string()) {
    m_refusal = why;
    m_strRefusedEntity = strEntity;
    if (const Locator* pLocator = ScanLocator()) {
      m_nRefusedLine = pLocator->getLineNumber();
      m_nRefusedColumn = pLocator->getColumnNumber();
    }
    throw Refused();
  }
  static std::u16string EntityKey(const DTDEntityDecl& decl, bool bIsPEDecl) {
    return (bIsPEDecl ? u"%" : u"&") + Text(decl.getName());
  }
  void Spend(uint64_t nUnits) {
    if (nUnits > m_nBudget) Refuse(Refusal::kTooLarge);
    m_nBudget -= nUnits;
  }

  // An entity that must not be expanded (see the class comment) is refused as soon as it is known to be
  // referred to: when it is declared, if the file or an entity declared before refers to it, or when an
  // entity declared later refers to it.
  void CheckEntity(const DTDEntityDecl& decl, bool bIsPEDecl) {
    const std::u16string_view value(U(decl.getValue()), decl.getValueLen());
    std::unordered_set<std::u16string> refs;
    CollectReferences(value, &refs);
    for (const std::u16string& ref : refs) {
      const auto unsafe = m_unsafeEntities.find(ref);
      if (unsafe != m_unsafeEntities.end()) Refuse(unsafe->second, ref + u";");
    }
    m_valueReferences.insert(refs.begin(), refs.end());
    Refusal why = Refusal::kNone;
    if (value.size() > kMaxEntityText) {
      why = Refusal::kEntityTooLong;
    } else if (bIsPEDecl && value.find(u'%') != value.npos) {
      why = Refusal::kEntityPercent;
    } else {
      return;
    }
    const std::u16string strKey = EntityKey(decl, bIsPEDecl);
    if (m_valueReferences.count(strKey) != 0 || FileRefersTo(strKey)) Refuse(why, strKey + u";");
    m_unsafeEntities.emplace(strKey, why);
  }
  // Whether the file's text spells out the reference `strKey`; true when the text cannot be decoded.
  bool FileRefersTo(const std::u16string& strKey) {
    if (!m_bFileReferencesRead) {
      m_bFileReferencesRead = true;
      DecodedBytes file;
      if (fDocument == nullptr || !DecodeBytes(m_bytes, fDocument->getInputEncoding(), &file)) {
        m_bFileUndecodable = true;
      } else {
        m_bFileUndecodable = false;
        CollectReferences(file.text, &m_fileReferences);
      }
    }
    return m_bFileUndecodable || m_fileReferences.count(strKey) != 0;
  }

  // Whether an element's name is a section's, as FindChildElement compares them.
  bool SameName(const char16_t* lpName, const char16_t* lpSection) {
    for (const char16_t* p = lpName; *p != 0 && m_facts.bNamesAscii; ++p) m_facts.bNamesAscii = *p < 0x80;
    return platform::CompareNoCase(lpName, lpSection) == 0;
  }

  // Sets *pnOffset to where the scanner is in the file's bytes; false when it cannot tell, or is not
  // reading the file itself but an entity.
  bool SourceOffset(size_t* pnOffset) const {
    try {
      const XMLScanner* pScanner = getScanner();
      if (pScanner->getReaderMgr()->getCurrentReaderNum() != m_nMainReader) return false;
      // The scanner counts from after a byte-order mark.
      const XMLFilePos nOffset = pScanner->getSrcOffset() + ByteOrderMarkSize(m_bytes);
      if (nOffset > m_bytes.size()) return false;
      *pnOffset = static_cast<size_t>(nOffset);
      return true;
    } catch (...) {
      return false;
    }
  }
  // An element ends: if it is a message of the section, where it ends.
  void NoteSectionChildEnd() {
    if (!m_bInSection || m_nLevel != 4) return;
    XmlSectionBytes& section = m_facts.section;
    size_t nEnd = 0;
    section.bFound = section.bFound && SourceOffset(&nEnd);
    section.childEnds.push_back(nEnd);
  }

  // Text, a comment or a processing instruction: built or not, its node counts towards the depth limit
  // one level below the open one.
  void CheckLeafDepth() {
    if (m_nLevel + 1 > kMaxDepth) Refuse(Refusal::kTooDeep);
  }
  // An element or entity reference begins: one level deeper.
  void Open() {
    if (++m_nLevel > kMaxDepth) Refuse(Refusal::kTooDeep);
  }
  // One ends.
  void Close() {
    if (m_nLevel == 2) m_bInMsgList = false;
    --m_nLevel;
  }

  // An element's attributes as the scanner hands them on, the defaulted ones included.
  class ScannedAttributes final : public XmlAttributeSource {
   public:
    ScannedAttributes(const RefVectorOf<XMLAttr>& list, XMLSize_t nCount) : m_list(list), m_nCount(nCount) {}
    bool GetText(const char16_t* lpName, std::u16string* pstrValue) const override {
      pstrValue->clear();
      for (XMLSize_t i = 0; i < m_nCount; ++i) {
        const XMLAttr* pAttr = m_list.elementAt(i);
        if (!XMLString::equals(pAttr->getQName(), X(lpName))) continue;
        if (pAttr->getValue() != nullptr) pstrValue->assign(U(pAttr->getValue()));
        return true;
      }
      return false;
    }

   private:
    const RefVectorOf<XMLAttr>& m_list;
    XMLSize_t m_nCount;
  };

  Refusal m_refusal = Refusal::kNone;
  std::u16string m_strRefusedEntity;
  XMLFileLoc m_nRefusedLine = 0;
  XMLFileLoc m_nRefusedColumn = 0;
  // The entities declared outside the file: system ID, and "&name;" or "%name;".
  std::unordered_map<std::u16string, std::u16string> m_outsideEntities;
  bool m_bBuild = true;                     // else no node is built, the document stays empty
  XmlSectionReader* m_pCheck = nullptr;     // told of the section's children
  XmlSectionReader* m_pDefaults = nullptr;  // told of DefaultMsg's children
  size_t m_nLevel = 0;  // elements and entity references open, the document element being 1
  bool m_bMsgListSeen = false;
  bool m_bInMsgList = false;  // the open level-2 node is the first MsgList
  bool m_bDynamicSeen = false;
  bool m_bInSection = false;  // inside the first DynamicMsg of the first MsgList
  bool m_bDefaultSeen = false;
  bool m_bInDefaults = false;   // inside the first DefaultMsg of the first MsgList
  XMLSize_t m_nMainReader = 0;  // the scanner's number of the reader of the file itself
  XmlParsedFacts m_facts;

  std::string_view m_bytes;  // the file being parsed
  uint64_t m_nBudget = 0;    // the units the document may still build
  std::unordered_map<const XMLElementDecl*, size_t> m_declaredAttributes;  // per element type
  // "&name" or "%name" of those not to expand, and why not.
  std::unordered_map<std::u16string, Refusal> m_unsafeEntities;
  std::unordered_set<std::u16string> m_valueReferences;  // the references entities' texts spell out
  std::unordered_set<std::u16string> m_fileReferences;   // those the file spells out, once read
  bool m_bFileReferencesRead = false;
  bool m_bFileUndecodable = false;
};

XmlDocContext::XmlDocContext() { m_bReady = BeginXmlLibraryUse(&m_bInitializedHere); }

XmlDocContext::~XmlDocContext() {
  // Every Xerces-C object goes before Xerces-C does: the parser with every document it built.
  if (m_pParser != nullptr) m_pParser->release();
  if (m_bInitializedHere) EndXmlLibraryUse();
}

bool XmlDocContext::SetLocaleAndCreateParser() {
  if (!m_bReady) return false;
  // The texts of the message file have always been read under this locale. The name exists only in the
  // Windows runtime; elsewhere the call fails and changes nothing.
  std::setlocale(LC_ALL, "chinese-simplified");

  static const XMLCh kLS[] = {chLatin_L, chLatin_S, chNull};
  m_pImplementation = DOMImplementationRegistry::getDOMImplementation(kLS);
  if (m_pImplementation == nullptr) {
    m_strError = u"no DOM implementation with load and save";
    return false;
  }
  // What the implementation's createLSParser makes, with the entity check above.
  m_pParser = new CMsgFileParser;

  m_security.setEntityExpansionLimit(kMaxEntityExpansions);

  DOMConfiguration* pConfig = m_pParser->getDomConfig();
  pConfig->setParameter(XMLUni::fgDOMErrorHandler, static_cast<DOMErrorHandler*>(this));
  pConfig->setParameter(XMLUni::fgDOMResourceResolver, static_cast<DOMLSResourceResolver*>(this));
  pConfig->setParameter(XMLUni::fgXercesSecurityManager, &m_security);
  // Nothing from outside the file: no external DTD, no default resolution of external entities (which
  // would open files and URLs), no schema loading.
  pConfig->setParameter(XMLUni::fgXercesLoadExternalDTD, false);
  pConfig->setParameter(XMLUni::fgXercesDisableDefaultEntityResolution, true);
  pConfig->setParameter(XMLUni::fgXercesLoadSchema, false);
  pConfig->setParameter(XMLUni::fgXercesSchema, false);
  // Offsets into the file, for where a save splices in its section.
  pConfig->setParameter(XMLUni::fgXercesCalculateSrcOfs, true);
  return true;
}

bool XmlDocContext::handleError(const DOMError& error) {
  if (error.getSeverity() == DOMError::DOM_SEVERITY_WARNING) return true;
  if (m_nErrors++ == 0) {
    m_strFirstError = Text(error.getMessage());
    if (const DOMLocator* pLocation = error.getLocation()) {
      m_nFirstErrorLine = pLocation->getLineNumber();
      m_nFirstErrorColumn = pLocation->getColumnNumber();
    }
  }
  return false;  // stop at the first error: the file is refused whatever follows
}

DOMLSInput* XmlDocContext::resolveResource(const XMLCh* /*resourceType*/, const XMLCh* /*namespaceUri*/,
                                           const XMLCh* /*publicId*/, const XMLCh* systemId,
                                           const XMLCh* /*baseURI*/) {
  if (m_nRequests++ == 0) {
    m_strFirstRequest = Text(systemId);
    if (const Locator* pLocator = m_pParser->ScanLocator()) {
      m_nFirstRequestLine = pLocator->getLineNumber();
      m_nFirstRequestColumn = pLocator->getColumnNumber();
    }
  }
  return nullptr;
}

namespace {

std::u16string QuotedText(const std::u16string& strText) { return u"\"" + strText + u"\""; }

}  // namespace

// Why the parse of `nBytes` bytes refused the file, for someone who can change it: what was refused, and
// the limit where one was reached. Every such text begins "refused: ".
std::u16string XmlDocContext::RefusalText(size_t nBytes) const {
  const std::u16string& strEntity = m_pParser->RefusedEntity();
  switch (m_pParser->WhyRefused()) {
    case CMsgFileParser::Refusal::kNone:
      break;
    case CMsgFileParser::Refusal::kEntityTooLong:
      return u"refused: it refers to the entity " + strEntity + u", whose text is longer than " +
             DecimalText(kMaxEntityText) +
             u" characters, the library's limit for an entity that is referred to";
    case CMsgFileParser::Refusal::kEntityPercent:
      return u"refused: it refers to the parameter entity " + strEntity +
             u", whose text holds a percent sign: the library expands no parameter entity that refers to "
             u"others";
    case CMsgFileParser::Refusal::kEntityExpansions:
      return u"refused: more than " + DecimalText(kMaxEntityExpansions) +
             u" entity references to expand, the library's limit";
    case CMsgFileParser::Refusal::kTooManyAttributes:
      return u"refused: an element with more than " + DecimalText(kMaxAttributes) +
             u" attributes, given or defaulted, the library's limit";
    case CMsgFileParser::Refusal::kTooManyDeclared:
      return u"refused: an element type declaring more than " + DecimalText(kMaxAttributes) +
             u" attributes, the library's limit";
    case CMsgFileParser::Refusal::kTooLarge:
      return u"refused: it would build more than " +
             DecimalText(kBuiltUnitsBase + kBuiltUnitsPerByte * nBytes) +
             u" text units, the library's limit for a file of " + DecimalText(nBytes) + u" bytes (" +
             DecimalText(kBuiltUnitsPerByte) + u" a byte beyond a first " + DecimalText(kBuiltUnitsBase) +
             u")";
    case CMsgFileParser::Refusal::kTooDeep:
      return u"refused: elements nested deeper than " + DecimalText(kMaxDepth) +
             u" levels, the library's limit";
  }
  if (m_nRequests == 0) return std::u16string();
  const std::u16string strOutside = m_pParser->OutsideEntity(m_strFirstRequest);
  const std::u16string strWhat =
      strOutside.empty() ? u"it refers to " + QuotedText(m_strFirstRequest)
      : strOutside[0] == u'%'
          ? u"the parameter entity " + strOutside + u" is the outside DTD " + QuotedText(m_strFirstRequest)
          : u"the entity " + strOutside + u" is the outside file " + QuotedText(m_strFirstRequest);
  return u"refused: " + strWhat + u", and the library reads nothing from outside the message file";
}

DOMDocument* XmlDocContext::ParseXmlBytes(std::string_view bytes, bool bBuild, XmlSectionReader* pCheck,
                                          XmlSectionReader* pDefaults) {
  m_pDocument = nullptr;
  m_nErrors = m_nRequests = 0;
  m_strFirstError.clear();
  m_strFirstRequest.clear();
  m_nFirstErrorLine = m_nFirstErrorColumn = m_nFirstRequestLine = m_nFirstRequestColumn = 0;
  m_nErrorLine = m_nErrorColumn = 0;
  m_pParser->Reset(bBuild, pCheck, pDefaults, bytes);
  static const XMLCh kBufferId[] = {chLatin_M, chLatin_s, chLatin_g, chPeriod,
                                    chLatin_x, chLatin_m, chLatin_l, chNull};
  MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(), kBufferId, false);
  Wrapper4InputSource input(&source, false);
  DOMDocument* pDocument = nullptr;
  try {
    pDocument = m_pParser->parse(&input);
  } catch (const XMLException& e) {
    m_strError = Text(e.getMessage());
  } catch (const DOMException& e) {
    m_strError = Text(e.getMessage());
  } catch (...) {
    m_strError = u"the parser failed";
  }
  // Whatever the parser built belongs to it and goes with it; a refused file is never looked into. A
  // refusal comes first: the parser reports an outside resource it was denied, or the end of the
  // expansions it allowed, as an error of the file too.
  const std::u16string strRefusal = RefusalText(bytes.size());
  if (!strRefusal.empty()) {
    m_strError = strRefusal;
    if (m_pParser->WhyRefused() != CMsgFileParser::Refusal::kNone) {
      m_nErrorLine = m_pParser->RefusedLine();
      m_nErrorColumn = m_pParser->RefusedColumn();
    } else {
      m_nErrorLine = m_nFirstRequestLine;
      m_nErrorColumn = m_nFirstRequestColumn;
    }
    return nullptr;
  }
  if (m_nErrors != 0) {
    m_strError = u"not well formed: " + m_strFirstError;
    m_nErrorLine = m_nFirstErrorLine;
    m_nErrorColumn = m_nFirstErrorColumn;
    return nullptr;
  }
  // Unbuilt, a document that scanned without an error had its document element all the same.
  if (pDocument == nullptr || (bBuild && pDocument->getDocumentElement() == nullptr)) {
    if (m_strError.empty()) m_strError = u"no document element";
    return nullptr;
  }
  m_pDocument = pDocument;
  return pDocument;
}

bool XmlDocContext::ReadXmlFile(const std::u16string& strPath) {
  m_pDocument = nullptr;
  m_bFileParsedWhole = false;
  m_nErrorLine = m_nErrorColumn = 0;
  m_facts = XmlParsedFacts();
  std::u16string strWhy;
  if (!platform::ReadWholeFile(strPath, &m_fileBytes, &strWhy)) {
    m_strError = u"cannot read " + strPath + u": " + strWhy;
    return false;
  }
  return true;
}

DOMDocument* XmlDocContext::ParseFileBytes(bool bBuild, XmlSectionReader* pDynamics,
                                           XmlSectionReader* pDefaults) {
  m_facts = XmlParsedFacts();
  DOMDocument* pDocument = ParseXmlBytes(m_fileBytes, bBuild, pDynamics, pDefaults);
  m_bFileParsedWhole = pDocument != nullptr && bBuild;
  if (pDocument != nullptr) {
    m_facts = m_pParser->Facts();
    static const XMLCh k11[] = {chDigit_1, chPeriod, chDigit_1, chNull};
    m_bXml11 = XMLString::equals(pDocument->getXmlVersion(), k11);
  }
  return pDocument;
}

DOMElement* XmlDocContext::LoadXmlFile(const std::u16string& strPath) {
  DOMDocument* pDocument = ReadXmlFile(strPath) ? ParseFileBytes(true) : nullptr;
  return pDocument == nullptr ? nullptr : pDocument->getDocumentElement();
}

DOMElement* XmlDocContext::LoadXmlBytes(std::string_view bytes) {
  m_fileBytes.assign(bytes);
  DOMDocument* pDocument = ParseFileBytes(true);
  return pDocument == nullptr ? nullptr : pDocument->getDocumentElement();
}

bool XmlDocContext::ReadXmlSections(const std::u16string& strPath, XmlSectionReader* pDefaults,
                                    XmlSectionReader* pDynamics) {
  return ReadXmlFile(strPath) && ParseFileBytes(false, pDynamics, pDefaults) != nullptr;
}

namespace {

// FNV-1a over the file's bytes: the same value from the same bytes on every platform and build.
uint64_t FingerprintOf(std::string_view bytes) {
  uint64_t nHash = 14695981039346656037ull;
  for (char c : bytes) nHash = (nHash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return nHash;
}

}  // namespace

std::shared_ptr<const XmlFileMemo> XmlDocContext::Memo() const {
  if (m_pDocument == nullptr || !m_facts.bNamesAscii) return nullptr;
  auto pMemo = std::make_shared<XmlFileMemo>();
  pMemo->nSize = m_fileBytes.size();
  pMemo->nHash = FingerprintOf(m_fileBytes);
  pMemo->facts = m_facts;
  pMemo->bXml11 = m_bXml11;
  return pMemo;
}

bool XmlDocContext::ScanXmlFile(const std::u16string& strPath, const XmlFileMemo* pMemo) {
  if (!ReadXmlFile(strPath)) return false;
  if (pMemo != nullptr && pMemo->nSize == m_fileBytes.size() && pMemo->nHash == FingerprintOf(m_fileBytes)) {
    // Bytes that parsed once parse alike, to the same facts: the check of what a save writes parses the
    // whole of its bytes all the same.
    m_facts = pMemo->facts;
    m_bXml11 = pMemo->bXml11;
    return true;
  }
  return ParseFileBytes(false) != nullptr;
}

bool XmlDocContext::ScanXmlBytes(std::string_view bytes) {
  m_fileBytes.assign(bytes);
  return ParseFileBytes(false) != nullptr;
}

bool XmlDocContext::ParseWritten(std::string_view bytes, XmlSectionCheck* pCheck, XmlSectionBytes* pSection) {
  // The same bytes, built whole already, parse into the same document, where the section stood: the
  // check is told of the section's children there, as the parser told the document of them.
  if (m_bFileParsedWhole && bytes == m_fileBytes) {
    *pSection = m_facts.section;
    DOMElement* pDynamic =
        FindChildElement(FindChildElement(m_pDocument->getDocumentElement(), u"MsgList"), u"DynamicMsg");
    for (DOMNode* pChild = pDynamic == nullptr ? nullptr : pDynamic->getFirstChild(); pChild != nullptr;
         pChild = pChild->getNextSibling()) {
      if (pChild->getNodeType() == DOMNode::ELEMENT_NODE)
        pCheck->Child(ElementAttributes(static_cast<DOMElement*>(pChild)));
    }
    return true;
  }
  m_bFileParsedWhole = false;
  m_pParser->resetDocumentPool();
  const bool bLoads = ParseXmlBytes(bytes, false, pCheck) != nullptr;
  *pSection = m_pParser->Facts().section;
  return bLoads;
}

DOMElement* FindChildElement(DOMNode* pParent, const char16_t* lpName) {
  if (pParent == nullptr) return nullptr;
  // From sibling to sibling: a node list's item(i) walks from the first child every time.
  for (DOMNode* pChild = pParent->getFirstChild(); pChild != nullptr; pChild = pChild->getNextSibling()) {
    if (pChild->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    if (platform::CompareNoCase(U(pChild->getNodeName()), lpName) == 0) {
      return static_cast<DOMElement*>(pChild);
    }
  }
  return nullptr;
}

bool GetAttributeText(DOMElement* pElement, const char16_t* lpName, std::u16string* pstrValue) {
  pstrValue->clear();
  if (pElement == nullptr) return false;
  const DOMAttr* pAttr = pElement->getAttributeNode(X(lpName));
  if (pAttr == nullptr) return false;
  const XMLCh* pValue = pAttr->getValue();
  if (pValue != nullptr) pstrValue->assign(U(pValue));
  return true;
}

const Locator* XmlDocContext::SetParserFilter(DOMLSParserFilter* pFilter) {
  const Locator* pLocator = m_pParser == nullptr ? nullptr : m_pParser->ScanLocator();
  if (pLocator != nullptr) m_pParser->setFilter(pFilter);
  return pLocator;
}

}  // namespace tidings
