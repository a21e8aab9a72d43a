// Subscribers and the change notification.
//
// The subscriber list has a lock of its own, held only while a record is read, added or removed, so a
// callback may subscribe, unsubscribe and call every export. A notification walks the list in place by
// index, reading the bound again before every step: records appended meanwhile are called in the same
// pass, and a removal before the current index makes the next record slide past unseen, whether the
// change comes from a callback or from another thread.

#include <utility>

#include "store/caller_text.h"
#include "store/msg_gov.h"

namespace tidings {

namespace {

uintptr_t AddressOf(MSGEVENTPROC pfn) { return reinterpret_cast<uintptr_t>(pfn); }

}  // namespace

uint32_t CMsgGov::Subscribe(const TIDINGS_WCHAR* lpMsgSpanName, MSGEVENTPROC pMsgTran,
                            int32_t bSubscribeOld) {
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun Subscribe, bSubscribeOld is %d", bSubscribeOld);
  const std::u16string strMsgSpanName = CopyCallerText(lpMsgSpanName);
  const uint32_t hHandle = AddSubscribeEvent(strMsgSpanName, pMsgTran);
  // Only the first existing message is announced, and to everyone, the new subscriber included.
  int32_t dwFirstMsgID = 0;
  if (bSubscribeOld != 0 && GetFirstMsgID(&dwFirstMsgID)) PfnEventCallback(dwFirstMsgID, ADDTYPE_NEW);
  m_trace.WriteTrace(kTraceLevel, u"Exit  Fun Subscribe, hHandle is 0X%X", hHandle);
  return hHandle;
}

uint32_t CMsgGov::AddSubscribeEvent(const std::u16string& strMsgSpanName, MSGEVENTPROC pMsgTran) {
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun AddSubscribeEvent, strMsgSpanName is %s, pMsgTran is 0X%X",
                     strMsgSpanName, TraceArg::Address(AddressOf(pMsgTran)));
  _SubscribeEventInfo info;
  info.pEventCallback = pMsgTran;
  info.strMsgSpanName = strMsgSpanName;
  uint32_t hEvent;
  {
    platform::LockHolder<platform::Mutex> lock(m_subscriberLock);
    hEvent = m_nNextSubscribeHandle;
    info.hEvent = hEvent;
    m_SubscribeList.Append(std::move(info));
    // Counted only once the record is in, so a failed append uses up no handle.
    ++m_nNextSubscribeHandle;
  }
  m_trace.WriteTrace(kTraceLevel, u"Exit  Fun AddSubscribeEvent, Handle is 0X%X", hEvent);
  return hEvent;
}

int32_t CMsgGov::UNSubscribe(uint32_t hHandle) {
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun UNSubscribe, hHandle is 0X%X", hHandle);
  const int32_t bRet = DelSubscribeEvent(hHandle);
  m_trace.WriteTrace(kTraceLevel, u"Exit  Fun UNSubscribe, Ret is %d", bRet);
  return 1;
}

int32_t CMsgGov::DelSubscribeEvent(uint32_t hEvent) {
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun DelSubscribeEvent, hEvent is 0X%X", hEvent);
  int32_t bRet = 0;
  size_t index = 0;
  {
    platform::LockHolder<platform::Mutex> lock(m_subscriberLock);
    if (m_SubscribeList.Remove(hEvent, &index)) bRet = 1;
  }
  if (bRet) m_trace.WriteTrace(kTraceLevel, u"--Item is Delete, Index is %d", static_cast<int32_t>(index));
  m_trace.WriteTrace(kTraceLevel, u"Exit  Fun DelSubscribeEvent, bRet is %d", bRet);
  return bRet;
}

void CMsgGov::PfnEventCallback(int32_t dwMsgID, int32_t nAddType) {
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun PfnEventCallback, dwMsgID is %d, nAddType is %d", dwMsgID,
                     nAddType);
  for (size_t i = 0;; ++i) {
    MSGEVENTPROC pfn;
    {
      platform::LockHolder<platform::Mutex> lock(m_subscriberLock);
      if (i >= m_SubscribeList.size()) break;
      pfn = m_SubscribeList.CallbackAt(i);
    }
    if (pfn == nullptr) continue;
    const int32_t nIndex = static_cast<int32_t>(i);
    m_trace.WriteTrace(kTraceLevel, u"--Begin  Call %d's pEventCallback", nIndex);
    pfn(dwMsgID, nAddType);
    m_trace.WriteTrace(kTraceLevel, u"--Finish Call %d's pEventCallback", nIndex);
  }
  m_trace.WriteTrace(kTraceLevel, u"Exit Fun PfnEventCallback");
}

}  // namespace tidings
