// Reading and writing the message file. Saving rewrites DynamicMsg from the messages given and leaves
// everything else in the file as the parser delivered it.

#include "persist/msg_file.h"

#include <string>
#include <string_view>
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
// its name. They are numbered from *pnCounter, which moves one step away from zero per message. A counter
// that has run out of 32-bit IDs ends the section.
std::vector<_Message_Item> ReadMessageList(DOMElement* pSection, int64_t* pnCounter) {
  std::vector<_Message_Item> items;
  _Message_Item item;
  item.ShowType = 0;
  std::u16string strNumber;
  // From sibling to sibling: a node list's item(i) walks from the first child every time.
  for (DOMNode* pChild = pSection->getFirstChild(); pChild != nullptr; pChild = pChild->getNextSibling()) {
    if (pChild->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    if (*pnCounter > kMaxMsgID || *pnCounter < INT32_MIN) break;
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
  if (pDynamic != nullptr) loaded.dynamics = ReadMessageList(pDynamic, &loaded.nNextMsgID);
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

namespace {

// WriteMsgFile and CheckMsgFileWrite: the file is read from the disk at `*pPath`, else from `fileBytes`,
// and replaced only when read from the disk.
MsgFileWriteResult WriteMessages(const std::u16string* pPath, std::string_view fileBytes,
                                 std::vector<_Message_Item> items) {
  MsgFileWriteResult result;
  XmlDocContext document;
  try {
    if (!document.SetLocaleAndCreateParser()) return result;
    // Read again from the disk: what an admin changed while the library ran is kept. The messages the
    // file held are not: DynamicMsg is read empty, to be filled from `items`.
    DOMElement* pRoot = pPath != nullptr
                            ? document.LoadXmlFile(*pPath, XmlLoadMode::kWithoutDynamicMessages)
                            : document.LoadXmlBytes(fileBytes, XmlLoadMode::kWithoutDynamicMessages);
    DOMElement* pDynamic = FindChildElement(FindChildElement(pRoot, u"MsgList"), u"DynamicMsg");
    // No usable file, or no place for the messages: nothing is written and nothing is lost.
    if (pDynamic == nullptr) return result;

    // The file is written from a deep copy of the document (SaveXmlFile). It is made now, while DynamicMsg
    // is empty, and the messages are built in the copy rather than built and then copied. They come out
    // the same: in the copy a DTD's default attributes are written out, whether an element was copied or
    // made there.
    pDynamic = FindChildElement(FindChildElement(document.CopyXmlDocument(), u"MsgList"), u"DynamicMsg");
    if (pDynamic == nullptr) return result;  // cannot happen: the copy holds what the document holds
    for (_Message_Item& item : items) {
      // A unit the file cannot carry is written as U+FFFD; the caller's message keeps its text, since these
      // are copies.
      const size_t nReplaced =
          document.MakeCarriable(&item.strMsgSpan) + document.MakeCarriable(&item.strMsgName) +
          document.MakeCarriable(&item.strMsgSInfo) + document.MakeCarriable(&item.strMsgEchoPath);
      if (nReplaced != 0) result.replaced.emplace_back(item.dwMsgID, nReplaced);
      AppendElement(pDynamic, u"Message",
                    {{u"MsgSpan", item.strMsgSpan},
                     {u"MsgName", item.strMsgName},
                     {u"MsgSInfo", item.strMsgSInfo},
                     {u"MsgEchoPath", item.strMsgEchoPath},
                     {u"ShowType", DecimalText(item.ShowType)},
                     {u"ShowTime", DecimalText(item.dwPopShowTimeout)}});
    }
    if (pPath != nullptr ? document.SaveXmlFile(*pPath) : document.CheckXmlSave()) {
      result.outcome = MsgFileWriteResult::kWritten;
      result.nReplacedOutside = document.UnitsReplaced();
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

}  // namespace

MsgFileWriteResult WriteMsgFile(const std::u16string& path, std::vector<_Message_Item> items) {
  return WriteMessages(&path, std::string_view(), std::move(items));
}

MsgFileWriteResult CheckMsgFileWrite(std::string_view fileBytes, std::vector<_Message_Item> items) {
  return WriteMessages(nullptr, fileBytes, std::move(items));
}

}  // namespace tidings
