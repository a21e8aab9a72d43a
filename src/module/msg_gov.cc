// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "module/msg_gov.h"

#include <optional>

#include "module/caller_text.h"

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

CMsgGov::CMsgGov(const CLogTrace& trace) : m_trace(trace), m_subscribers(trace), m_echo(trace) {}

void CMsgGov::AddMessage(const TIDINGS_WCHAR* lpMsgSpanName, const _Message_AddInfo* pInfo) {
  if (pInfo == nullptr) return;
  const std::u16string strMsgSpanName = CopyCallerText(lpMsgSpanName);
  MessageFields fields;
  fields.strMsgName = CopyFieldText(pInfo->wszMsgName, kNameUnits);
  fields.strMsgSInfo = CopyFieldText(pInfo->strMsgSInfo, kInfoUnits);
  fields.strMsgEchoPath = CopyCallerText(pInfo->strMsgEchoPath);
  fields.ShowType = pInfo->ShowType;
  fields.dwPopShowTimeout = pInfo->dwPopShowTimeout;
  fields.bSaveAfterClose = pInfo->bSaveAfterClose;

  // The save flag comes before the timeout here, the other way round from the record.
  m_trace.WriteTrace(
      u"Enter Fun AddMessage, lpMsgSpanName is %s, wszMsgName is %s,strMsgSInfo is %s, "
      u"strMsgEchoPath is %s, ShowType is %d, bSaveAfterClose is %d,dwPopShowTimeout is %d",
      strMsgSpanName, fields.strMsgName, fields.strMsgSInfo, fields.strMsgEchoPath, fields.ShowType,
      fields.bSaveAfterClose, fields.dwPopShowTimeout);
  int32_t bNew = 1;
  const std::optional<int32_t> id = m_store.AddMsgItem(fields, strMsgSpanName, &bNew);
  // None: no message ID was left for a new message, so nothing changed. The trace says -1 then.
  if (id) m_subscribers.PfnEventCallback(*id, bNew ? ADDTYPE_NEW : ADDTYPE_CHANGE);
  m_trace.WriteTrace(u"Exit  Fun AddMessage, ID is %d, Is New Msg?%d", id.value_or(-1), bNew);
}

void CMsgGov::DeleteMessage(const TIDINGS_WCHAR* lpMsgSpanName, const TIDINGS_WCHAR* wszMsgName) {
  const std::u16string strMsgSpanName = CopyCallerText(lpMsgSpanName);
  const std::u16string strMsgName = CopyCallerText(wszMsgName);
  m_trace.WriteTrace(u"Enter Fun DeleteMessage, lpMsgSpanName is %s, wszMsgName is %s,", strMsgSpanName,
                     strMsgName);
  const std::optional<int32_t> id = m_store.DelMsgItem(strMsgSpanName, strMsgName);
  if (id) m_subscribers.PfnEventCallback(*id, ADDTYPE_DELETE);
  m_trace.WriteTrace(u"Exit  Fun DeleteMessage, MsgID is %d", id.value_or(-1));
}

void CMsgGov::DeleteMessageFromID(int32_t dwMsgID) {
  m_trace.WriteTrace(u"Enter Fun DeleteMessageFromID, dwMsgID is %d,", dwMsgID);
  const bool bDel = m_store.DelMsgItemFromID(dwMsgID);
  if (bDel) m_subscribers.PfnEventCallback(dwMsgID, ADDTYPE_DELETE);
  m_trace.WriteTrace(u"Exit  Fun DeleteMessageFromID, bDel is %d", int32_t{bDel});
}

void CMsgGov::MessageHasPopup(int32_t dwMsgID) {
  m_trace.WriteTrace(u"Enter Fun MessageHasPopup, dwMsgID is %d,", dwMsgID);
  const bool bMarked = m_store.SetMsgItemPopup(dwMsgID);
  if (bMarked) m_subscribers.PfnEventCallback(dwMsgID, ADDTYPE_CHANGE);
  m_trace.WriteTrace(u"Exit  Fun MessageHasPopup, bDel is %d", int32_t{bMarked});
}

bool CMsgGov::GetMessage(int32_t dwMsgID, _Message_GetInfo* pInfo) {
  m_trace.WriteTrace(u"Enter Fun GetMessage, dwMsgID is %d", dwMsgID);
  bool bRet = false;
  if (pInfo != nullptr) {
    bRet = m_store.GetMsgItem(dwMsgID, [pInfo](const _Message_Item& item) { CopyToRecord(item, pInfo); });
  }
  m_trace.WriteTrace(u"Exit  Fun GetMessage, bRet is %d", int32_t{bRet});
  return bRet;
}

bool CMsgGov::GetNextMessage(int32_t dwMsgID, int32_t* pdwNewMsgID, _Message_GetInfo* pInfo) {
  m_trace.WriteTrace(u"Enter Fun GetNextMessage, dwMsgID is %d", dwMsgID);
  bool bRet = false;
  int32_t dwNewMsgID = -1;
  if (pdwNewMsgID != nullptr && pInfo != nullptr) {
    bRet = m_store.GetNextMsgItem(dwMsgID, &dwNewMsgID,
                                  [pInfo](const _Message_Item& item) { CopyToRecord(item, pInfo); });
  }
  if (pdwNewMsgID != nullptr) *pdwNewMsgID = dwNewMsgID;
  m_trace.WriteTrace(u"Exit  Fun GetNextMessage, bRet is %d, dwNewMsgID is %d", int32_t{bRet}, dwNewMsgID);
  return bRet;
}

uint32_t CMsgGov::Subscribe(const TIDINGS_WCHAR* lpMsgSpanName, MSGEVENTPROC pMsgTran,
                            int32_t bSubscribeOld) {
  m_trace.WriteTrace(u"Enter Fun Subscribe, bSubscribeOld is %d", bSubscribeOld);
  const std::u16string strMsgSpanName = CopyCallerText(lpMsgSpanName);
  const uint32_t hHandle = m_subscribers.AddSubscribeEvent(strMsgSpanName, pMsgTran);
  // Only the first existing message is announced, and to everyone, the new subscriber included.
  int32_t dwFirstMsgID = 0;
  if (bSubscribeOld != 0 && m_store.GetFirstMsgID(&dwFirstMsgID)) {
    m_subscribers.PfnEventCallback(dwFirstMsgID, ADDTYPE_NEW);
  }
  m_trace.WriteTrace(u"Exit  Fun Subscribe, hHandle is 0X%X", hHandle);
  return hHandle;
}

void CMsgGov::UNSubscribe(uint32_t hHandle) {
  m_trace.WriteTrace(u"Enter Fun UNSubscribe, hHandle is 0X%X", hHandle);
  const int32_t bRet = m_subscribers.DelSubscribeEvent(hHandle);
  m_trace.WriteTrace(u"Exit  Fun UNSubscribe, Ret is %d", bRet);
}

void CMsgGov::EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam) {
  m_echo.EchoMsg(h, MsgID, dwEchoParam, [this, MsgID](EchoTarget* pTarget) {
    return m_store.GetEchoInfo(MsgID, &pTarget->strEchoPath, &pTarget->strMsgSpan, &pTarget->strMsgName);
  });
}

}  // namespace tidings
