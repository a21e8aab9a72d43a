// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The message file's parser with its limits. This is the one file that reaches past Xerces-C's public
// interface: the parser's scanner (internal/XMLScanner.hpp, internal/ReaderMgr.hpp) tells where in the
// file's bytes it stands and which reader (the file itself or an entity) it reads, which a save needs to
// splice its section into the bytes, and the DTD's declarations arrive as the classes of
// validators/DTD/, which the limits on entities and declared attributes read. Checked against Xerces-C
// 3.2.4 (Debian 12's, and the one the Windows builds compile); CMakeLists.txt refuses any other version
// until this file has been checked against it.

#include "persist/xml_parser.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/framework/XMLNotationDecl.hpp>
#include <xercesc/internal/ReaderMgr.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/validators/DTD/DTDAttDef.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

#include "persist/number_text.h"
#include "persist/xml_text.h"
#include "platform/platform.h"

namespace tidings {

using namespace xercesc;

namespace {

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

// What one parse learns of its file, and what it refused: a parser starts each parse with a fresh one.
struct ParseState {
  CMsgFileParser::Refusal m_refusal = CMsgFileParser::Refusal::kNone;
  std::u16string m_strRefusedEntity;
  XMLFileLoc m_nRefusedLine = 0;
  XMLFileLoc m_nRefusedColumn = 0;
  // The entities declared outside the file: system ID, and "&name;" or "%name;".
  std::unordered_map<std::u16string, std::u16string> m_outsideEntities;
  size_t m_nLevel = 0;  // elements and entity references open, the document element being 1
  bool m_bMsgListSeen = false;
  bool m_bInMsgList = false;  // the open level-2 node is the first MsgList
  bool m_bDynamicSeen = false;
  bool m_bInSection = false;  // inside the first DynamicMsg of the first MsgList
  bool m_bDefaultSeen = false;
  bool m_bInDefaults = false;   // inside the first DefaultMsg of the first MsgList
  XMLSize_t m_nMainReader = 0;  // the scanner's number of the reader of the file itself
  XmlParsedFacts m_facts;
  uint64_t m_nBudget = 0;  // the units the document may still build
  std::unordered_map<const XMLElementDecl*, size_t> m_declaredAttributes;  // per element type
  // "&name" or "%name" of those not to expand, and why not.
  std::unordered_map<std::u16string, CMsgFileParser::Refusal> m_unsafeEntities;
  std::unordered_set<std::u16string> m_valueReferences;  // the references entities' texts spell out
  std::unordered_set<std::u16string> m_fileReferences;   // those the file spells out, once read
  bool m_bFileReferencesRead = false;
  bool m_bFileUndecodable = false;
};

class BoundedParser final : public CMsgFileParser, private ParseState {
 public:
  struct Refused {};

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

  Refusal WhyRefused() const override { return m_refusal; }
  const std::u16string& RefusedEntity() const override { return m_strRefusedEntity; }
  XMLFileLoc RefusedLine() const override { return m_nRefusedLine; }
  XMLFileLoc RefusedColumn() const override { return m_nRefusedColumn; }
  std::u16string OutsideEntity(const std::u16string& strSystemId) const override {
    const auto found = m_outsideEntities.find(strSystemId);
    return found == m_outsideEntities.end() ? std::u16string() : found->second;
  }
  const XmlParsedFacts& Facts() const override { return m_facts; }
  const Locator* ScanLocator() const override {
    const XMLScanner* pScanner = getScanner();
    return pScanner == nullptr ? nullptr : pScanner->getLocator();
  }
  void Reset(bool bBuild, XmlSectionReader* pCheck, XmlSectionReader* pDefaults,
             std::string_view bytes) override {
    static_cast<ParseState&>(*this) = ParseState();
    m_bBuild = bBuild;
    m_pCheck = pCheck;
    m_pDefaults = pDefaults;
    m_bytes = bytes;
    m_nBudget = kBuiltUnitsBase + kBuiltUnitsPerByte * bytes.size();
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
      const DOMDocument* pDocument = getDocument();
      if (pDocument == nullptr || !DecodeBytes(m_bytes, pDocument->getInputEncoding(), &file)) {
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

  bool m_bBuild = true;                     // else no node is built, the document stays empty
  XmlSectionReader* m_pCheck = nullptr;     // told of the section's children
  XmlSectionReader* m_pDefaults = nullptr;  // told of DefaultMsg's children
  std::string_view m_bytes;                 // the file being parsed
};

}  // namespace

CMsgFileParser::CMsgFileParser() : DOMLSParserImpl(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr) {}

CMsgFileParser* CMsgFileParser::Create() { return new BoundedParser; }

}  // namespace tidings
