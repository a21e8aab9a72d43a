#include "persist/xml_doc.h"

#include <clocale>
#include <cstring>
#include <string_view>

#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/parsers/DOMLSParserImpl.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>
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

// The longest replacement text an entity of the document's own may have. Every expansion inserts one
// replacement text, so with the cap on expansions this bounds what entities can add to a document (some
// ten million units); the cap on expansions alone does not: one long entity, referenced a few thousand
// times, makes a file of a hundred kilobytes expand to gigabytes.
constexpr XMLSize_t kMaxEntityText = 1024;

// Whether the Xerces-C linked here is the process's shared one, which the host may have initialised
// (the build says: 0 where it links a copy of its own into the library).
constexpr bool kXercesSharedWithHost = TIDINGS_XERCES_SHARED_WITH_HOST != 0;

}  // namespace

// Counts the parser's errors; the first one's text says why a file was refused.
class CXmlErrorCounter : public DOMErrorHandler {
 public:
  bool handleError(const DOMError& error) override {
    if (error.getSeverity() == DOMError::DOM_SEVERITY_WARNING) return true;
    if (m_nErrors++ == 0) {
      m_strFirst = Text(error.getMessage());
      if (error.getLocation() != nullptr) {
        const std::string line = " (line " + std::to_string(error.getLocation()->getLineNumber()) + ")";
        m_strFirst.append(line.begin(), line.end());
      }
    }
    return false;  // stop at the first error: the file is refused whatever follows
  }
  size_t Count() const { return m_nErrors; }
  const std::u16string& First() const { return m_strFirst; }
  void Reset() {
    m_nErrors = 0;
    m_strFirst.clear();
  }

 private:
  size_t m_nErrors = 0;
  std::u16string m_strFirst;
};

// Answers every request for an outside resource (external entity, DTD, schema) with nothing, and
// remembers that one was made: such a file is refused.
class CXmlResourceBlocker : public DOMLSResourceResolver {
 public:
  DOMLSInput* resolveResource(const XMLCh* /*resourceType*/, const XMLCh* /*namespaceUri*/,
                              const XMLCh* /*publicId*/, const XMLCh* systemId,
                              const XMLCh* /*baseURI*/) override {
    if (m_nRequests++ == 0) m_strFirst = Text(systemId);
    return nullptr;
  }
  size_t Count() const { return m_nRequests; }
  const std::u16string& First() const { return m_strFirst; }
  void Reset() {
    m_nRequests = 0;
    m_strFirst.clear();
  }

 private:
  size_t m_nRequests = 0;
  std::u16string m_strFirst;
};

// The load-and-save parser with three additions of its own.
// - It stops at the declaration of an entity whose replacement text is longer than kMaxEntityText,
//   before the entity can be referenced.
// - It stops at the first node nested deeper than kMaxDepth, counting elements, entity references and
//   the text, comments and processing instructions inside them, as the document would nest them. It
//   stops there rather than after the parse: the scanner's work per start tag grows with the depth (it
//   looks up namespace prefixes through every open element), so a file of some hundred thousand nested
//   elements would keep it busy for minutes first.
// - Asked to, it leaves the content of the document's DynamicMsg section unbuilt: a save rebuilds that
//   content from memory, and building it first only to drop it cost as much as the rest of the save.
//   The content is still scanned in full (the file is refused for the same faults as ever, the depth
//   limit included). The section is the one FindChildElement finds: the first element
//   named MsgList (in any case) among the document element's children, and the first element named
//   DynamicMsg among its children, where an entity reference's content is not a child of the element
//   around the reference, just as in the document.
class CMsgFileParser : public DOMLSParserImpl {
 public:
  struct EntityTooLong {};
  struct TooDeep {};

  CMsgFileParser() : DOMLSParserImpl(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr) {}

  void entityDecl(const DTDEntityDecl& decl, const bool bIsPEDecl, const bool bIsIgnored) override {
    if (!decl.isExternal() && decl.getValueLen() > kMaxEntityText) {
      m_bEntityTooLong = true;
      throw EntityTooLong();
    }
    DOMLSParserImpl::entityDecl(decl, bIsPEDecl, bIsIgnored);
  }

  void startElement(const XMLElementDecl& elemDecl, const unsigned int urlId, const XMLCh* const elemPrefix,
                    const RefVectorOf<XMLAttr>& attrList, const XMLSize_t attrCount, const bool isEmpty,
                    const bool isRoot) override {
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
    const bool bSkipping = Skipping();
    Open();
    if (m_nLevel == 2) m_bInMsgList = false;
    if (!bSkipping) DOMLSParserImpl::startEntityReference(entDecl);
  }

  void endEntityReference(const XMLEntityDecl& entDecl) override {
    if (Close()) DOMLSParserImpl::endEntityReference(entDecl);
  }

