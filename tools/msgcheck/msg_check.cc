// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "msg_check.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <xercesc/dom/DOM.hpp>

#include "element_lines.h"
#include "number_look.h"
#include "persist/msg_file.h"
#include "persist/xml_doc.h"
#include "platform/platform.h"
#include "report.h"
#include "store/message_list.h"

namespace tidings {
namespace msgcheck {

using xercesc::DOMElement;
using xercesc::DOMNamedNodeMap;
using xercesc::DOMNode;

namespace {

// The attributes a message is read from; names are matched exactly, case included.
constexpr const char16_t* kMessageAttributes[] = {u"MsgSpan",     u"MsgName",  u"MsgSInfo",
                                                  u"MsgEchoPath", u"ShowType", u"ShowTime"};

std::u16string Text(const XMLCh* pText) {
  return pText == nullptr ? std::u16string() : std::u16string(reinterpret_cast<const char16_t*>(pText));
}

bool SameNoCase(const std::u16string& strA, const char16_t* lpB) {
  return platform::CompareNoCase(strA.c_str(), lpB) == 0;
}

// Whether two texts are equal once ASCII letters are folded, and nothing else.
bool SameAsciiFolded(const std::u16string& strA, const std::u16string& strB) {
  if (strA.size() != strB.size()) return false;
  auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  for (size_t i = 0; i < strA.size(); ++i) {
    if (fold(strA[i]) != fold(strB[i])) return false;
  }
  return true;
}

bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

bool HasOnlyXmlSpace(const XMLCh* pText) {
  for (; pText != nullptr && *pText != 0; ++pText) {
    if (!IsXmlSpace(static_cast<char16_t>(*pText))) return false;
  }
  return true;
}

// The first element in document order below `pNode`; null when there is none. The elements an entity
// reference stands for carry the place of the reference.
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
        if (!HasOnlyXmlSpace(pChild->getNodeValue())) return true;
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

// A finding's text that begins with who message `item` of the section is.
std::u16string AboutMessage(const std::u16string& strSection, const _Message_Item& item,
                            const std::u16string& strText) {
  return strSection + u" message " + DecimalText(item.dwMsgID) + u" (span " + QuoteText(item.strMsgSpan) +
         u", name " + QuoteText(item.strMsgName) + u"): " + strText;
}

enum class SectionKind { kDefault, kDynamic };

// Walks one parsed file as the loader does and notes what it finds. Every walk goes from sibling to
// sibling: a DOM node list's item(i) walks from the first child each time.
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
    m_pResult->bLoads = true;
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
    if (pNode != nullptr) finding.place = m_lines.PlaceOf(pNode);
    finding.strText = strText;
    m_pResult->findings.push_back(std::move(finding));
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
    const uint64_t nLine = m_lines.PlaceOf(pNode).nLine;
    return nLine == 0 ? std::u16string() : u" (line " + DecimalText(nLine) + u")";
  }

  void CheckSection(DOMElement* pSection, SectionKind kind, const std::vector<_Message_Item>& items,
                    SectionResult* pOut) {
    pOut->bFound = true;
    pOut->place = m_lines.PlaceOf(pSection);
    const std::u16string strSection = kind == SectionKind::kDefault ? u"DefaultMsg" : u"DynamicMsg";
    std::vector<const DOMElement*> elements;  // of the messages, in order
    elements.reserve(items.size());
    pOut->messages.reserve(items.size());
    for (DOMNode* pChild = pSection->getFirstChild(); pChild != nullptr; pChild = pChild->getNextSibling()) {
      const DOMNode* pHidden =
          pChild->getNodeType() == DOMNode::ENTITY_REFERENCE_NODE ? FirstElement(pChild) : nullptr;
      if (pHidden != nullptr) {
        Add(Severity::kWarning, pHidden,
            strSection + u": the elements that entity reference &" + Text(pChild->getNodeName()) +
                u"; stands for are not read as messages" +
                (kind == SectionKind::kDynamic ? u", and the next save drops them" : u""));
      }
      if (pChild->getNodeType() != DOMNode::ELEMENT_NODE) continue;
      if (elements.size() == items.size()) break;  // the reader ran out of IDs here
      DOMElement* pMessage = static_cast<DOMElement*>(pChild);
      CheckMessage(pMessage, kind, strSection, items, elements.size());
      elements.push_back(pMessage);
      pOut->messages.push_back(LoadedMessage{items[elements.size() - 1], m_lines.PlaceOf(pChild)});
    }
    CheckNames(kind, strSection, items, elements);
  }

