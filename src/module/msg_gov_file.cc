// Loading and saving the message file: the file's messages enter the store, and the store's messages
// marked for saving go into the file.

#include <utility>
#include <vector>

#include "module/msg_gov.h"
#include "persist/msg_file.h"
#include "persist/number_text.h"
#include "persist/xml_doc.h"

namespace tidings {

using xercesc::DOMElement;

namespace {

std::u16string DecimalText(int32_t n) {
  const TraceArg arg(n);
  return FormatTrace(u"%d", &arg, 1, static_cast<size_t>(-1));
}

}  // namespace

void CMsgGov::LoadMsgFile(const std::u16string& path) {
  CXmlLibraryUse xmlLibrary;  // declared first, so it outlives every Xerces-C object below
  if (!xmlLibrary.IsReady()) return;
  try {
    XmlDocContext context;
    if (!CreateXmlParser(&context)) return;
    DOMElement* pRoot = LoadXmlFile(&context, path);
    DOMElement* pMsgList = FindChildElement(pRoot, u"MsgList");
    if (pMsgList == nullptr) return;
    DOMElement* pDefault = FindChildElement(pMsgList, u"DefaultMsg");
    DOMElement* pDynamic = FindChildElement(pMsgList, u"DynamicMsg");

    // The messages are read in full before any enters a list: a failure midway adds nothing.
    int64_t nDefaultCounter = -2;
    std::vector<_Message_Item> defaults;
    if (pDefault != nullptr) defaults = ReadMessageList(pDefault, &nDefaultCounter);
    std::vector<_Message_Item> dynamics;
    int64_t nNextMsgID = m_store.NextMsgID();
    if (pDynamic != nullptr) dynamics = ReadMessageList(pDynamic, &nNextMsgID);

    m_store.AppendLoaded(std::move(defaults), std::move(dynamics), nNextMsgID);
  } catch (...) {
    // Out of memory, or Xerces-C failed in a way it reports by throwing: nothing was loaded.
  }
}

void CMsgGov::SaveMsgFile(const std::u16string& path) {
  CXmlLibraryUse xmlLibrary;
  if (!xmlLibrary.IsReady()) return;
  std::u16string strError;
  try {
    XmlDocContext context;
    if (!CreateXmlParser(&context)) return;
    // Read again from the disk: what an admin changed while the library ran is kept. The messages the
    // file held are not: DynamicMsg is read empty, to be filled from the list.
    DOMElement* pRoot = LoadXmlFile(&context, path, XmlLoadMode::kWithoutDynamicMessages);
    DOMElement* pMsgList = FindChildElement(pRoot, u"MsgList");
    DOMElement* pDynamic = FindChildElement(pMsgList, u"DynamicMsg");
    // No usable file, or no place for the messages: nothing is written and nothing is lost.
    if (pDynamic == nullptr) return;

    // The file is written from a deep copy of the document (SaveXmlFile). It is made now, while DynamicMsg
    // is empty, and the messages are built in the copy rather than built and then copied. They come out
    // the same: in the copy a DTD's default attributes are written out, whether an element was copied or
    // made there.
    pDynamic = FindChildElement(FindChildElement(CopyXmlDocument(&context), u"MsgList"), u"DynamicMsg");
    if (pDynamic == nullptr) return;  // cannot happen: the copy holds what the document holds
    std::vector<_Message_Item> items = m_store.SavedMsgItems();
    // A unit the file cannot carry is written as U+FFFD; the message in memory keeps its text.
    std::vector<std::pair<int32_t, size_t>> replaced;  // message ID, units replaced
    for (_Message_Item& item : items) {
      const size_t nReplaced =
          MakeCarriable(&context, &item.strMsgSpan) + MakeCarriable(&context, &item.strMsgName) +
          MakeCarriable(&context, &item.strMsgSInfo) + MakeCarriable(&context, &item.strMsgEchoPath);
      if (nReplaced != 0) replaced.emplace_back(item.dwMsgID, nReplaced);
      AppendElement(pDynamic, u"Message",
                    {{u"MsgSpan", item.strMsgSpan},
                     {u"MsgName", item.strMsgName},
                     {u"MsgSInfo", item.strMsgSInfo},
                     {u"MsgEchoPath", item.strMsgEchoPath},
                     {u"ShowType", DecimalText(item.ShowType)},
                     {u"ShowTime", DecimalText(item.dwPopShowTimeout)}});
    }
    // The messages leave memory only once the file holding them is in place.
    if (SaveXmlFile(&context, path)) {
      m_store.ClearDynamic();
      for (const auto& message : replaced) {
        m_trace.WriteTrace(kTraceLevel,
                           u"--SaveMsgFile wrote message %d with U+FFFD for %d units XML cannot carry",
                           message.first, static_cast<int32_t>(message.second));
      }
      if (context.nUnitsReplaced != 0) {
        m_trace.WriteTrace(kTraceLevel,
                           u"--SaveMsgFile wrote U+FFFD for %d units XML cannot carry outside DynamicMsg",
                           static_cast<int32_t>(context.nUnitsReplaced));
      }
      for (const std::u16string& strNote : context.saveNotes)
        m_trace.WriteTrace(kTraceLevel, u"--SaveMsgFile %s", strNote);
      return;
    }
    strError = context.strError;
  } catch (...) {
    strError = u"out of memory, or the XML library failed";
  }
  m_trace.WriteTrace(kTraceLevel, u"--SaveMsgFile failed, the messages stay in memory: %s", strError);
}

}  // namespace tidings
