// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CMessageList: one of the store's two lists of messages, in insertion order.
//
// The list finds its messages without walking it: by ID with a binary search, and by span and name
// through an index. Both are its own business; what it finds is always what a walk from the first item
// would find (message_list.cc explains how).

#ifndef TIDINGS_STORE_MESSAGE_LIST_H_
#define TIDINGS_STORE_MESSAGE_LIST_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/message_item.h"

namespace tidings {

class CMessageList {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  size_t size() const { return m_items.size(); }
  bool empty() const { return m_items.empty(); }
  const _Message_Item& operator[](size_t i) const { return m_items[i]; }
  // An item may be changed in place, except for its span, name and ID: the list finds items by them.
  _Message_Item& operator[](size_t i) { return m_items[i]; }

  // The position of the first message with this ID, or npos.
  size_t FindById(int32_t dwMsgID) const;

  // The positions, in list order, of every message with this span and name, each compared without regard
  // to case in the current locale (platform::CompareNoCase). May build the index, so it may run out of
  // memory; the list is unchanged then.
  std::vector<size_t> FindByName(const std::u16string& strMsgSpan, const std::u16string& strMsgName);

  // Appends a message at the end. On failure (out of memory) the list is unchanged.
  void Append(_Message_Item item);

  // Removes the message at position i; those behind it move up one place. Never fails.
  void RemoveAt(size_t i) noexcept;

  // Empties the list and gives its memory back.
  void Clear() noexcept;
  // Makes room for n messages in all, so that appending up to there needs no more memory for the items.
  void Reserve(size_t n) {
    m_items.reserve(n);
    m_ids.reserve(n);
  }

 private:
  // A stretch of the list whose IDs strictly increase (or strictly decrease) from item to item.
  struct Run {
    size_t nBegin;   // position of its first item
    int nDirection;  // +1 increasing, -1 decreasing, 0 not known yet (a single item)
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

  std::vector<_Message_Item> m_items;
  // The items' IDs once more, in list order, packed tight: a search reads these, not the items.
  std::vector<int32_t> m_ids;
  // The runs in list order, covering the whole list; empty with the list.
  std::vector<Run> m_runs;
  // Open addressing with linear probing, 45% to 80% full; empty while there is no index.
  std::vector<NameSlot> m_nameSlots;
  size_t m_nNames = 0;  // slots in use
};

}  // namespace tidings

#endif  // TIDINGS_STORE_MESSAGE_LIST_H_
