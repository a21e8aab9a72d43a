// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CSubscriberList: the subscriber registrations in order of subscription.
//
// A notification reaches them by position and an unsubscription finds one by its handle; neither walks
// the list, and a removal moves no registration (subscriber_list.cc explains how). What positions mean
// is exactly what they mean in a plain array from which removed records are erased: the live
// registrations, numbered from 0 in order of subscription.

#ifndef TIDINGS_NOTIFY_SUBSCRIBER_LIST_H_
#define TIDINGS_NOTIFY_SUBSCRIBER_LIST_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tidings.h"

namespace tidings {

// One subscription to change notifications.
struct _SubscribeEventInfo {
  MSGEVENTPROC pEventCallback = nullptr;  // stored as given; a null callback is passed over
  uint32_t hEvent = 0;                    // unique; increasing along the subscriber list
  std::u16string strMsgSpanName;          // traced, never used to select anything
};

class CSubscriberList {
 public:
  // The number of registrations.
  size_t size() const { return m_nLive; }

  // The callback of the registration at position i. REQUIRES: i < size().
  MSGEVENTPROC CallbackAt(size_t i) const { return m_slots[SlotOf(i)].info.pEventCallback; }

  // Appends a registration at the end. On failure (out of memory) the list is unchanged.
  void Append(_SubscribeEventInfo info);

  // Removes the first registration with handle hEvent, freeing its span name; the ones behind it move
  // down one position. Sets *pIndex to the position it had. False, with nothing changed, when no
  // registration has that handle.
  bool Remove(uint32_t hEvent, size_t* pIndex) noexcept;

 private:
  struct Slot {
    _SubscribeEventInfo info;
    bool bLive;
  };

  bool HasHoles() const { return m_nLive != m_slots.size(); }
  // The slot of the registration at position i.
  size_t SlotOf(size_t i) const;
  // The number of live registrations in slots [0, s): the position of the live registration in slot s.
  size_t LiveBefore(size_t s) const;
  // The slot of the first live registration with this handle, or m_slots.size().
  size_t FindSlot(uint32_t hEvent) const;
  // Moves the live registrations together, in their order, and rebuilds the counts.
  void Compact() noexcept;

  // Registrations in order of subscription; a removed one stays as a hole until Compact.
  std::vector<Slot> m_slots;
  // Their handles once more, packed tight: a search reads these, not the slots.
  std::vector<uint32_t> m_handles;
  // A Fenwick tree of live registrations over the slots: m_counts[k - 1] counts the live slots in
  // (k - lowbit(k), k], slots numbered from 1.
  std::vector<uint32_t> m_counts;
  size_t m_nLive = 0;
  // Handles increase along the slots until the handle counter wraps round after 2^32 subscriptions.
  bool m_bHandlesIncrease = true;
};

}  // namespace tidings

#endif  // TIDINGS_NOTIFY_SUBSCRIBER_LIST_H_
