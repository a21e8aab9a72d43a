// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "msg_check.h"

#include <xercesc/dom/DOM.hpp>

#include "element_lines.h"
#include "number_look.h"
#include "persist/msg_file.h"
#include "persist/xml_doc.h"
#include "platform/platform.h"

namespace tidings {
namespace msgcheck {

using xercesc::DOMElement;
using xercesc::DOMNamedNodeMap;
using xercesc::DOMNode;
using xercesc::DOMNodeList;

namespace {

// The attributes a message is read from; names are matched exactly, case included.
constexpr const char16_t* kMessageAttributes[] = {u"MsgSpan",     u"MsgName",  u"MsgSInfo",
                                                  u"MsgEchoPath", u"ShowType", u"ShowTime"};

std::u16string Text(const XMLCh* pText) {
  return pText == nullptr ? std::u16string() : std::u16string(reinterpret_cast<const char16_t*>(pText));
}

std::u16string Decimal(int64_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string Decimal(uint64_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

bool SameNoCase(const std::u16string& strA, const char16_t* lpB) {
  return platform::CompareNoCase(strA.c_str(), lpB) == 0;
}

bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

bool HasOnlyXmlSpace(const std::u16string& strText) {
  for (char16_t c : strText) {
    if (!IsXmlSpace(c)) return false;
  }
  return true;
}

// The first element in document order below `pNode`; null when there is none. The elements an entity
// reference stands for carry the line of the reference.
const DOMNode* FirstElement(const DOMNode* pNode) {
  for (const DOMNode* pChild = pNode->getFirstChild(); pChild != nullptr; pChild = pChild->getNextSibling()) {
    if (pChild->getNodeType() == DOMNode::ELEMENT_NODE) return pChild;
    if (const DOMNode* pFound = FirstElement(pChild)) return pFound;
  }
  return nullptr;
}

// Elements, or text other than white space: what a message element holds besides its attributes.
bool HoldsContent(const DOMNode* pNode) {
  for (const DOMNode* pChild = pNode->getFirstChild(); pChild != nullptr; pChild = pChild->getNextSibling()) {
    switch (pChild->getNodeType()) {
      case DOMNode::ELEMENT_NODE:
        return true;
      case DOMNode::TEXT_NODE:
      case DOMNode::CDATA_SECTION_NODE:
        if (!HasOnlyXmlSpace(Text(pChild->getNodeValue()))) return true;
        break;
      case DOMNode::ENTITY_REFERENCE_NODE:
        if (HoldsContent(pChild)) return true;
        break;
      default:
        break;
    }
  }
  return false;
}

// Why a number text that was read reads differently than it looks.
std::u16string Differences(const NumberLook& look) {
  std::u16string strWhy;
  auto add = [&strWhy](const std::u16string& strReason) {
    if (!strWhy.empty()) strWhy += u"; ";
    strWhy += strReason;
  };
  if (look.bHex) add(u"it is read as hexadecimal");
  if (look.bInnerSpace) add(u"the spaces in it are removed");
  if (look.bWraps) add(u"the value does not fit in 32 bits and wraps around");
  if (!look.strIgnored.empty()) add(QuoteText(look.strIgnored) + u" after the number is ignored");
  return strWhy;
}

enum class SectionKind { kDefault, kDynamic };

// Walks one parsed file as the loader does and notes what it finds.
class CChecker {
 public:
  CChecker(const CElementLines& lines, CheckResult* pResult) : m_lines(lines), m_pResult(pResult) {}

  // `loaded`: what ReadMessages read from the file, the dynamic IDs from 0 as at a fresh start.
  void CheckDocument(DOMElement* pRoot, const LoadedMessages& loaded) {
    const xercesc::DOMDocumentType* pDoctype = pRoot->getOwnerDocument()->getDoctype();
    if (pDoctype != nullptr && pDoctype->getSystemId() != nullptr && *pDoctype->getSystemId() != 0) {
      Add(Severity::kInfo, nullptr,
          u"the document type names the outside DTD " + QuoteText(Text(pDoctype->getSystemId())) +
              u", which is never loaded: nothing declared there applies");
    }
    DOMElement* pMsgList = FindChildElement(pRoot, u"MsgList");
    if (pMsgList == nullptr) {
      const std::u16string strRoot = Text(pRoot->getTagName());
      std::u16string strText = u"no MsgList among the children of the document element <" + strRoot + u">";
      if (SameNoCase(strRoot, u"MsgList")) {
        strText += u" (the document element's own name is not looked at: MsgList must stand inside it)";
      }
      Add(Severity::kError, pRoot, strText);
      return;
    }
    CheckNamesakes(pRoot, pMsgList, u"MsgList", u" is read and saved into");

    DOMElement* pDefault = FindChildElement(pMsgList, u"DefaultMsg");
    DOMElement* pDynamic = FindChildElement(pMsgList, u"DynamicMsg");
    if (pDefault == nullptr) {
      Add(Severity::kInfo, pMsgList, u"MsgList has no DefaultMsg: there are no default messages");
    } else {
      CheckNamesakes(pMsgList, pDefault, u"DefaultMsg", u" is read");
      CheckSection(pDefault, SectionKind::kDefault, loaded.defaults, &m_pResult->defaults);
    }
    if (pDynamic == nullptr) {
      Add(Severity::kWarning, pMsgList,
          u"MsgList has no DynamicMsg: dynamic messages are never saved, the library skips every save");
    } else {
      CheckNamesakes(pMsgList, pDynamic, u"DynamicMsg",
                     u" is read and saved into; saves leave this one untouched");
      CheckSection(pDynamic, SectionKind::kDynamic, loaded.dynamics, &m_pResult->dynamics);
    }
  }

  void Add(Severity severity, const DOMNode* pNode, const std::u16string& strText) {
    Finding finding;
    finding.severity = severity;
    finding.nLine = pNode == nullptr ? 0 : m_lines.LineOf(pNode);
    finding.strText = strText;
    m_pResult->findings.push_back(finding);
  }

 private:
  // The elements after `pFirst` among the children of `pParent` that FindChildElement would also match:
  // only the first is used, as `strUse` says.
  void CheckNamesakes(DOMElement* pParent, DOMElement* pFirst, const char16_t* lpName,
                      const std::u16string& strUse) {
    for (DOMNode* pNode = pFirst->getNextSibling(); pNode != nullptr; pNode = pNode->getNextSibling()) {
      if (pNode->getNodeType() != DOMNode::ELEMENT_NODE) continue;
      const std::u16string strName = Text(pNode->getNodeName());
      if (!SameNoCase(strName, lpName)) continue;
      Add(Severity::kWarning, pNode,
          u"another <" + strName + u"> in <" + Text(pParent->getTagName()) + u"> is ignored: only the first" +
              Where(pFirst) + strUse);
    }
  }

  // " (line N)" of the first of several, when known.
  std::u16string Where(const DOMNode* pNode) const {
    const uint64_t nLine = m_lines.LineOf(pNode);
    return nLine == 0 ? std::u16string() : u" (line " + Decimal(nLine) + u")";
  }

  void CheckSection(DOMElement* pSection, SectionKind kind, const std::vector<_Message_Item>& items,
                    SectionResult* pOut) {
    pOut->bFound = true;
    pOut->nLine = m_lines.LineOf(pSection);
    const std::u16string strSection = kind == SectionKind::kDefault ? u"DefaultMsg" : u"DynamicMsg";

    DOMNodeList* pChildren = pSection->getChildNodes();
    const XMLSize_t nCount = pChildren->getLength();
    std::vector<const DOMElement*> elements;  // of the messages read so far
    size_t k = 0;
    for (XMLSize_t i = 0; i < nCount; ++i) {
      DOMNode* pChild = pChildren->item(i);
      if (pChild == nullptr) continue;
      const DOMNode* pHidden =
          pChild->getNodeType() == DOMNode::ENTITY_REFERENCE_NODE ? FirstElement(pChild) : nullptr;
      if (pHidden != nullptr) {
        Add(Severity::kWarning, pHidden,
            strSection + u": the elements that entity reference &" + Text(pChild->getNodeName()) +
                u"; stands for are not read as messages" +
                (kind == SectionKind::kDynamic ? u", and the next save drops them" : u""));
      }
      if (pChild->getNodeType() != DOMNode::ELEMENT_NODE) continue;
      if (k == items.size()) break;  // the reader ran out of IDs here
      DOMElement* pMessage = static_cast<DOMElement*>(pChild);
      CheckMessage(pMessage, kind, strSection, items, elements);
      elements.push_back(pMessage);
      LoadedMessage loaded;
      loaded.item = items[k];
      loaded.nLine = m_lines.LineOf(pChild);
      pOut->messages.push_back(loaded);
      ++k;
    }
  }

  // Checks message `items[k]`, read from `pElement`; `previous` holds the elements of the messages before
  // it, so k is its size.
  void CheckMessage(DOMElement* pElement, SectionKind kind, const std::u16string& strSection,
                    const std::vector<_Message_Item>& items, const std::vector<const DOMElement*>& previous) {
    const size_t k = previous.size();
    const _Message_Item& item = items[k];
    const bool bDynamic = kind == SectionKind::kDynamic;
    const std::u16string strWho = strSection + u" message " + Decimal(int64_t{item.dwMsgID}) + u" (span " +
                                  QuoteText(item.strMsgSpan) + u", name " + QuoteText(item.strMsgName) +
                                  u"): ";
    auto add = [&](Severity severity, const std::u16string& strText) {
      Add(severity, pElement, strWho + strText);
    };

    const std::u16string strTag = Text(pElement->getTagName());
    if (strTag != u"Message") {
      add(Severity::kWarning, u"element <" + strTag + u"> is read as a message" +
                                  (bDynamic ? u", and the next save writes it back as <Message>" : u""));
    }

    DOMNamedNodeMap* pAttributes = pElement->getAttributes();
    const XMLSize_t nAttributes = pAttributes == nullptr ? 0 : pAttributes->getLength();
    for (XMLSize_t i = 0; i < nAttributes; ++i) {
      const std::u16string strName = Text(pAttributes->item(i)->getNodeName());
      const char16_t* lpMeant = nullptr;
      bool bExact = false;
      for (const char16_t* lpKnown : kMessageAttributes) {
        if (strName == lpKnown) bExact = true;
        if (SameNoCase(strName, lpKnown)) lpMeant = lpKnown;
      }
      if (bExact) continue;
      if (lpMeant != nullptr) {
        add(Severity::kWarning, u"attribute " + strName + u" is not read, since names must match in case (" +
                                    lpMeant + u")" + (bDynamic ? u", and the next save drops it" : u""));
      } else if (bDynamic) {
        add(Severity::kWarning, u"attribute " + strName + u" is not read, and the next save drops it");
      } else {
        add(Severity::kInfo, u"attribute " + strName + u" is not read; it stays in the file");
      }
    }

    if (HoldsContent(pElement)) {
      if (bDynamic) {
        add(Severity::kWarning, u"what the element holds is not read, and the next save drops it");
      } else {
        add(Severity::kInfo, u"what the element holds is not read; it stays in the file");
      }
    }

    std::u16string strNumber;
    if (GetAttributeText(pElement, u"ShowTime", &strNumber)) {
      const NumberLook look = LookAtNumberText(strNumber);
      const std::u16string strField = u"ShowTime " + QuoteText(strNumber);
      if (!look.bNumber) {
        add(Severity::kWarning,
            strField + u" holds no number: the timeout is " + Decimal(int64_t{item.dwPopShowTimeout}));
      } else if (!look.ReadsAsItLooks()) {
        add(Severity::kWarning,
            strField + u" reads as " + Decimal(int64_t{item.dwPopShowTimeout}) + u": " + Differences(look));
      }
    }

    const bool bShowType = GetAttributeText(pElement, u"ShowType", &strNumber);
    const NumberLook look = bShowType ? LookAtNumberText(strNumber) : NumberLook();
    const std::u16string strField = u"ShowType " + QuoteText(strNumber);
    if (look.bNumber) {
      if (!look.ReadsAsItLooks()) {
        add(Severity::kWarning,
            strField + u" reads as " + Decimal(int64_t{item.ShowType}) + u": " + Differences(look));
      }
    } else {
      // The reader keeps one record for the whole section, so a ShowType without a number is the
      // previous message's.
      const std::u16string strWhat = bShowType ? strField + u" holds no number" : u"there is no ShowType";
      if (k > 0) {
        add(Severity::kWarning, strWhat + u": ShowType " + Decimal(int64_t{item.ShowType}) +
                                    u" carries over from message " + Decimal(int64_t{items[k - 1].dwMsgID}));
      } else if (bShowType) {
        add(Severity::kWarning, strWhat + u": ShowType is " + Decimal(int64_t{item.ShowType}) +
                                    u", as for a section's first message");
      }
    }

    for (size_t j = 0; j < k; ++j) {
      if (platform::CompareNoCase(items[j].strMsgSpan.c_str(), item.strMsgSpan.c_str()) != 0) continue;
      if (platform::CompareNoCase(items[j].strMsgName.c_str(), item.strMsgName.c_str()) != 0) continue;
      add(Severity::kWarning,
          u"same span and name as message " + Decimal(int64_t{items[j].dwMsgID}) + Where(previous[j]) +
              (bDynamic ? u": the next add or delete of this span and name changes both as one"
                        : u": both load, as two messages"));
      break;
    }
  }

  const CElementLines& m_lines;
  CheckResult* m_pResult;
};

}  // namespace

int CheckResult::ExitStatus() const {
  int nStatus = kExitClean;
  for (const Finding& finding : findings) {
    if (finding.severity == Severity::kError) return kExitNothing;
    if (finding.severity == Severity::kWarning) nStatus = kExitWarnings;
  }
  return nStatus;
}

CheckResult CheckMsgFile(const std::u16string& strPath) {
  CheckResult result;
  CElementLines lines;     // outlives the parser, which calls it
  XmlDocContext document;  // made before the try, so that it outlives whatever Xerces-C throws
  if (!document.IsReady()) {
    result.findings.push_back({Severity::kError, 0, u"Xerces-C could not be initialised"});
    return result;
  }
  try {
    CChecker checker(lines, &result);
    if (!document.SetLocaleAndCreateParser()) {
      checker.Add(Severity::kError, nullptr, u"no XML parser could be made: " + document.Error());
      return result;
    }
    lines.Attach(&document);
    DOMElement* pRoot = document.LoadXmlFile(strPath);
    if (pRoot == nullptr) {
      checker.Add(Severity::kError, nullptr, document.Error());
      return result;
    }
    LoadedMessages loaded;
    ReadMessages(pRoot, 0, &loaded);
    checker.CheckDocument(pRoot, loaded);
  } catch (...) {
    result = CheckResult();
    result.findings.push_back({Severity::kError, 0, u"the XML library failed, or memory ran out"});
  }
  return result;
}

std::u16string QuoteText(const std::u16string& strText) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string strQuoted = u"\"";
  for (char16_t c : strText) {
    switch (c) {
      case u'"':
        strQuoted += u"\\\"";
        break;
      case u'\\':
        strQuoted += u"\\\\";
        break;
      case u'\t':
        strQuoted += u"\\t";
        break;
      case u'\n':
        strQuoted += u"\\n";
        break;
      case u'\r':
        strQuoted += u"\\r";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          strQuoted += u"\\x";
          strQuoted += kHex[c >> 4];
          strQuoted += kHex[c & 0xF];
        } else {
          strQuoted += c;
        }
    }
  }
  strQuoted += u'"';
  return strQuoted;
}

namespace {

std::u16string Count(size_t n, const char16_t* lpOne, const char16_t* lpMany) {
  return Decimal(uint64_t{n}) + u" " + (n == 1 ? lpOne : lpMany);
}

void FormatSection(const char16_t* lpName, const SectionResult& section, std::u16string* pOut) {
  *pOut += lpName;
  if (!section.bFound) {
    *pOut += u": missing\n";
    return;
  }
  if (section.nLine != 0) *pOut += u" (line " + Decimal(section.nLine) + u")";
  *pOut += u": " + Count(section.messages.size(), u"message", u"messages") + u"\n";
  for (const LoadedMessage& message : section.messages) {
    const _Message_Item& item = message.item;
    *pOut += u"  " + Decimal(int64_t{item.dwMsgID});
    if (message.nLine != 0) *pOut += u" (line " + Decimal(message.nLine) + u")";
    *pOut += u": span " + QuoteText(item.strMsgSpan) + u", name " + QuoteText(item.strMsgName) + u", info " +
             QuoteText(item.strMsgSInfo) + u", echo path " + QuoteText(item.strMsgEchoPath) + u", ShowType " +
             Decimal(int64_t{item.ShowType}) + u", timeout " + Decimal(int64_t{item.dwPopShowTimeout}) +
             u"\n";
  }
}

}  // namespace

std::string FormatReport(const CheckResult& result) {
  std::u16string strOut;
  const bool bNothing = result.ExitStatus() == kExitNothing;
  if (!bNothing) {
    FormatSection(u"DefaultMsg", result.defaults, &strOut);
    FormatSection(u"DynamicMsg", result.dynamics, &strOut);
  }
  size_t nWarnings = 0;
  for (const Finding& finding : result.findings) {
    switch (finding.severity) {
      case Severity::kError:
        strOut += u"error: ";
        break;
      case Severity::kWarning:
        strOut += u"warning: ";
        ++nWarnings;
        break;
      case Severity::kInfo:
        strOut += u"info: ";
        break;
    }
    if (finding.nLine != 0) strOut += u"line " + Decimal(finding.nLine) + u": ";
    strOut += finding.strText + u"\n";
  }
  if (bNothing) {
    strOut += u"nothing would load, and the library would skip every save\n";
  } else {
    const size_t nDefault = result.defaults.messages.size();
    const size_t nDynamic = result.dynamics.messages.size();
    strOut += Count(nDefault + nDynamic, u"message", u"messages") + u" would load (" +
              Decimal(uint64_t{nDefault}) + u" default, " + Decimal(uint64_t{nDynamic}) + u" dynamic), " +
              Count(nWarnings, u"warning", u"warnings") + u"\n";
  }
  return platform::ToNarrowText(strOut);
}

int RunMsgCheck(const std::vector<std::u16string>& args, std::string* pOut, std::string* pErr) {
  static const char kUsage[] =
      "usage: tidings-msgcheck <file>\n"
      "Lists the messages the Tidings library would load from a message file (Config/Msg.xml) and warns\n"
      "about what it would accept or ignore without a word.\n"
      "Exit status: 0 clean, 1 warnings, 2 nothing would load, 3 wrong command line.\n";
  if (args.size() == 1 && (args[0] == u"-h" || args[0] == u"--help")) {
    *pOut += kUsage;
    return kExitClean;
  }
  if (args.size() != 1 || args[0].empty()) {
    *pErr += kUsage;
    return kExitUsage;
  }
  const CheckResult result = CheckMsgFile(args[0]);
  *pOut += FormatReport(result);
  return result.ExitStatus();
}

}  // namespace msgcheck
}  // namespace tidings
