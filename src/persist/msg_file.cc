// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Reading and writing the message file. Saving rewrites DynamicMsg from the messages given and leaves
// everything else in the file as the parser delivered it.

#include "persist/msg_file.h"

#include <string>
#include <utility>
#include <vector>

#include "persist/number_text.h"
#include "persist/xml_doc.h"

namespace tidings {

using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

std::u16string DecimalText(int32_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

// Reads the messages of one section (DefaultMsg or DynamicMsg): every element child is a message, whatever
// its name. They are numbered from *pnCounter, which moves one step away from zero per message. Messages
// past the last 32-bit ID are not read; *pnKeptBack (if given) counts them.
std::vector<_Message_Item> ReadMessageList(DOMElement* pSection, int64_t* pnCounter,
                                           size_t* pnKeptBack = nullptr) {
  std::vector<_Message_Item> items;
  _Message_Item item;
  item.ShowType = 0;
  std::u16string strNumber;
  // From sibling to sibling: a node list's item(i) walks from the first child every time.
  for (DOMNode* pChild = pSection->getFirstChild(); pChild != nullptr; pChild = pChild->getNextSibling()) {
    if (pChild->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    if (*pnCounter > kMaxMsgID || *pnCounter < INT32_MIN) {
      if (pnKeptBack == nullptr) break;
      ++*pnKeptBack;
      continue;
    }
    DOMElement* pMessage = static_cast<DOMElement*>(pChild);
    GetAttributeText(pMessage, u"MsgSpan", &item.strMsgSpan);
    GetAttributeText(pMessage, u"MsgName", &item.strMsgName);
    GetAttributeText(pMessage, u"MsgSInfo", &item.strMsgSInfo);
    GetAttributeText(pMessage, u"MsgEchoPath", &item.strMsgEchoPath);
    GetAttributeText(pMessage, u"ShowType", &strNumber);
    ParseNumberText(strNumber, &item.ShowType);
    item.dwPopShowTimeout = -1;
    GetAttributeText(pMessage, u"ShowTime", &strNumber);
    ParseNumberText(strNumber, &item.dwPopShowTimeout);
    item.bSaveAfterClose = 1;
    item.bHasPopup = 0;
    item.dwMsgID = static_cast<int32_t>(*pnCounter);
    *pnCounter += *pnCounter < 0 ? -1 : 1;
    items.push_back(item);
  }
  return items;
}

// Whether a message read back holds the six fields written.
bool SameMessage(const _Message_Item& a, const _Message_Item& b) {
  return a.strMsgSpan == b.strMsgSpan && a.strMsgName == b.strMsgName && a.strMsgSInfo == b.strMsgSInfo &&
         a.strMsgEchoPath == b.strMsgEchoPath && a.ShowType == b.ShowType &&
         a.dwPopShowTimeout == b.dwPopShowTimeout;
}

}  // namespace

bool ReadMessages(DOMElement* pRoot, int64_t nFirstDynamicID, LoadedMessages* pOut) {
  DOMElement* pMsgList = FindChildElement(pRoot, u"MsgList");
  if (pMsgList == nullptr) return false;
  DOMElement* pDefault = FindChildElement(pMsgList, u"DefaultMsg");
  DOMElement* pDynamic = FindChildElement(pMsgList, u"DynamicMsg");
  LoadedMessages loaded;
  int64_t nDefaultCounter = -2;
  if (pDefault != nullptr) loaded.defaults = ReadMessageList(pDefault, &nDefaultCounter);
  loaded.nNextMsgID = nFirstDynamicID;
  if (pDynamic != nullptr) loaded.dynamics = ReadMessageList(pDynamic, &loaded.nNextMsgID, &loaded.nKeptBack);
  *pOut = std::move(loaded);
  return true;
}

bool ReadMsgFile(const std::u16string& path, int64_t nFirstDynamicID, LoadedMessages* pOut) {
  XmlDocContext document;  // made before the try, so that it outlives whatever Xerces-C throws
  try {
    return document.SetLocaleAndCreateParser() &&
           ReadMessages(document.LoadXmlFile(path), nFirstDynamicID, pOut);
  } catch (...) {
    return false;  // out of memory, or Xerces-C failed in a way it reports by throwing
  }
}

MsgFileWriteResult WriteMsgFile(const std::u16string& path, std::vector<_Message_Item> items,
                                size_t nKeepFrom) {
  MsgFileWriteResult result;
  XmlDocContext document;
  try {
    if (!document.SetLocaleAndCreateParser()) return result;
    // Read again from the disk: what an admin changed while the library ran is kept. The messages the
    // file held are not: DynamicMsg is read empty, to be filled from `items`.
    DOMElement* pRoot = document.LoadXmlFile(path, XmlLoadMode::kWithoutDynamicMessages);
    // No usable file, or no place for the messages: nothing is written and nothing is lost.
    if (FindChildElement(FindChildElement(pRoot, u"MsgList"), u"DynamicMsg") == nullptr) return result;

    // The messages as the file will hold them, and as they must read back: the caller's keep their texts,
    // since these are copies.
    std::u16string strMarkup;
    for (_Message_Item& item : items) {
      std::u16string* const texts[] = {&item.strMsgSpan, &item.strMsgName, &item.strMsgSInfo,
                                       &item.strMsgEchoPath};
      static const char16_t* const kNames[] = {u"MsgSpan", u"MsgName", u"MsgSInfo", u"MsgEchoPath"};
      size_t nReplaced = 0;
      for (size_t i = 0; i < 4; ++i) {
        nReplaced += document.MakeCarriable(texts[i]);
        if (document.NormaliseAsDeclared(kNames[i], texts[i]))
          result.normalised.emplace_back(item.dwMsgID, kNames[i]);
      }
      if (nReplaced != 0) result.replaced.emplace_back(item.dwMsgID, nReplaced);
      document.AppendElementText(&strMarkup, u"Message",
                                 {{u"MsgSpan", item.strMsgSpan},
                                  {u"MsgName", item.strMsgName},
                                  {u"MsgSInfo", item.strMsgSInfo},
                                  {u"MsgEchoPath", item.strMsgEchoPath},
                                  {u"ShowType", DecimalText(item.ShowType)},
                                  {u"ShowTime", DecimalText(item.dwPopShowTimeout)}});
    }
    const size_t nChildren = document.SectionChildren();
    result.nKeptBack = nKeepFrom < nChildren ? nChildren - nKeepFrom : 0;
    result.droppedReferences = document.UndeclaredReferences(nKeepFrom);

    // The file must read back with exactly these messages first in DynamicMsg, then the ones kept.
    auto readsBackAsMeant = [&](DOMElement* pWritten) {
      LoadedMessages again;
      if (!ReadMessages(pWritten, 0, &again) || again.dynamics.size() != items.size() + result.nKeptBack) {
        return false;
      }
      for (size_t i = 0; i < items.size(); ++i) {
        if (!SameMessage(items[i], again.dynamics[i])) return false;
      }
      return true;
    };
    if (document.SaveSection(path, strMarkup, nKeepFrom, readsBackAsMeant)) {
      result.outcome = MsgFileWriteResult::kWritten;
      result.notes = document.SaveNotes();
      return result;
    }
    result.strError = document.Error();
  } catch (...) {
    result.strError = u"out of memory, or the XML library failed";
  }
  result.outcome = MsgFileWriteResult::kFailed;
  return result;
}

}  // namespace tidings
