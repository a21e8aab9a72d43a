#include "persist/xml_doc.h"

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <xercesc/dom/impl/DOMDocumentImpl.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/framework/XMLNotationDecl.hpp>
#include <xercesc/internal/ReaderMgr.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/DOMLSParserImpl.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DTDAttDef.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

#include "platform/platform.h"

namespace tidings {

using namespace xercesc;

namespace {

static_assert(sizeof(XMLCh) == sizeof(char16_t), "Xerces-C must use 16-bit text units");

const XMLCh* X(const char16_t* text) { return reinterpret_cast<const XMLCh*>(text); }
const XMLCh* X(const std::u16string& text) { return X(text.c_str()); }
const char16_t* U(const XMLCh* text) { return reinterpret_cast<const char16_t*>(text); }

std::u16string Text(const XMLCh* text) {
  return text == nullptr ? std::u16string() : std::u16string(U(text));
}

// Nodes nested deeper than this make a file unusable: copying and writing a document recurses once per
// level, and no message file needs more than a handful.
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

// Decodes `bytes` in `encoding` (a name the transcoding service knows); false when it cannot.
bool DecodeBytes(std::string_view bytes, const XMLCh* encoding, std::u16string* pstrText) {
  pstrText->clear();
  if (encoding == nullptr) return false;
  constexpr XMLSize_t kBlock = 16 * 1024;
  XMLTransService::Codes result = XMLTransService::Ok;
  std::unique_ptr<XMLTranscoder> pTranscoder(XMLPlatformUtils::fgTransService->makeNewTranscoderFor(
      encoding, result, kBlock, XMLPlatformUtils::fgMemoryManager));
  if (!pTranscoder || result != XMLTransService::Ok) return false;
  std::vector<XMLCh> units(kBlock);
  std::vector<unsigned char> sizes(kBlock);
  const XMLByte* pNext = reinterpret_cast<const XMLByte*>(bytes.data());
  XMLSize_t nLeft = bytes.size();
  try {
    while (nLeft != 0) {
      XMLSize_t nEaten = 0;
      const XMLSize_t nMade =
          pTranscoder->transcodeFrom(pNext, nLeft, units.data(), kBlock, nEaten, sizes.data());
      if (nEaten == 0 || nEaten > nLeft) return false;
      pstrText->append(U(units.data()), nMade);
      pNext += nEaten;
      nLeft -= nEaten;
    }
  } catch (...) {
    return false;
  }
  return true;
}

// The length of the byte-order mark that `bytes` begin with (UTF-8, UTF-16 or UCS-4), or 0.
size_t ByteOrderMarkSize(std::string_view bytes) {
  for (std::string_view mark :
       {std::string_view("\xEF\xBB\xBF"), std::string_view("\xFF\xFE\0\0", 4),
        std::string_view("\0\0\xFE\xFF", 4), std::string_view("\xFF\xFE"), std::string_view("\xFE\xFF")}) {
    if (bytes.substr(0, mark.size()) == mark) return mark.size();
  }
  return 0;
}

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

// Whether the Xerces-C linked here is the process's shared one, which the host may have initialised
// (the build says: 0 where it links a copy of its own into the library).
constexpr bool kXercesSharedWithHost = TIDINGS_XERCES_SHARED_WITH_HOST != 0;

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
// - It keeps the internal DTD subset as the file has it. The DOM would rebuild its text from the
//   declarations and get quotes, references, notation lists and parameter entities wrong, and a file saved
//   from it would not load again.
// - It stops at the first node nested deeper than kMaxDepth, counting elements, entity references and
//   the text, comments and processing instructions inside them, as the document would nest them. It
//   stops there rather than after the parse: the scanner's work per start tag grows with the depth (it
//   looks up namespace prefixes through every open element), so a file of some hundred thousand nested
//   elements would keep it busy for minutes first.
// - Asked to, it leaves the content of the document's DynamicMsg section unbuilt: a save rebuilds that
//   content from memory, and building it first only to drop it cost as much as the rest of the save.
//   The content is still scanned in full (the file is refused for the same faults as ever, the limits
//   included). The section is the one FindChildElement finds: the first element
//   named MsgList (in any case) among the document element's children, and the first element named
//   DynamicMsg among its children, where an entity reference's content is not a child of the element
//   around the reference, just as in the document.
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

