// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "persist/xml_doc.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "persist/number_text.h"
#include "persist/xml_library.h"
#include "persist/xml_parser.h"
#include "persist/xml_text.h"
#include "platform/platform.h"

namespace tidings {

using namespace xercesc;

XmlDocContext::XmlDocContext() { m_bReady = BeginXmlLibraryUse(&m_bInitializedHere); }

XmlDocContext::~XmlDocContext() {
  // Every Xerces-C object goes before Xerces-C does: the parser with every document it built.
  if (m_pParser != nullptr) m_pParser->release();
  if (m_bInitializedHere) EndXmlLibraryUse();
}

Status XmlDocContext::CreateParser() {
  if (!m_bReady) return Status::NotFound();
  static const XMLCh kLS[] = {chLatin_L, chLatin_S, chNull};
  m_pImplementation = DOMImplementationRegistry::getDOMImplementation(kLS);
  if (m_pImplementation == nullptr) return Status::Failed(u"no DOM implementation with load and save");
  // What the implementation's createLSParser makes, with the limits of xml_parser.h.
  m_pParser = CMsgFileParser::Create();

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
  return Status();
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

Status XmlDocContext::ParseXmlBytes(std::string_view bytes, bool bBuild, XmlSectionReader* pCheck,
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
  std::u16string strThrown;
  try {
    pDocument = m_pParser->parse(&input);
  } catch (const XMLException& e) {
    strThrown = Text(e.getMessage());
  } catch (const DOMException& e) {
    strThrown = Text(e.getMessage());
  } catch (...) {
    strThrown = u"the parser failed";
  }
  // Whatever the parser built belongs to it and goes with it; a refused file is never looked into. A
  // refusal comes first: the parser reports an outside resource it was denied, or the end of the
  // expansions it allowed, as an error of the file too.
  std::u16string strRefusal = RefusalText(bytes.size());
  if (!strRefusal.empty()) {
    const bool bLimit = m_pParser->WhyRefused() != CMsgFileParser::Refusal::kNone;
    m_nErrorLine = bLimit ? m_pParser->RefusedLine() : m_nFirstRequestLine;
    m_nErrorColumn = bLimit ? m_pParser->RefusedColumn() : m_nFirstRequestColumn;
    return Status::Failed(std::move(strRefusal));
  }
  if (m_nErrors != 0) {
    m_nErrorLine = m_nFirstErrorLine;
    m_nErrorColumn = m_nFirstErrorColumn;
    return Status::Failed(u"not well formed: " + m_strFirstError);
  }
  // Unbuilt, a document that scanned without an error had its document element all the same.
  if (pDocument == nullptr || (bBuild && pDocument->getDocumentElement() == nullptr))
    return Status::Failed(strThrown.empty() ? u"no document element" : strThrown);
  m_pDocument = pDocument;
  return Status();
}

Status XmlDocContext::ReadXmlFile(const std::u16string& strPath) {
  m_pDocument = nullptr;
  m_bFileParsedWhole = false;
  m_nErrorLine = m_nErrorColumn = 0;
  m_facts = XmlParsedFacts();
  return platform::ReadWholeFile(strPath, &m_fileBytes);
}

Status XmlDocContext::ParseFileBytes(bool bBuild, XmlSectionReader* pDynamics, XmlSectionReader* pDefaults) {
  m_facts = XmlParsedFacts();
  Status status = ParseXmlBytes(m_fileBytes, bBuild, pDynamics, pDefaults);
  m_bFileParsedWhole = status.ok() && bBuild;
  if (status.ok()) {
    m_facts = m_pParser->Facts();
    static const XMLCh k11[] = {chDigit_1, chPeriod, chDigit_1, chNull};
    m_bXml11 = XMLString::equals(m_pDocument->getXmlVersion(), k11);
  }
  return status;
}

Status XmlDocContext::LoadXmlFile(const std::u16string& strPath, DOMElement** ppRoot) {
  Status status = ReadXmlFile(strPath);
  if (status.ok()) status = ParseFileBytes(true);
  *ppRoot = status.ok() ? m_pDocument->getDocumentElement() : nullptr;
  return status;
}

Status XmlDocContext::LoadXmlBytes(std::string_view bytes, DOMElement** ppRoot) {
  m_fileBytes.assign(bytes);
  Status status = ParseFileBytes(true);
  *ppRoot = status.ok() ? m_pDocument->getDocumentElement() : nullptr;
  return status;
}

Status XmlDocContext::ReadXmlSections(const std::u16string& strPath, XmlSectionReader* pDefaults,
                                      XmlSectionReader* pDynamics) {
  Status status = ReadXmlFile(strPath);
  if (status.ok()) status = ParseFileBytes(false, pDynamics, pDefaults);
  return status.ok() && !m_facts.bMsgList ? Status::NotFound() : status;
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

Status XmlDocContext::ScanXmlFile(const std::u16string& strPath, const XmlFileMemo* pMemo) {
  Status status = ReadXmlFile(strPath);
  if (!status.ok()) return status;
  if (pMemo != nullptr && pMemo->nSize == m_fileBytes.size() && pMemo->nHash == FingerprintOf(m_fileBytes)) {
    // Bytes that parsed once parse alike, to the same facts: the check of what a save writes parses the
    // whole of its bytes all the same.
    m_facts = pMemo->facts;
    m_bXml11 = pMemo->bXml11;
    return status;
  }
  return ParseFileBytes(false);
}

Status XmlDocContext::ScanXmlBytes(std::string_view bytes) {
  m_fileBytes.assign(bytes);
  return ParseFileBytes(false);
}

Status XmlDocContext::ParseWritten(std::string_view bytes, XmlSectionCheck* pCheck,
                                   XmlSectionBytes* pSection) {
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
    return Status();
  }
  m_bFileParsedWhole = false;
  m_pParser->resetDocumentPool();
  Status status = ParseXmlBytes(bytes, false, pCheck);
  *pSection = m_pParser->Facts().section;
  return status;
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
