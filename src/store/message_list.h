// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CMessageList: one of the store's two lists of messages, in insertion order.
//
// Each message has a slot, its place in the list's storage. Slots follow the list's order, but a removed
// message leaves its slot empty for a while, so a slot is not a position: the list is walked with First
// and Next. Slots stay as they are until the next Append or Remove.
//
// The list finds its messages without walking it: by ID with a binary search, and by span and name
// through an index; a removal moves no message. All this is its own business: what it finds is always
// what a walk from the first message would find (message_list.cc explains how).

#ifndef TIDINGS_STORE_MESSAGE_LIST_H_
#define TIDINGS_STORE_MESSAGE_LIST_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/message_item.h"
#include "store/slot_set.h"

namespace tidings {

class CMessageList {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  // The number of messages.
  size_t size() const { return m_nLive; }
  bool empty() const { return m_nLive == 0; }
  // The message in slot i, a slot that First, Next or a search gave.
  const _Message_Item& operator[](size_t i) const { return m_items[i]; }
  // A message may be changed in place, except for its span, name and ID: the list finds messages by them.
  _Message_Item& operator[](size_t i) { return m_items[i]; }

  // The slot of the first message, or npos when the list is empty.
  size_t First() const { return m_live.FindFrom(0); }
  // The slot of the message after the one in slot i, or npos when that one is the last.
  size_t Next(size_t i) const {
    return i + 1 < m_items.size() && m_live.Contains(i + 1) ? i + 1 : m_live.FindFrom(i + 1);
  }

  // The slot of the first message with this ID, or npos.
  size_t FindById(int32_t dwMsgID) const;

  // The slots, in list order, of every message with this span and name, each compared without regard to
  // case in the current locale (platform::CompareNoCase). May build the index, so it may run out of
  // memory; the list is unchanged then.
  std::vector<size_t> FindByName(const std::u16string& strMsgSpan, const std::u16string& strMsgName);

  // Appends a message at the end. On failure (out of memory) the list holds the same messages as before.
  void Append(_Message_Item item);

  // Removes the messages in these slots (each named once, in any order); the others keep their order.
  // Never fails.
  void Remove(const std::vector<size_t>& slots) noexcept;
  void RemoveAt(size_t i) noexcept;

  // Empties the list and gives its memory back.
  void Clear() noexcept;
  // Makes room for n messages in all, so that appending up to there needs no more memory for them. May
  // run out of memory; the list holds the same messages then.
  void Reserve(size_t n);

 private:
  // A stretch of slots whose IDs strictly increase (or strictly decrease) from slot to slot, the IDs of
  // emptied slots included.
  struct Run {
    size_t nBegin;   // its first slot
    int nDirection;  // +1 increasing, -1 decreasing, 0 not known yet (a single item)
  };
  // A slot: its message, and while there is an index, the key the message is filed under there, so that
  // a removal leaves the index without reading the message's texts. In 64-bit builds the key takes the
  // room the item's alignment leaves spare at its end: it costs no memory, and no read beyond the item.
  struct Slot : _Message_Item {
    uint32_t nNameKey;
  };
  // One entry of the span-and-name index: the key of a message's span and name, and its ID.
  struct NameSlot {
    uint32_t nKey;  // 0: the slot is free
    int32_t dwMsgID;
  };

  size_t RunEnd(size_t r) const { return r + 1 < m_runs.size() ? m_runs[r + 1].nBegin : m_items.size(); }
  size_t FindInRun(size_t r, int32_t dwMsgID) const;
  // Whether an item with this ID, appended now, would begin a new run.
  bool BeginsRun(int32_t dwMsgID) const;

  // The index finds messages by their IDs, so it is used only while no ID can occur twice: while the
  // list is one run.
  bool NameIndexUsable() const { return m_runs.size() <= 1; }
  bool NameIndexBuilt() const { return !m_nameSlots.empty(); }
  size_t HomeSlot(uint32_t nKey) const;
  size_t NextSlot(size_t i) const { return i + 1 == m_nameSlots.size() ? 0 : i + 1; }
  // A fresh table of nSlots free slots holding every entry of the current one. May run out of memory.
  std::vector<NameSlot> Rehashed(size_t nSlots) const;
  void InsertName(uint32_t nKey, int32_t dwMsgID) noexcept;  // REQUIRES: a free slot beyond the load limit
  void EraseName(uint32_t nKey, int32_t dwMsgID) noexcept;
  void DropNameIndex() noexcept;

  // Empties slot i: frees its message and takes it out of the index.
  void Vacate(size_t i) noexcept;
  // After removals: drops the empty slots at the end, and gives room back once there is too much.
  void Tidy() noexcept;
  // Hands the slot of each message, in list order, to put(slot), which moves the message to the next
  // place of a packed list, and renumbers the runs for that list.
  template <typename Put>
  size_t Pack(Put put) noexcept;
  // Packs the messages at the front of the slots they are in.
  void Compact() noexcept;
  // Moves the messages, packed, to storage of nSlots slots. REQUIRES: nSlots >= size(). May run out of
  // memory; the list is unchanged then.
  void Regroup(size_t nSlots);

  // The slots: the messages, and emptied slots among them holding an empty item.
  std::vector<Slot> m_items;
  // The slots' IDs once more, packed tight, emptied slots' too: a search reads these, not the items.
  std::vector<int32_t> m_ids;
  // The slots that hold a message. The slots the set was made for are the list's room: m_items has the
  // capacity for them all, so that appending up to there never moves the items.
  CSlotSet m_live;
  size_t m_nLive = 0;
  // The runs in slot order, covering every slot; empty with the slots.
  std::vector<Run> m_runs;
  // Open addressing with linear probing, 45% to 80% full; empty while there is no index.
  std::vector<NameSlot> m_nameSlots;
  size_t m_nNames = 0;  // slots in use
};

}  // namespace tidings

#endif  // TIDINGS_STORE_MESSAGE_LIST_H_