  // The subset's text is taken from the file, between the brackets, through the scanner's offsets into
  // it. Where those cannot be had, the DOM's own rebuilt text stays, and a save checks what it wrote.
  void startIntSubset() override {
    DOMLSParserImpl::startIntSubset();
    m_bSubsetFromFile = false;
    try {
      const XMLScanner* pScanner = getScanner();
      m_nSubsetStart = pScanner->getSrcOffset();
      m_nSubsetReader = pScanner->getReaderMgr()->getCurrentReaderNum();
      m_bSubsetFromFile = true;
    } catch (...) {
    }
  }
  void endIntSubset() override {
    try {
      const XMLScanner* pScanner = getScanner();
      const XMLFilePos nEnd = pScanner->getSrcOffset();
      std::u16string strSubset;
      // The scanner counts from after a byte-order mark.
      const XMLFilePos nStart = m_nSubsetStart + ByteOrderMarkSize(m_bytes);
      const XMLFilePos nStop = nEnd + ByteOrderMarkSize(m_bytes);
      if (m_bSubsetFromFile && pScanner->getReaderMgr()->getCurrentReaderNum() == m_nSubsetReader &&
          nStop > nStart && nStop <= m_bytes.size() &&
          DecodeBytes(m_bytes.substr(static_cast<size_t>(nStart), static_cast<size_t>(nStop - nStart)),
                      pScanner->getReaderMgr()->getCurrentEncodingStr(), &strSubset) &&
          !strSubset.empty() && strSubset.back() == u']') {
        strSubset.pop_back();
        fInternalSubset.set(X(strSubset), strSubset.size());
      }
    } catch (...) {
    }
    DOMLSParserImpl::endIntSubset();
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
    if (Skipping()) {
      Open();
      if (isEmpty) --m_nLevel;
      return;
    }
    Open();
    const char16_t* lpName = U(elemDecl.getFullName());
    if (m_nLevel == 2) {
      m_bInMsgList = !m_bMsgListSeen && platform::CompareNoCase(lpName, u"MsgList") == 0;
      m_bMsgListSeen = m_bMsgListSeen || m_bInMsgList;
    } else if (m_nLevel == 3 && m_bInMsgList && !m_bDynamicSeen &&
               platform::CompareNoCase(lpName, u"DynamicMsg") == 0) {
      m_bDynamicSeen = true;
      if (m_bSkipDynamicContent) m_nSkipLevel = m_nLevel;
    }
    // Calls endElement itself for an empty element.
    DOMLSParserImpl::startElement(elemDecl, urlId, elemPrefix, attrList, attrCount, isEmpty, isRoot);
  }

  void endElement(const XMLElementDecl& elemDecl, const unsigned int urlId, const bool isRoot,
                  const XMLCh* const elemPrefix) override {
    if (Close()) DOMLSParserImpl::endElement(elemDecl, urlId, isRoot, elemPrefix);
  }

  void startEntityReference(const XMLEntityDecl& entDecl) override {
    Spend(kNodeUnits);
    const bool bSkipping = Skipping();
    Open();
    if (m_nLevel == 2) m_bInMsgList = false;
    if (!bSkipping) DOMLSParserImpl::startEntityReference(entDecl);
  }

  void endEntityReference(const XMLEntityDecl& entDecl) override {
    if (Close()) DOMLSParserImpl::endEntityReference(entDecl);
  }

