// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// How the list finds positions and handles without walking.
//
// A removal leaves a hole where the registration was instead of moving every registration behind it
// down (that made unsubscribing n subscriptions in order of subscription take time n^2). A Fenwick tree
// counts the live slots, so the live registrations before a slot, and the slot of the i-th live
// registration, take log n steps; while there are no holes, the usual state, a position is its slot.
// Once the holes outnumber the live registrations they are squeezed out in one pass, which costs no
// more than the removals that made them. Handles increase along the slots, holes included, so a binary
// search finds one.

#include "notify/subscriber_list.h"

#include <algorithm>
#include <utility>

namespace tidings {

namespace {

size_t LowBit(size_t k) { return k & (~k + 1); }

}  // namespace

size_t CSubscriberList::LiveBefore(size_t s) const {
  if (!HasHoles()) return s;
  size_t n = 0;
  for (size_t k = s; k > 0; k -= LowBit(k)) n += m_counts[k - 1];
  return n;
}

size_t CSubscriberList::SlotOf(size_t i) const {
  if (!HasHoles()) return i;
  // The largest number of slots that hold at most i live registrations: the next slot is the one.
  size_t nSlots = 0;
  size_t nLeft = i + 1;
  size_t step = 1;
  while (step * 2 <= m_counts.size()) step *= 2;
  for (; step > 0; step /= 2) {
    if (nSlots + step <= m_counts.size() && m_counts[nSlots + step - 1] < nLeft) {
      nSlots += step;
      nLeft -= m_counts[nSlots - 1];
    }
  }
  return nSlots;
}

size_t CSubscriberList::FindSlot(uint32_t hEvent) const {
  if (m_bHandlesIncrease) {
    const size_t s =
        static_cast<size_t>(std::lower_bound(m_handles.begin(), m_handles.end(), hEvent) - m_handles.begin());
    return s < m_slots.size() && m_handles[s] == hEvent && m_slots[s].bLive ? s : m_slots.size();
  }
  for (size_t s = 0; s < m_slots.size(); ++s) {
    if (m_slots[s].bLive && m_handles[s] == hEvent) return s;
  }
  return m_slots.size();
}

void CSubscriberList::Append(_SubscribeEventInfo info) {
  // Room first, so that nothing fails once the record is in.
  if (m_slots.size() == m_slots.capacity()) m_slots.reserve(2 * m_slots.size() + 4);
  if (m_handles.size() == m_handles.capacity()) m_handles.reserve(2 * m_handles.size() + 4);
  if (m_counts.size() == m_counts.capacity()) m_counts.reserve(2 * m_counts.size() + 4);
  if (!m_handles.empty() && info.hEvent <= m_handles.back()) m_bHandlesIncrease = false;
  // The new slot k (numbered from 1) counts itself and the live slots in (k - lowbit(k), k - 1].
  const size_t k = m_slots.size() + 1;
  const size_t nCount = 1 + LiveBefore(k - 1) - LiveBefore(k - LowBit(k));
  m_handles.push_back(info.hEvent);
  m_slots.push_back(Slot{std::move(info), true});
  m_counts.push_back(static_cast<uint32_t>(nCount));
  ++m_nLive;
}

bool CSubscriberList::Remove(uint32_t hEvent, size_t* pIndex) noexcept {
  const size_t s = FindSlot(hEvent);
  if (s == m_slots.size()) return false;
  *pIndex = LiveBefore(s);
  Slot& slot = m_slots[s];
  slot.bLive = false;
  slot.info.pEventCallback = nullptr;
  std::u16string().swap(slot.info.strMsgSpanName);
  for (size_t k = s + 1; k <= m_counts.size(); k += LowBit(k)) --m_counts[k - 1];
  --m_nLive;
  if (m_slots.size() - m_nLive > m_nLive) Compact();
  return true;
}

void CSubscriberList::Compact() noexcept {
  size_t nLive = 0;
  for (size_t s = 0; s < m_slots.size(); ++s) {
    if (!m_slots[s].bLive) continue;
    if (nLive != s) {
      m_slots[nLive] = std::move(m_slots[s]);
      m_handles[nLive] = m_handles[s];
    }
    ++nLive;
  }
  m_slots.erase(m_slots.begin() + static_cast<std::ptrdiff_t>(nLive), m_slots.end());
  m_handles.erase(m_handles.begin() + static_cast<std::ptrdiff_t>(nLive), m_handles.end());
  m_counts.erase(m_counts.begin() + static_cast<std::ptrdiff_t>(nLive), m_counts.end());
  // Without holes each count is the length of the range it covers.
  for (size_t k = 1; k <= nLive; ++k) m_counts[k - 1] = static_cast<uint32_t>(LowBit(k));
  if (nLive == 0) m_bHandlesIncrease = true;
  // A list that was long gives its room back, if there is memory to move it (it is no less right if not).
  if (m_slots.capacity() > 2 * nLive + 16) {
    try {
      m_slots.shrink_to_fit();
      m_handles.shrink_to_fit();
      m_counts.shrink_to_fit();
    } catch (...) {
    }
  }
}

}  // namespace tidings