  // The warning that begins with who message `item` is.
  void AddForMessage(Severity severity, const DOMElement* pElement, const std::u16string& strSection,
                     const _Message_Item& item, const std::u16string& strText) {
    Add(severity, pElement, AboutMessage(strSection, item, strText));
  }

  // Checks message `items[k]`, read from `pElement`.
  void CheckMessage(DOMElement* pElement, SectionKind kind, const std::u16string& strSection,
                    const std::vector<_Message_Item>& items, size_t k) {
    const _Message_Item& item = items[k];
    const bool bDynamic = kind == SectionKind::kDynamic;
    auto add = [&](Severity severity, const std::u16string& strText) {
      AddForMessage(severity, pElement, strSection, item, strText);
    };

    const std::u16string strTag = Text(pElement->getTagName());
    if (strTag != u"Message") {
      add(Severity::kWarning, u"element <" + strTag + u"> is read as a message" +
                                  (bDynamic ? u", and the next save writes it back as <Message>" : u""));
    }

    DOMNamedNodeMap* pAttributes = pElement->getAttributes();
    const XMLSize_t nAttributes = pAttributes == nullptr ? 0 : pAttributes->getLength();
    for (XMLSize_t i = 0; i < nAttributes; ++i) {
      // An attribute the DTD gives by default is not the element's: the DTD gives it again after a save.
      const xercesc::DOMAttr* pAttribute = static_cast<const xercesc::DOMAttr*>(pAttributes->item(i));
      if (!pAttribute->getSpecified()) continue;
      const XMLCh* pName = pAttribute->getNodeName();
      auto exact = [pName](const char16_t* lpKnown) {
        const XMLCh* pUnit = pName;
        while (*lpKnown != 0 && *pUnit == *lpKnown) ++pUnit, ++lpKnown;
        return *pUnit == *lpKnown;
      };
      if (std::any_of(std::begin(kMessageAttributes), std::end(kMessageAttributes), exact)) continue;
      const std::u16string strName = Text(pName);
      const char16_t* lpMeant = nullptr;
      for (const char16_t* lpKnown : kMessageAttributes) {
        if (SameNoCase(strName, lpKnown)) lpMeant = lpKnown;
      }
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
            strField + u" holds no number: the timeout is " + DecimalText(int64_t{item.dwPopShowTimeout}));
      } else if (!look.ReadsAsItLooks()) {
        add(Severity::kWarning, strField + u" reads as " + DecimalText(int64_t{item.dwPopShowTimeout}) +
                                    u": " + Differences(look));
      }
    }

