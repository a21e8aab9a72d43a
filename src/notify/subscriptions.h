// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CSubscriberRegistry: the subscribers to change notifications, and the notification itself.
//
// The registry has a lock of its own, held only while a record is read, added or removed, so a callback
// may subscribe, unsubscribe and call every export. A notification walks the list in place by index,
// reading the bound again before every step: records appended meanwhile are called in the same pass,
// and a removal before the current index makes the next record slide past unseen, whether the change
// comes from a callback or from another thread.

#ifndef TIDINGS_NOTIFY_SUBSCRIPTIONS_H_
#define TIDINGS_NOTIFY_SUBSCRIPTIONS_H_

#include <cstdint>
#include <string>

#include "notify/subscriber_list.h"
#include "platform/platform.h"
#include "tidings.h"
#include "trace/log_trace.h"

namespace tidings {

class CSubscriberRegistry {
 public:
  explicit CSubscriberRegistry(const CLogTrace& trace) : m_trace(trace) {}
  CSubscriberRegistry(const CSubscriberRegistry&) = delete;
  CSubscriberRegistry& operator=(const CSubscriberRegistry&) = delete;

  // Registers a callback (null allowed) and returns its handle, between its Enter and Exit lines.
  uint32_t AddSubscribeEvent(const std::u16string& strMsgSpanName, MSGEVENTPROC pMsgTran)
      TIDINGS_EXCLUDES(m_subscriberLock);
  // Removes the registration with this handle; 1 if there was one.
  int32_t DelSubscribeEvent(uint32_t hEvent) TIDINGS_EXCLUDES(m_subscriberLock);
  // Calls every subscriber's callback, in subscription order, with no lock of the library held.
  void PfnEventCallback(int32_t dwMsgID, int32_t nAddType) TIDINGS_EXCLUDES(m_subscriberLock);

 private:
  const CLogTrace& m_trace;
  platform::Mutex m_subscriberLock;
  CSubscriberList m_SubscribeList TIDINGS_GUARDED_BY(m_subscriberLock);
  // The handle the next registration gets.
  uint32_t m_nNextSubscribeHandle TIDINGS_GUARDED_BY(m_subscriberLock) = 1;
};

}  // namespace tidings

#endif  // TIDINGS_NOTIFY_SUBSCRIPTIONS_H_
