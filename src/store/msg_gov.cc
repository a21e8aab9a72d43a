#include "store/msg_gov.h"

#include <utility>

#include "store/caller_text.h"

namespace tidings {

namespace {

constexpr size_t kNameUnits = sizeof(_Message_AddInfo::wszMsgName) / sizeof(TIDINGS_WCHAR);
constexpr size_t kInfoUnits = sizeof(_Message_AddInfo::strMsgSInfo) / sizeof(TIDINGS_WCHAR);
constexpr size_t kGetInfoUnits = sizeof(_Message_GetInfo::strMsgSInfo) / sizeof(TIDINGS_WCHAR);

void CopyToRecord(const _Message_Item& item, _Message_GetInfo* pInfo) {
  pInfo->dwMsgID = item.dwMsgID;
  pInfo->ShowType = item.ShowType;
  pInfo->dwPopShowTimeout = item.dwPopShowTimeout;
  pInfo->bHasPopup = item.bHasPopup;
  WriteFieldText(item.strMsgSInfo, pInfo->strMsgSInfo, kGetInfoUnits);
}

}  // namespace

CMsgGov::CMsgGov(const CLogTrace& trace) : m_trace(trace) {}

CMsgGov::~CMsgGov() = default;

int32_t CMsgGov::AddMessage(const TIDINGS_WCHAR* lpMsgSpanName, const _Message_AddInfo* pInfo) {
  if (pInfo == nullptr) return 1;
  const std::u16string strMsgSpanName = CopyCallerText(lpMsgSpanName);
  MessageFields fields;
  fields.strMsgName = CopyFieldText(pInfo->wszMsgName, kNameUnits);
  fields.strMsgSInfo = CopyFieldText(pInfo->strMsgSInfo, kInfoUnits);
  fields.strMsgEchoPath = CopyCallerText(pInfo->strMsgEchoPath);
  fields.ShowType = pInfo->ShowType;
  fields.dwPopShowTimeout = pInfo->dwPopShowTimeout;
  fields.bSaveAfterClose = pInfo->bSaveAfterClose;

  // The save flag comes before the timeout here, the other way round from the record.
  m_trace.WriteTrace(kTraceLevel,
                     u"Enter Fun AddMessage, lpMsgSpanName is %s, wszMsgName is %s,strMsgSInfo is %s, "
                     u"strMsgEchoPath is %s, ShowType is %d, bSaveAfterClose is %d,dwPopShowTimeout is %d",
                     strMsgSpanName, fields.strMsgName, fields.strMsgSInfo, fields.strMsgEchoPath,
                     fields.ShowType, fields.bSaveAfterClose, fields.dwPopShowTimeout);
  int32_t bNew = 1;
  const int32_t dwMsgID = AddMsgItem(fields, strMsgSpanName, &bNew);
  // -1: no message ID was left for a new message, so nothing changed.
  if (dwMsgID != -1) PfnEventCallback(dwMsgID, bNew ? ADDTYPE_NEW : ADDTYPE_CHANGE);
  m_trace.WriteTrace(kTraceLevel, u"Exit  Fun AddMessage, ID is %d, Is New Msg?%d", dwMsgID, bNew);
  return 1;
}

int32_t CMsgGov::AddMsgItem(const MessageFields& fields, const std::u16string& strMsgSpanName,
                            int32_t* pbNew) {
  CAutoCriticalSection lock(m_cs);
  *pbNew = 1;
  int32_t result = -1;

  // Every matching item is updated, so the copies are all made before the first item changes: running
  // out of memory midway then leaves the list as it was.
  const std::vector<size_t> matches = m_DynamicMsgList.FindByName(strMsgSpanName, fields.strMsgName);
  if (!matches.empty()) {
    std::vector<std::pair<std::u16string, std::u16string>> texts(
        matches.size(), std::make_pair(fields.strMsgSInfo, fields.strMsgEchoPath));
    for (size_t k = 0; k < matches.size(); ++k) {
      _Message_Item& item = m_DynamicMsgList[matches[k]];
      item.strMsgSInfo.swap(texts[k].first);
      item.strMsgEchoPath.swap(texts[k].second);
      item.ShowType = fields.ShowType;
      item.bSaveAfterClose = fields.bSaveAfterClose;
      item.dwPopShowTimeout = fields.dwPopShowTimeout;
      item.bHasPopup = 0;
      result = item.dwMsgID;
    }
    *pbNew = 0;
    return result;
  }

  if (m_nNextMsgID > kMaxMsgID) return -1;
  _Message_Item item;
  item.strMsgSpan = strMsgSpanName;
  item.strMsgName = fields.strMsgName;
  item.strMsgSInfo = fields.strMsgSInfo;
  item.strMsgEchoPath = fields.strMsgEchoPath;
  item.ShowType = fields.ShowType;
  item.dwPopShowTimeout = fields.dwPopShowTimeout;
  item.bSaveAfterClose = fields.bSaveAfterClose;
  item.bHasPopup = 0;
  item.dwMsgID = static_cast<int32_t>(m_nNextMsgID);
  m_DynamicMsgList.Append(std::move(item));
  ++m_nNextMsgID;
  return static_cast<int32_t>(m_nNextMsgID - 1);
}

int32_t CMsgGov::DeleteMessage(const TIDINGS_WCHAR* lpMsgSpanName, const TIDINGS_WCHAR* wszMsgName) {
  const std::u16string strMsgSpanName = CopyCallerText(lpMsgSpanName);
  const std::u16string strMsgName = CopyCallerText(wszMsgName);
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun DeleteMessage, lpMsgSpanName is %s, wszMsgName is %s,",
                     strMsgSpanName, strMsgName);
  const int32_t dwMsgID = DelMsgItem(strMsgSpanName, strMsgName);
  if (dwMsgID != -1) PfnEventCallback(dwMsgID, ADDTYPE_DELETE);
  m_trace.WriteTrace(kTraceLevel, u"Exit  Fun DeleteMessage, MsgID is %d", dwMsgID);
  return 1;
}