    const bool bShowType = GetAttributeText(pElement, u"ShowType", &strNumber);
    const NumberLook look = bShowType ? LookAtNumberText(strNumber) : NumberLook();
    const std::u16string strField = u"ShowType " + QuoteText(strNumber);
    if (look.bNumber) {
      if (!look.ReadsAsItLooks()) {
        add(Severity::kWarning,
            strField + u" reads as " + DecimalText(int64_t{item.ShowType}) + u": " + Differences(look));
      }
    } else {
      // The reader keeps one record for the whole section, so a ShowType without a number is the
      // previous message's.
      const std::u16string strWhat = bShowType ? strField + u" holds no number" : u"there is no ShowType";
      if (k > 0) {
        add(Severity::kWarning, strWhat + u": ShowType " + DecimalText(int64_t{item.ShowType}) +
                                    u" carries over from message " +
                                    DecimalText(int64_t{items[k - 1].dwMsgID}));
      } else if (bShowType) {
        add(Severity::kWarning, strWhat + u": ShowType is " + DecimalText(int64_t{item.ShowType}) +
                                    u", as for a section's first message");
      }
    }
  }

  // Messages of a section with the same span and name, as the store matches them: the messages are put
  // into a list of the store's own, which finds each group at once. Every message after the first of its
  // group is reported, in the order of the file.
  void CheckNames(SectionKind kind, const std::u16string& strSection, const std::vector<_Message_Item>& items,
                  const std::vector<const DOMElement*>& elements) {
    const size_t n = elements.size();
    if (n < 2) return;
    CMessageList list;
    list.Reserve(n);
    for (size_t i = 0; i < n; ++i) list.Append(items[i]);
    // The IDs of a section are consecutive, rising or falling from the first.
    const int64_t nFirstID = items[0].dwMsgID;
    const int64_t nStep = kind == SectionKind::kDefault ? -1 : 1;
    std::vector<size_t> first(n, n);  // the first message of each message's group; n: not grouped yet
    for (size_t i = 0; i < n; ++i) {
      if (first[i] != n) continue;
      for (size_t slot : list.FindByName(items[i].strMsgSpan, items[i].strMsgName)) {
        const size_t k = static_cast<size_t>((list[slot].dwMsgID - nFirstID) * nStep);
        if (k < n && first[k] == n) first[k] = i;
      }
      first[i] = i;
    }
    for (size_t k = 0; k < n; ++k) {
      const size_t j = first[k];
      if (j == k) continue;
      std::u16string strText = u"same span and name as message " + DecimalText(int64_t{items[j].dwMsgID}) +
                               Where(elements[j]) +
                               (kind == SectionKind::kDynamic
                                    ? u": the next add or delete of this span and name changes both as one"
                                    : u": both load, as two messages");
      if (!SameAsciiFolded(items[j].strMsgSpan, items[k].strMsgSpan) ||
          !SameAsciiFolded(items[j].strMsgName, items[k].strMsgName)) {
        std::u16string strLocale = u"?";
        platform::GetTextLocaleName(&strLocale);
        strText += u" (letters outside ASCII match as the locale " + strLocale +
                   u" folds them here; in the library, the host's locale decides)";
      }
      AddForMessage(Severity::kWarning, elements[k], strSection, items[k], strText);
    }
  }

  const CElementLines& m_lines;
  CheckResult* m_pResult;
};