  void docCharacters(const XMLCh* const chars, const XMLSize_t length, const bool cdataSection) override {
    if (!SkipContent()) DOMLSParserImpl::docCharacters(chars, length, cdataSection);
  }
  void ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length,
                           const bool cdataSection) override {
    if (!SkipContent()) DOMLSParserImpl::ignorableWhitespace(chars, length, cdataSection);
  }
  void docComment(const XMLCh* const comment) override {
    if (!SkipContent()) DOMLSParserImpl::docComment(comment);
  }
  void docPI(const XMLCh* const target, const XMLCh* const data) override {
    if (!SkipContent()) DOMLSParserImpl::docPI(target, data);
  }

  bool EntityWasTooLong() const { return m_bEntityTooLong; }
  bool WasTooDeep() const { return m_bTooDeep; }
  const Locator* ScanLocator() const {
    const XMLScanner* pScanner = getScanner();
    return pScanner == nullptr ? nullptr : pScanner->getLocator();
  }
  void Reset(bool bSkipDynamicContent) {
    m_bEntityTooLong = false;
    m_bTooDeep = false;
    m_bSkipDynamicContent = bSkipDynamicContent;
    m_nLevel = 0;
    m_nSkipLevel = 0;
    m_bMsgListSeen = m_bInMsgList = m_bDynamicSeen = false;
  }

 private:
  // Inside the skipped content: below the section's own level.
  bool Skipping() const { return m_nSkipLevel != 0 && m_nLevel >= m_nSkipLevel; }
  // Text, a comment or a processing instruction: whether it is skipped. Built or not, its node counts
  // towards the depth limit one level below the open one.
  bool SkipContent() {
    if (m_nLevel + 1 > kMaxDepth) {
      m_bTooDeep = true;
      throw TooDeep();
    }
    return Skipping();
  }
  // An element or entity reference begins: one level deeper.
  void Open() {
    if (++m_nLevel > kMaxDepth) {
      m_bTooDeep = true;
      throw TooDeep();
    }
  }
  // One ends: whether the document is to hear of it (it heard of its beginning).
  bool Close() {
    const bool bSkipped = Skipping() && m_nLevel > m_nSkipLevel;
    if (m_nLevel == m_nSkipLevel) m_nSkipLevel = 0;
    if (m_nLevel == 2) m_bInMsgList = false;
    --m_nLevel;
    return !bSkipped;
  }

  bool m_bEntityTooLong = false;
  bool m_bTooDeep = false;
  bool m_bSkipDynamicContent = false;
  size_t m_nLevel = 0;      // elements and entity references open, the document element being 1
  size_t m_nSkipLevel = 0;  // the level of the section whose content is being skipped, else 0
  bool m_bMsgListSeen = false;
  bool m_bInMsgList = false;  // the open level-2 node is the first MsgList
  bool m_bDynamicSeen = false;
};