int32_t CMsgGov::DelMsgItem(const std::u16string& strMsgSpanName, const std::u16string& strMsgName) {
  CAutoCriticalSection lock(m_cs);
  // Every matching item goes; the result is the ID of the last of them in list order.
  const std::vector<size_t> matches = m_DynamicMsgList.FindByName(strMsgSpanName, strMsgName);
  if (matches.empty()) return -1;
  const int32_t result = m_DynamicMsgList[matches.back()].dwMsgID;
  // From the last one back, so that the positions still to go do not move.
  for (size_t k = matches.size(); k-- > 0;) m_DynamicMsgList.RemoveAt(matches[k]);
  return result;
}

int32_t CMsgGov::DeleteMessageFromID(int32_t dwMsgID) {
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun DeleteMessageFromID, dwMsgID is %d,", dwMsgID);
  const int32_t bDel = DelMsgItemFromID(dwMsgID);
  if (bDel) PfnEventCallback(dwMsgID, ADDTYPE_DELETE);
  m_trace.WriteTrace(kTraceLevel, u"Exit  Fun DeleteMessageFromID, bDel is %d", bDel);
  return 1;
}

int32_t CMsgGov::DelMsgItemFromID(int32_t dwMsgID) {
  CAutoCriticalSection lock(m_cs);
  // Only the dynamic list: a negative ID, which names a default message, is never found.
  const size_t i = m_DynamicMsgList.FindById(dwMsgID);
  if (i == CMessageList::npos) return 0;
  m_DynamicMsgList.RemoveAt(i);
  return 1;
}

int32_t CMsgGov::MessageHasPopup(int32_t dwMsgID) {
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun MessageHasPopup, dwMsgID is %d,", dwMsgID);
  const int32_t bMarked = SetMsgItemPopup(dwMsgID);
  if (bMarked) PfnEventCallback(dwMsgID, ADDTYPE_CHANGE);
  m_trace.WriteTrace(kTraceLevel, u"Exit  Fun MessageHasPopup, bDel is %d", bMarked);
  return 1;
}

