// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CSlotSet: which slots of a list hold a message, for a list that leaves a removed message's slot empty
// for a while. It finds the next occupied slot from any slot in a few steps however many empty ones lie
// between: a bit per slot, and above those bits a bit per word of them, and so on up to a single word.

#ifndef TIDINGS_STORE_SLOT_SET_H_
#define TIDINGS_STORE_SLOT_SET_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tidings {

class CSlotSet {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  // An empty set for slots 0 .. nSlots-1. May run out of memory.
  explicit CSlotSet(size_t nSlots = 0);

  // The number of slots it was made for.
  size_t size() const { return m_nSlots; }

  // Makes the set {0, 1, ..., nMembers-1}. REQUIRES: nMembers <= size().
  void Assign(size_t nMembers) noexcept;

  // REQUIRES for these three: s < size().
  bool Contains(size_t s) const { return ((m_words[s >> 6] >> (s & 63)) & 1) != 0; }
  void Insert(size_t s) noexcept;
  void Erase(size_t s) noexcept;

  // The smallest member at s or after it, or npos. Any s.
  size_t FindFrom(size_t s) const noexcept;

 private:
  // All levels in one block, the slots' own bits first; level l+1 has a bit for each word of level l,
  // set when that word is not 0. The top level is one word.
  std::vector<uint64_t> m_words;
  // Where each level begins in m_words, and one past the end of the top level.
  std::vector<size_t> m_levels;
  size_t m_nSlots = 0;
};

}  // namespace tidings

#endif  // TIDINGS_STORE_SLOT_SET_H_