// What the library's own save would say of the file that `*pDocument` loaded, its document element
// `pRoot`: saving the dynamic messages it loads. The save's check parses again with the same parser, which
// releases the document: the file must have been walked already.
void CheckSave(XmlDocContext* pDocument, DOMElement* pRoot, LoadedMessages loaded, CheckResult* pResult) {
  if (!pResult->dynamics.bFound) return;  // no DynamicMsg: already a warning, and nothing is saved
  auto add = [pResult](Severity severity, const std::u16string& strText) {
    pResult->findings.push_back({severity, Place(), strText});
  };
  // A warning about the dynamic message with this ID (its index: they are numbered from 0), at its place.
  auto addForMessage = [pResult](int32_t nID, const std::u16string& strText) {
    const std::vector<LoadedMessage>& messages = pResult->dynamics.messages;
    if (nID < 0 || static_cast<size_t>(nID) >= messages.size()) return;
    const LoadedMessage& message = messages[static_cast<size_t>(nID)];
    pResult->findings.push_back(
        {Severity::kWarning, message.place, AboutMessage(u"DynamicMsg", message.item, strText)});
  };
  // What the save writes is no file the checker reports on: its elements need no place.
  pDocument->SetParserFilter(nullptr);
  // As the library saves what it loaded: messages beyond the last ID stay in the file as they stand.
  const size_t nKeepFrom = loaded.nKeptBack == 0 ? SIZE_MAX : loaded.dynamics.size();
  const MsgFileWriteResult saved = CheckMsgFileWrite(pDocument, pRoot, std::move(loaded.dynamics), nKeepFrom);
  if (!saved.status.ok() && !saved.status.IsNotFound()) {
    add(Severity::kError, u"the library would refuse to save into this file (" + saved.status.Text() +
                              u"): every change made while it runs would be lost when it unloads");
  }
  for (const auto& replaced : saved.replaced) {
    addForMessage(replaced.first, u"the next save writes " + DecimalText(replaced.second) +
                                      u" units XML cannot carry as U+FFFD");
  }
  for (const auto& normalised : saved.normalised) {
    addForMessage(normalised.first, u"the next save writes " + normalised.second +
                                        u" with its white space trimmed and folded, as the file's DTD "
                                        u"declares it of a tokenized type");
  }
  for (const std::u16string& strRef : saved.droppedReferences) {
    add(Severity::kWarning, u"DynamicMsg: the next save drops the reference " + QuoteText(strRef) +
                                u", which the parser skipped: the file does not declare its entity");
  }
}

}  // namespace

int CheckResult::ExitStatus() const {
  if (Count(Severity::kError) != 0) return kExitErrors;
  return Count(Severity::kWarning) != 0 ? kExitWarnings : kExitClean;
}

size_t CheckResult::Count(Severity severity) const {
  size_t n = 0;
  for (const Finding& finding : findings) n += finding.severity == severity ? 1 : 0;
  return n;
}

CheckResult CheckMsgBytes(std::string_view bytes) {
  CheckResult result;
  CElementLines lines;     // outlives the parser, which calls it
  XmlDocContext document;  // made before the try, so that it outlives whatever Xerces-C throws
  if (!document.IsReady()) {
    result.findings.push_back({Severity::kError, Place(), u"Xerces-C could not be initialised"});
    return result;
  }
  try {
    CChecker checker(lines, &result);
    platform::UseMessageFileLocale();  // the library reads the file under it
    const Status parser = document.CreateParser();
    if (!parser.ok()) {
      checker.Add(Severity::kError, nullptr, u"no XML parser could be made: " + parser.Text());
      return result;
    }
    lines.Attach(&document);
    DOMElement* pRoot = nullptr;
    const Status parsed = document.LoadXmlBytes(bytes, &pRoot);
    if (!parsed.ok()) {
      result.findings.push_back(
          {Severity::kError, Place{document.ErrorLine(), document.ErrorColumn()}, parsed.Text()});
      return result;
    }
    LoadedMessages loaded;
    ReadMessages(pRoot, 0, &loaded);
    checker.CheckDocument(pRoot, loaded);
    // The save's check starts from the checker's own parse: the file is not parsed again.
    if (result.bLoads) CheckSave(&document, pRoot, std::move(loaded), &result);
    // In the order of the file, those of the whole file first.
    std::stable_sort(result.findings.begin(), result.findings.end(), [](const Finding& a, const Finding& b) {
      return std::make_pair(a.place.nLine, a.place.nColumn) < std::make_pair(b.place.nLine, b.place.nColumn);
    });
  } catch (...) {
    result = CheckResult();
    result.findings.push_back({Severity::kError, Place(), u"the XML library failed, or memory ran out"});
  }
  return result;
}

CheckResult CheckMsgFile(const std::u16string& strPath) {
  std::string bytes;
  const Status status = platform::ReadWholeFile(strPath, &bytes);
  if (status.ok()) return CheckMsgBytes(bytes);
  CheckResult result;
  result.findings.push_back({Severity::kError, Place(), u"cannot read the file: " + status.Why()});
  return result;
}

}  // namespace msgcheck
}  // namespace tidings