  void docCharacters(const XMLCh* const chars, const XMLSize_t length, const bool cdataSection) override {
    Spend(kNodeUnits + length);
    if (!SkipContent()) DOMLSParserImpl::docCharacters(chars, length, cdataSection);
  }
  void ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length,
                           const bool cdataSection) override {
    Spend(kNodeUnits + length);
    if (!SkipContent()) DOMLSParserImpl::ignorableWhitespace(chars, length, cdataSection);
  }
  void docComment(const XMLCh* const comment) override {
    Spend(kNodeUnits + XMLString::stringLen(comment));
    if (!SkipContent()) DOMLSParserImpl::docComment(comment);
  }
  void docPI(const XMLCh* const target, const XMLCh* const data) override {
    Spend(kNodeUnits + XMLString::stringLen(target) + XMLString::stringLen(data));
    if (!SkipContent()) DOMLSParserImpl::docPI(target, data);
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
  const Locator* ScanLocator() const {
    const XMLScanner* pScanner = getScanner();
    return pScanner == nullptr ? nullptr : pScanner->getLocator();
  }
  // Before each parse: `bytes` (which must outlive the parse) are the file's.
  void Reset(bool bSkipDynamicContent, std::string_view bytes) {
    m_refusal = Refusal::kNone;
    m_strRefusedEntity.clear();
    m_nRefusedLine = m_nRefusedColumn = 0;
    m_outsideEntities.clear();
    m_bSkipDynamicContent = bSkipDynamicContent;
    m_nLevel = 0;
    m_nSkipLevel = 0;
    m_bMsgListSeen = m_bInMsgList = m_bDynamicSeen = false;
    m_bytes = bytes;
    m_nBudget = kBuiltUnitsBase + kBuiltUnitsPerByte * bytes.size();
    m_declaredAttributes.clear();
    m_unsafeEntities.clear();
    m_valueReferences.clear();
    m_fileReferences.clear();
    m_bFileReferencesRead = false;
    m_bSubsetFromFile = false;
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
      std::u16string strText;
      if (fDocument == nullptr || !DecodeBytes(m_bytes, fDocument->getInputEncoding(), &strText)) {
        m_bFileUndecodable = true;
      } else {
        m_bFileUndecodable = false;
        CollectReferences(strText, &m_fileReferences);
      }
    }
    return m_bFileUndecodable || m_fileReferences.count(strKey) != 0;
  }

  // Inside the skipped content: below the section's own level.
  bool Skipping() const { return m_nSkipLevel != 0 && m_nLevel >= m_nSkipLevel; }
  // Text, a comment or a processing instruction: whether it is skipped. Built or not, its node counts
  // towards the depth limit one level below the open one.
  bool SkipContent() {
    if (m_nLevel + 1 > kMaxDepth) Refuse(Refusal::kTooDeep);
    return Skipping();
  }
  // An element or entity reference begins: one level deeper.
  void Open() {
    if (++m_nLevel > kMaxDepth) Refuse(Refusal::kTooDeep);
  }
  // One ends: whether the document is to hear of it (it heard of its beginning).
  bool Close() {
    const bool bSkipped = Skipping() && m_nLevel > m_nSkipLevel;
    if (m_nLevel == m_nSkipLevel) m_nSkipLevel = 0;
    if (m_nLevel == 2) m_bInMsgList = false;
    --m_nLevel;
    return !bSkipped;
  }

  Refusal m_refusal = Refusal::kNone;
  std::u16string m_strRefusedEntity;
  XMLFileLoc m_nRefusedLine = 0;
  XMLFileLoc m_nRefusedColumn = 0;
  // The entities declared outside the file: system ID, and "&name;" or "%name;".
  std::unordered_map<std::u16string, std::u16string> m_outsideEntities;
  bool m_bSkipDynamicContent = false;
  size_t m_nLevel = 0;      // elements and entity references open, the document element being 1
  size_t m_nSkipLevel = 0;  // the level of the section whose content is being skipped, else 0
  bool m_bMsgListSeen = false;
  bool m_bInMsgList = false;  // the open level-2 node is the first MsgList
  bool m_bDynamicSeen = false;

  std::string_view m_bytes;  // the file being parsed
  uint64_t m_nBudget = 0;    // the units the document may still build
  std::unordered_map<const XMLElementDecl*, size_t> m_declaredAttributes;  // per element type
  // "&name" or "%name" of those not to expand, and why not.
  std::unordered_map<std::u16string, Refusal> m_unsafeEntities;
  std::unordered_set<std::u16string> m_valueReferences;  // the references entities' texts spell out
  std::unordered_set<std::u16string> m_fileReferences;   // those the file spells out, once read
  bool m_bFileReferencesRead = false;
  bool m_bFileUndecodable = false;
  bool m_bSubsetFromFile = false;  // the subset's start offset is known
  XMLFilePos m_nSubsetStart = 0;
  XMLSize_t m_nSubsetReader = 0;
};

XmlDocContext::XmlDocContext() {
  if (kXercesSharedWithHost && XMLPlatformUtils::fgMemoryManager != nullptr) {
    m_bReady = true;
    return;
  }
  try {
    XMLPlatformUtils::Initialize();
    m_bInitializedHere = true;
    m_bReady = true;
  } catch (...) {
    m_bReady = false;
  }
}