int32_t CMsgGov::SetMsgItemPopup(int32_t dwMsgID) {
  CAutoCriticalSection lock(m_cs);
  const size_t i = m_DynamicMsgList.FindById(dwMsgID);
  if (i == CMessageList::npos) return 0;
  m_DynamicMsgList[i].bHasPopup = 1;
  return 1;
}

int32_t CMsgGov::GetMessage(int32_t dwMsgID, _Message_GetInfo* pInfo) {
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun GetMessage, dwMsgID is %d", dwMsgID);
  int32_t bRet = 0;
  if (pInfo != nullptr) {
    bRet = GetMsgItem(dwMsgID >= 0 ? m_DynamicMsgList : m_DefaultMsgList, dwMsgID, pInfo);
  }
  m_trace.WriteTrace(kTraceLevel, u"Exit  Fun GetMessage, bRet is %d", bRet);
  return bRet;
}

// The lists are only named here, never read: GetMsgItem takes the lock before it looks into one.
int32_t CMsgGov::GetMsgItem(const CMessageList& list, int32_t dwMsgID,
                            _Message_GetInfo* pInfo) TIDINGS_NO_THREAD_SAFETY_ANALYSIS {
  CAutoCriticalSection lock(m_cs);
  const size_t i = list.FindById(dwMsgID);
  if (i == CMessageList::npos) return 0;
  CopyToRecord(list[i], pInfo);
  return 1;
}

int32_t CMsgGov::GetNextMessage(int32_t dwMsgID, int32_t* pdwNewMsgID,
                                _Message_GetInfo* pInfo) TIDINGS_NO_THREAD_SAFETY_ANALYSIS {
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun GetNextMessage, dwMsgID is %d", dwMsgID);
  int32_t bRet = 0;
  int32_t dwNewMsgID = -1;
  if (pdwNewMsgID != nullptr && pInfo != nullptr) {
    if (dwMsgID >= 0) {
      bRet = GetNextMsgItem(m_DynamicMsgList, dwMsgID, &dwNewMsgID, pInfo);
      // An ID of the dynamic list that is not there goes on in the default list, after -2.
      if (bRet == 0) bRet = GetNextMsgItem(m_DefaultMsgList, -2, &dwNewMsgID, pInfo);
    } else {
      bRet = GetNextMsgItem(m_DefaultMsgList, dwMsgID, &dwNewMsgID, pInfo);
    }
  }
  if (pdwNewMsgID != nullptr) *pdwNewMsgID = dwNewMsgID;
  m_trace.WriteTrace(kTraceLevel, u"Exit  Fun GetNextMessage, bRet is %d, dwNewMsgID is %d", bRet,
                     dwNewMsgID);
  return bRet;
}

int32_t CMsgGov::GetNextMsgItem(const CMessageList& list, int32_t dwMsgID, int32_t* pdwNewMsgID,
                                _Message_GetInfo* pInfo) TIDINGS_NO_THREAD_SAFETY_ANALYSIS {
  CAutoCriticalSection lock(m_cs);
  *pdwNewMsgID = -1;
  if (list.empty()) return 0;
  const size_t i = list.FindById(dwMsgID);
  if (i == CMessageList::npos) return 0;
  const _Message_Item& next = list[(i + 1) % list.size()];
  *pdwNewMsgID = next.dwMsgID;
  CopyToRecord(next, pInfo);
  return 1;
}

bool CMsgGov::GetFirstMsgID(int32_t* pdwMsgID) {
  CAutoCriticalSection lock(m_cs);
  if (!m_DynamicMsgList.empty()) {
    *pdwMsgID = m_DynamicMsgList[0].dwMsgID;
    return true;
  }
  if (!m_DefaultMsgList.empty()) {
    *pdwMsgID = m_DefaultMsgList[0].dwMsgID;
    return true;
  }
  return false;
}

}  // namespace tidings