CXmlLibraryUse::CXmlLibraryUse() {
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

CXmlLibraryUse::~CXmlLibraryUse() {
  if (!m_bInitializedHere) return;
  try {
    XMLPlatformUtils::Terminate();
  } catch (...) {
  }
}

XmlDocContext::XmlDocContext() = default;

XmlDocContext::~XmlDocContext() { ReleaseXmlParser(this); }

bool CreateXmlParser(XmlDocContext* pContext) {
  // The texts of the message file have always been read under this locale. The name exists only in the
  // Windows runtime; elsewhere the call fails and changes nothing.
  std::setlocale(LC_ALL, "chinese-simplified");

  static const XMLCh kLS[] = {chLatin_L, chLatin_S, chNull};
  DOMImplementation* pImpl = DOMImplementationRegistry::getDOMImplementation(kLS);
  pContext->pImplementation = dynamic_cast<DOMImplementationLS*>(pImpl);
  if (pContext->pImplementation == nullptr) {
    pContext->strError = u"no DOM implementation with load and save";
    return false;
  }
  // What the implementation's createLSParser makes, with the entity check above.
  pContext->pParser = new CMsgFileParser;

  pContext->pErrors.reset(new CXmlErrorCounter);
  pContext->pResources.reset(new CXmlResourceBlocker);
  pContext->pSecurity.reset(new SecurityManager);
  pContext->pSecurity->setEntityExpansionLimit(kMaxEntityExpansions);

  DOMConfiguration* pConfig = pContext->pParser->getDomConfig();
  pConfig->setParameter(XMLUni::fgDOMErrorHandler, static_cast<DOMErrorHandler*>(pContext->pErrors.get()));
  pConfig->setParameter(XMLUni::fgDOMResourceResolver,
                        static_cast<DOMLSResourceResolver*>(pContext->pResources.get()));
  pConfig->setParameter(XMLUni::fgXercesSecurityManager, pContext->pSecurity.get());
  // Nothing from outside the file: no external DTD, no default resolution of external entities (which
  // would open files and URLs), no schema loading.
  pConfig->setParameter(XMLUni::fgXercesLoadExternalDTD, false);
  pConfig->setParameter(XMLUni::fgXercesDisableDefaultEntityResolution, true);
  pConfig->setParameter(XMLUni::fgXercesLoadSchema, false);
  pConfig->setParameter(XMLUni::fgXercesSchema, false);
  return true;
}

DOMElement* LoadXmlFile(XmlDocContext* pContext, const std::u16string& strPath, XmlLoadMode mode) {
  pContext->pDocument = nullptr;
  std::string bytes;
  if (!platform::ReadWholeFile(strPath, &bytes)) {
    pContext->strError = u"cannot read " + strPath;
    return nullptr;
  }
  pContext->pErrors->Reset();
  pContext->pResources->Reset();
  CMsgFileParser* pParser = static_cast<CMsgFileParser*>(pContext->pParser);
  pParser->Reset(mode == XmlLoadMode::kWithoutDynamicMessages);
  static const XMLCh kBufferId[] = {chLatin_M, chLatin_s, chLatin_g, chPeriod,
                                    chLatin_x, chLatin_m, chLatin_l, chNull};
  MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(), kBufferId, false);
  Wrapper4InputSource input(&source, false);
  DOMDocument* pDocument = nullptr;
  try {
    pDocument = pParser->parse(&input);
  } catch (const XMLException& e) {
    pContext->strError = Text(e.getMessage());
  } catch (const DOMException& e) {
    pContext->strError = Text(e.getMessage());
  } catch (...) {
    pContext->strError = u"the parser failed";
  }
  // Whatever the parser built belongs to it and goes with it; a refused file is never looked into.
  if (pContext->pErrors->Count() != 0) {
    pContext->strError = u"not well formed: " + pContext->pErrors->First();
    return nullptr;
  }
  if (pParser->EntityWasTooLong()) {
    pContext->strError = u"declares an entity longer than the library allows";
    return nullptr;
  }
  if (pParser->WasTooDeep()) {
    pContext->strError = u"nested too deeply";
    return nullptr;
  }
  if (pContext->pResources->Count() != 0) {
    pContext->strError = u"refers to an outside resource: " + pContext->pResources->First();
    return nullptr;
  }
  if (pDocument == nullptr || pDocument->getDocumentElement() == nullptr) {
    if (pContext->strError.empty()) pContext->strError = u"no document element";
    return nullptr;
  }
  pContext->pDocument = pDocument;
  return pDocument->getDocumentElement();
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

DOMElement* CopyXmlDocument(XmlDocContext* pContext) {
  if (pContext->pCopy != nullptr) pContext->pCopy->release();
  pContext->pCopy = nullptr;
  pContext->pCopy = static_cast<DOMDocument*>(pContext->pDocument->cloneNode(true));
  return pContext->pCopy->getDocumentElement();
}

bool SaveXmlFile(XmlDocContext* pContext, const std::u16string& strPath) {
  if (pContext->pCopy == nullptr) CopyXmlDocument(pContext);
  DOMDocument* pCopy = pContext->pCopy;
  DOMLSSerializer* pSerializer =
      pContext->pImplementation->createLSSerializer(XMLPlatformUtils::fgMemoryManager);
  DOMLSOutput* pOutput = pContext->pImplementation->createLSOutput(XMLPlatformUtils::fgMemoryManager);
  MemBufFormatTarget target;
  pOutput->setByteStream(&target);
  // A file read as UTF-16 is written as UTF-16, in the machine's byte order and with a byte-order mark
  // (bare UTF-16 is read by few tools). The encoding is named here because the serializer would take it
  // from the declaration alone, which the copy keeps but a file without one lacks: it would come back as
  // UTF-8. Everything else keeps the serializer's choice: the declared encoding, else UTF-8.
  const XMLCh* pEncoding = pContext->pDocument->getInputEncoding();
  static const XMLCh kUtf16[] = {chLatin_U, chLatin_T, chLatin_F, chDash, chDigit_1, chDigit_6, chNull};
  if (pEncoding != nullptr && XMLString::startsWithI(pEncoding, kUtf16)) {
    pOutput->setEncoding(kUtf16);
    pSerializer->getDomConfig()->setParameter(XMLUni::fgDOMWRTBOM, true);
  }
  bool bWritten = false;
  try {
    bWritten = pSerializer->write(pCopy, pOutput);
  } catch (...) {
    bWritten = false;
  }
  pSerializer->release();
  pOutput->release();
  pCopy->release();
  pContext->pCopy = nullptr;
  if (!bWritten) {
    pContext->strError = u"the document could not be serialised";
    return false;
  }
  const std::string_view bytes(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
  return platform::ReplaceFileContents(strPath, bytes, &pContext->strError, &pContext->saveNotes);
}

const Locator* XmlParserLocator(const XmlDocContext* pContext) {
  if (pContext->pParser == nullptr) return nullptr;
  return static_cast<const CMsgFileParser*>(pContext->pParser)->ScanLocator();
}

void ReleaseXmlParser(XmlDocContext* pContext) {
  if (pContext->pCopy != nullptr) pContext->pCopy->release();
  pContext->pCopy = nullptr;
  if (pContext->pParser != nullptr) pContext->pParser->release();
  pContext->pParser = nullptr;
  pContext->pDocument = nullptr;
}

}  // namespace tidings