XmlDocContext::~XmlDocContext() {
  // Every Xerces-C object goes before Xerces-C does: the copy, then the parser with every document it built.
  if (m_pCopy != nullptr) m_pCopy->release();
  if (m_pParser != nullptr) m_pParser->release();
  if (!m_bInitializedHere) return;
  try {
    XMLPlatformUtils::Terminate();
  } catch (...) {
  }
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
  // Offsets into the file, for the internal subset's text.
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

std::u16string Decimal(uint64_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

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
             Decimal(kMaxEntityText) + u" characters, the library's limit for an entity that is referred to";
    case CMsgFileParser::Refusal::kEntityPercent:
      return u"refused: it refers to the parameter entity " + strEntity +
             u", whose text holds a percent sign: the library expands no parameter entity that refers to "
             u"others";
    case CMsgFileParser::Refusal::kEntityExpansions:
      return u"refused: more than " + Decimal(kMaxEntityExpansions) +
             u" entity references to expand, the library's limit";
    case CMsgFileParser::Refusal::kTooManyAttributes:
      return u"refused: an element with more than " + Decimal(kMaxAttributes) +
             u" attributes, given or defaulted, the library's limit";
    case CMsgFileParser::Refusal::kTooManyDeclared:
      return u"refused: an element type declaring more than " + Decimal(kMaxAttributes) +
             u" attributes, the library's limit";
    case CMsgFileParser::Refusal::kTooLarge:
      return u"refused: it would build more than " + Decimal(kBuiltUnitsBase + kBuiltUnitsPerByte * nBytes) +
             u" text units, the library's limit for a file of " + Decimal(nBytes) + u" bytes (" +
             Decimal(kBuiltUnitsPerByte) + u" a byte beyond a first " + Decimal(kBuiltUnitsBase) + u")";
    case CMsgFileParser::Refusal::kTooDeep:
      return u"refused: elements nested deeper than " + Decimal(kMaxDepth) + u" levels, the library's limit";
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

// Parses `bytes` as LoadXmlFile parses a file's.
DOMElement* XmlDocContext::ParseXmlBytes(std::string_view bytes, XmlLoadMode mode) {
  m_pDocument = nullptr;
  m_nErrors = m_nRequests = 0;
  m_strFirstError.clear();
  m_strFirstRequest.clear();
  m_nFirstErrorLine = m_nFirstErrorColumn = m_nFirstRequestLine = m_nFirstRequestColumn = 0;
  m_nErrorLine = m_nErrorColumn = 0;
  m_pParser->Reset(mode == XmlLoadMode::kWithoutDynamicMessages, bytes);
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
  if (pDocument == nullptr || pDocument->getDocumentElement() == nullptr) {
    if (m_strError.empty()) m_strError = u"no document element";
    return nullptr;
  }
  m_pDocument = pDocument;
  return pDocument->getDocumentElement();
}

DOMElement* XmlDocContext::LoadXmlFile(const std::u16string& strPath, XmlLoadMode mode) {
  m_pDocument = nullptr;
  m_nErrorLine = m_nErrorColumn = 0;
  std::string bytes;
  std::u16string strWhy;
  if (!platform::ReadWholeFile(strPath, &bytes, &strWhy)) {
    m_strError = u"cannot read " + strPath + u": " + strWhy;
    return nullptr;
  }
  return ParseXmlBytes(bytes, mode);
}

DOMElement* XmlDocContext::LoadXmlBytes(std::string_view bytes, XmlLoadMode mode) {
  return ParseXmlBytes(bytes, mode);
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

DOMElement* AppendElement(DOMElement* pParent, const char16_t* lpName, const XmlAttributes& attributes) {
  DOMElement* pElement = pParent->getOwnerDocument()->createElement(X(lpName));
  for (const auto& attribute : attributes) pElement->setAttribute(X(attribute.first), X(attribute.second));
  pParent->appendChild(pElement);
  return pElement;
}

DOMElement* XmlDocContext::CopyXmlDocument() {
  if (m_pCopy != nullptr) m_pCopy->release();
  m_pCopy = nullptr;
  m_pCopy = static_cast<DOMDocument*>(m_pDocument->cloneNode(true));
  return m_pCopy->getDocumentElement();
}

namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Whether text[i] is a unit that a document of that XML version cannot carry: XML 1.0 has no place for
// most control characters, U+FFFE, U+FFFF and unpaired surrogates; in XML 1.1 the other control
// characters (U+007F to U+009F) must be written as references, which the serializer does not do, and
// U+0085 and U+2028 read back as line ends.
bool IsUncarried(const XMLCh* text, size_t n, size_t i, bool bXml11) {
  const char16_t unit = text[i];
  if (unit < 0x20) return unit != 0x9 && unit != 0xA && unit != 0xD;
  if (unit == 0xFFFE || unit == 0xFFFF) return true;
  if (IsHighSurrogate(unit)) return i + 1 >= n || !IsLowSurrogate(text[i + 1]);
  if (IsLowSurrogate(unit)) return i == 0 || !IsHighSurrogate(text[i - 1]);
  return bXml11 && ((unit >= 0x7F && unit <= 0x9F) || unit == 0x2028);
}

// The same text with every such unit as U+FFFD; *pnReplaced (if given) counts them. Null when there is
// none.
std::unique_ptr<std::u16string> CarriedText(const XMLCh* text, bool bXml11, size_t* pnReplaced) {
  if (text == nullptr) return nullptr;
  const size_t n = XMLString::stringLen(text);
  std::unique_ptr<std::u16string> pFixed;
  for (size_t i = 0; i < n; ++i) {
    if (!IsUncarried(text, n, i, bXml11)) continue;
    if (!pFixed) pFixed.reset(new std::u16string(U(text), n));
    (*pFixed)[i] = u'\uFFFD';
    ++*pnReplaced;
  }
  return pFixed;
}

bool IsXml11(const DOMDocument* pDocument) {
  static const XMLCh k11[] = {chDigit_1, chPeriod, chDigit_1, chNull};
  return pDocument != nullptr && XMLString::equals(pDocument->getXmlVersion(), k11);
}

// Makes every text, attribute value, comment and instruction in `pRoot` carriable; returns how many units
// became U+FFFD. An entity reference is written as a reference, so what stands inside it is left alone.
size_t MakeCarriable(DOMNode* pRoot, bool bXml11) {
  size_t nReplaced = 0;
  DOMNode* pNode = pRoot;
  while (pNode != nullptr) {
    const DOMNode::NodeType type = pNode->getNodeType();
    if (type == DOMNode::ELEMENT_NODE) {
      DOMNamedNodeMap* pAttributes = pNode->getAttributes();
      for (XMLSize_t i = 0; pAttributes != nullptr && i < pAttributes->getLength(); ++i) {
        DOMNode* pAttr = pAttributes->item(i);
        std::unique_ptr<std::u16string> pFixed = CarriedText(pAttr->getNodeValue(), bXml11, &nReplaced);
        if (pFixed) pAttr->setNodeValue(X(*pFixed));
      }
    } else if (type == DOMNode::TEXT_NODE || type == DOMNode::CDATA_SECTION_NODE ||
               type == DOMNode::COMMENT_NODE || type == DOMNode::PROCESSING_INSTRUCTION_NODE) {
      std::unique_ptr<std::u16string> pFixed = CarriedText(pNode->getNodeValue(), bXml11, &nReplaced);
      if (pFixed) pNode->setNodeValue(X(*pFixed));
    }
    DOMNode* pNext = type == DOMNode::ENTITY_REFERENCE_NODE ? nullptr : pNode->getFirstChild();
    while (pNext == nullptr && pNode != pRoot) {
      pNext = pNode->getNextSibling();
      if (pNext == nullptr) pNode = pNode->getParentNode();
    }
    pNode = pNext;
  }
  return nReplaced;
}

// Whether two nodes, apart from their children, hold the same: kind, name, value, attributes (in any
// order) and, for a document type, its identifiers and internal subset.
bool SameNode(const DOMNode* pA, const DOMNode* pB) {
  if (pA->getNodeType() != pB->getNodeType() || !XMLString::equals(pA->getNodeName(), pB->getNodeName()) ||
      !XMLString::equals(pA->getNodeValue(), pB->getNodeValue())) {
    return false;
  }
  if (pA->getNodeType() == DOMNode::DOCUMENT_TYPE_NODE) {
    const DOMDocumentType* pTypeA = static_cast<const DOMDocumentType*>(pA);
    const DOMDocumentType* pTypeB = static_cast<const DOMDocumentType*>(pB);
    return XMLString::equals(pTypeA->getPublicId(), pTypeB->getPublicId()) &&
           XMLString::equals(pTypeA->getSystemId(), pTypeB->getSystemId()) &&
           XMLString::equals(pTypeA->getInternalSubset(), pTypeB->getInternalSubset());
  }
  if (pA->getNodeType() != DOMNode::ELEMENT_NODE) return true;
  const DOMNamedNodeMap* pAttributesA = pA->getAttributes();
  const DOMNamedNodeMap* pAttributesB = pB->getAttributes();
  const XMLSize_t n = pAttributesA == nullptr ? 0 : pAttributesA->getLength();
  if (n != (pAttributesB == nullptr ? 0 : pAttributesB->getLength())) return false;
  // The serializer writes the attributes in the order the element holds them and the parser keeps the
  // file's order, so they pair up one by one; only when they do not is the order set aside.
  bool bInOrder = true;
  for (XMLSize_t i = 0; i < n && bInOrder; ++i) {
    bInOrder = SameNode(pAttributesA->item(i), pAttributesB->item(i));
  }
  if (bInOrder) return true;
  using Pairs = std::vector<std::pair<std::u16string_view, std::u16string_view>>;
  auto pairs = [n](const DOMNamedNodeMap* pAttributes) {
    Pairs out;
    for (XMLSize_t i = 0; i < n; ++i) {
      const DOMNode* pAttr = pAttributes->item(i);
      const XMLCh* pValue = pAttr->getNodeValue();
      out.emplace_back(U(pAttr->getNodeName()), pValue == nullptr ? u"" : U(pValue));
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  return pairs(pAttributesA) == pairs(pAttributesB);
}

// Whether two trees hold the same, node by node in document order, entity references by name.
bool SameTree(const DOMNode* pRootA, const DOMNode* pRootB) {
  const DOMNode* pA = pRootA;
  const DOMNode* pB = pRootB;
  while (true) {
    if (!SameNode(pA, pB)) return false;
    // An entity reference is written as the reference: what it stands for follows from the entity's
    // declaration, which the internal subset, compared as text, holds (and a copied reference holds
    // nothing).
    const bool bReference = pA->getNodeType() == DOMNode::ENTITY_REFERENCE_NODE;
    const DOMNode* pNextA = bReference ? nullptr : pA->getFirstChild();
    const DOMNode* pNextB = bReference ? nullptr : pB->getFirstChild();
    while (pNextA == nullptr && pNextB == nullptr) {
      if (pA == pRootA) return true;
      pNextA = pA->getNextSibling();
      pNextB = pB->getNextSibling();
      if (pNextA == nullptr && pNextB == nullptr) {
        pA = pA->getParentNode();
        pB = pB->getParentNode();
      }
    }
    if (pNextA == nullptr || pNextB == nullptr) return false;
    pA = pNextA;
    pB = pNextB;
  }
}

// Serialises `pDocument` in `encoding` (null: the serializer's choice), with a byte-order mark if asked.
bool Serialize(DOMImplementationLS* pImplementation, DOMDocument* pDocument, const XMLCh* encoding,
               bool bByteOrderMark, std::string* pBytes) {
  DOMLSSerializer* pSerializer = pImplementation->createLSSerializer(XMLPlatformUtils::fgMemoryManager);
  DOMLSOutput* pOutput = pImplementation->createLSOutput(XMLPlatformUtils::fgMemoryManager);
  MemBufFormatTarget target;
  pOutput->setByteStream(&target);
  if (encoding != nullptr) pOutput->setEncoding(encoding);
  if (bByteOrderMark) pSerializer->getDomConfig()->setParameter(XMLUni::fgDOMWRTBOM, true);
  bool bWritten = false;
  try {
    bWritten = pSerializer->write(pDocument, pOutput);
  } catch (...) {
    bWritten = false;
  }
  pSerializer->release();
  pOutput->release();
  if (bWritten) pBytes->assign(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
  return bWritten;
}

}  // namespace

// Whether `bytes` load, with the document's parser, into what `pWritten` holds. The parser's earlier
// documents are released first; m_pDocument is the new one afterwards (null when refused).
bool XmlDocContext::ReadsBackAs(std::string_view bytes, const DOMDocument* pWritten) {
  m_pParser->resetDocumentPool();
  if (ParseXmlBytes(bytes, XmlLoadMode::kWhole) == nullptr) {
    std::u16string strWhere;
    if (m_nErrorLine != 0) strWhere = u" (line " + Decimal(m_nErrorLine) + u")";
    m_strError = u"what was written would not load: " + m_strError + strWhere;
    return false;
  }
  if (!SameTree(pWritten, m_pDocument)) {
    m_strError = u"what was written would load differently";
    return false;
  }
  return true;
}

size_t XmlDocContext::MakeCarriable(std::u16string* pstrText) const {
  size_t nReplaced = 0;
  std::unique_ptr<std::u16string> pFixed = CarriedText(X(*pstrText), IsXml11(m_pDocument), &nReplaced);
  if (pFixed) *pstrText = std::move(*pFixed);
  return nReplaced;
}

bool XmlDocContext::SaveXmlFile(const std::u16string& strPath) {
  std::string bytes;
  return SavedBytes(&bytes) && platform::ReplaceFileContents(strPath, bytes, &m_strError, &m_saveNotes);
}

bool XmlDocContext::CheckXmlSave() {
  std::string bytes;
  return SavedBytes(&bytes);
}

bool XmlDocContext::SavedBytes(std::string* pBytes) {
  if (m_pCopy == nullptr) CopyXmlDocument();
  DOMDocument* pCopy = m_pCopy;
  // The serializer refuses a document holding a unit its version cannot carry. None comes from a parsed
  // XML 1.0 file, and the messages made it carriable (MakeCarriable) before they were added.
  const bool bXml11 = IsXml11(m_pDocument);
  m_nUnitsReplaced = bXml11 ? tidings::MakeCarriable(pCopy, true) : 0;

  // A file read as UTF-16 is written as UTF-16, in the machine's byte order and with a byte-order mark
  // (bare UTF-16 is read by few tools). The encoding is named here because the serializer would take it
  // from the declaration alone, which the copy keeps but a file without one lacks: it would come back as
  // UTF-8. Everything else keeps the serializer's choice: the declared encoding, else UTF-8.
  const XMLCh* pEncoding = m_pDocument->getInputEncoding();
  static const XMLCh kUtf16[] = {chLatin_U, chLatin_T, chLatin_F, chDash, chDigit_1, chDigit_6, chNull};
  static const XMLCh kUtf8[] = {chLatin_U, chLatin_T, chLatin_F, chDash, chDigit_8, chNull};
  const bool bUtf16 = pEncoding != nullptr && XMLString::startsWithI(pEncoding, kUtf16);
  const bool bUtf8 = pEncoding == nullptr || XMLString::compareIString(pEncoding, kUtf8) == 0;

  // The bytes replace the file only once they are known to load into what they were meant to hold. A
  // declared encoding that cannot carry the document (UTF-7 comes back garbled, a single-byte encoding
  // cannot write every comment) gives way to UTF-8, the declaration with it.
  std::string bytes;
  if (!Serialize(m_pImplementation, pCopy, bUtf16 ? kUtf16 : nullptr, bUtf16, &bytes)) {
    m_strError = u"the document could not be serialised";
    if (bUtf16 || bUtf8) return false;
    bytes.clear();
  }
  bool bGood = !bytes.empty() && ReadsBackAs(bytes, pCopy);
  if (!bGood && !bUtf16 && !bUtf8) {
    const std::u16string strFirstError = m_strError;
    bGood = Serialize(m_pImplementation, pCopy, kUtf8, false, &bytes) && ReadsBackAs(bytes, pCopy);
    if (!bGood) m_strError = strFirstError;
  }
  if (bGood) pBytes->swap(bytes);
  return bGood;
}

const Locator* XmlDocContext::SetParserFilter(DOMLSParserFilter* pFilter) {
  const Locator* pLocator = m_pParser == nullptr ? nullptr : m_pParser->ScanLocator();
  if (pLocator != nullptr) m_pParser->setFilter(pFilter);
  return pLocator;
}

}  // namespace tidings
