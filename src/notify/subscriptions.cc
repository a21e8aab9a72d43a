// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "notify/subscriptions.h"

#include <utility>

namespace tidings {

namespace {

uintptr_t AddressOf(MSGEVENTPROC pfn) { return reinterpret_cast<uintptr_t>(pfn); }

}  // namespace

uint32_t CSubscriberRegistry::AddSubscribeEvent(const std::u16string& strMsgSpanName, MSGEVENTPROC pMsgTran) {
  m_trace.WriteTrace(u"Enter Fun AddSubscribeEvent, strMsgSpanName is %s, pMsgTran is 0X%X", strMsgSpanName,
                     TraceArg::Address(AddressOf(pMsgTran)));
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
  m_trace.WriteTrace(u"Exit  Fun AddSubscribeEvent, Handle is 0X%X", hEvent);
  return hEvent;
}

int32_t CSubscriberRegistry::DelSubscribeEvent(uint32_t hEvent) {
  m_trace.WriteTrace(u"Enter Fun DelSubscribeEvent, hEvent is 0X%X", hEvent);
  int32_t bRet = 0;
  size_t index = 0;
  {
    platform::LockHolder<platform::Mutex> lock(m_subscriberLock);
    if (m_SubscribeList.Remove(hEvent, &index)) bRet = 1;
  }
  if (bRet) m_trace.WriteTrace(u"--Item is Delete, Index is %d", static_cast<int32_t>(index));
  m_trace.WriteTrace(u"Exit  Fun DelSubscribeEvent, bRet is %d", bRet);
  return bRet;
}

void CSubscriberRegistry::PfnEventCallback(int32_t dwMsgID, int32_t nAddType) {
  m_trace.WriteTrace(u"Enter Fun PfnEventCallback, dwMsgID is %d, nAddType is %d", dwMsgID, nAddType);
  for (size_t i = 0;; ++i) {
    MSGEVENTPROC pfn;
    {
      platform::LockHolder<platform::Mutex> lock(m_subscriberLock);
      if (i >= m_SubscribeList.size()) break;
      pfn = m_SubscribeList.CallbackAt(i);
    }
    if (pfn == nullptr) continue;
    const int32_t nIndex = static_cast<int32_t>(i);
    m_trace.WriteTrace(u"--Begin  Call %d's pEventCallback", nIndex);
    pfn(dwMsgID, nAddType);
    m_trace.WriteTrace(u"--Finish Call %d's pEventCallback", nIndex);
  }
  m_trace.WriteTrace(u"Exit Fun PfnEventCallback");
}

}  // namespace tidings
