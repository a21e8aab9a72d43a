// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "store/slot_set.h"

#include <algorithm>

namespace tidings {

namespace {

// The position of the lowest set bit of a word that is not 0: the bit alone, times a de Bruijn number,
// has a different top six bits for each position.
size_t LowestBit(uint64_t bits) {
  static const unsigned char kPositions[64] = {
      0,  1,  2,  53, 3,  7,  54, 27, 4,  38, 41, 8,  34, 55, 48, 28, 62, 5,  39, 46, 44, 42,
      22, 9,  24, 35, 59, 56, 49, 18, 29, 11, 63, 52, 6,  26, 37, 40, 33, 47, 61, 45, 43, 21,
      23, 58, 17, 10, 51, 25, 36, 32, 60, 20, 57, 16, 50, 31, 19, 15, 30, 14, 13, 12};
  return kPositions[((bits & (~bits + 1)) * 0x022FDD63CC95386Dull) >> 58];
}

uint64_t Bit(size_t s) { return uint64_t{1} << (s & 63); }

}  // namespace

CSlotSet::CSlotSet(size_t nSlots) : m_nSlots(nSlots) {
  if (nSlots == 0) return;  // nothing to hold, and nothing allocated: an empty list's set cannot fail
  std::vector<size_t> levels{0};
  size_t nWords = std::max<size_t>(1, nSlots / 64 + (nSlots % 64 != 0 ? 1 : 0));
  for (;;) {
    levels.push_back(levels.back() + nWords);
    if (nWords == 1) break;
    nWords = nWords / 64 + (nWords % 64 != 0 ? 1 : 0);
  }
  m_words.assign(levels.back(), 0);
  m_levels.swap(levels);
}

void CSlotSet::Assign(size_t nMembers) noexcept {
  std::fill(m_words.begin(), m_words.end(), 0);
  // The first n bits of each level are set, n shrinking by a factor of 64 from level to level.
  for (size_t l = 0; l + 1 < m_levels.size() && nMembers > 0; ++l) {
    uint64_t* pWords = m_words.data() + m_levels[l];
    std::fill(pWords, pWords + nMembers / 64, ~uint64_t{0});
    if (nMembers % 64 != 0) pWords[nMembers / 64] = Bit(nMembers) - 1;
    nMembers = nMembers / 64 + (nMembers % 64 != 0 ? 1 : 0);
  }
}

void CSlotSet::Insert(size_t s) noexcept {
  for (size_t l = 0; l + 1 < m_levels.size(); ++l, s >>= 6) {
    uint64_t& word = m_words[m_levels[l] + (s >> 6)];
    const bool bWasEmpty = word == 0;
    word |= Bit(s);
    if (!bWasEmpty) return;  // the levels above know of this word already
  }
}

void CSlotSet::Erase(size_t s) noexcept {
  for (size_t l = 0; l + 1 < m_levels.size(); ++l, s >>= 6) {
    uint64_t& word = m_words[m_levels[l] + (s >> 6)];
    word &= ~Bit(s);
    if (word != 0) return;  // the levels above still count this word
  }
}

size_t CSlotSet::FindFrom(size_t s) const noexcept {
  // Up from the slots' own bits until a level has a set bit at or after the place of s there, ...
  size_t l = 0;
  for (;; ++l) {
    if (l + 1 >= m_levels.size()) return npos;
    const size_t w = s >> 6;
    if (w >= m_levels[l + 1] - m_levels[l]) return npos;
    const uint64_t bits = m_words[m_levels[l] + w] & (~uint64_t{0} << (s & 63));
    if (bits != 0) {
      s = w * 64 + LowestBit(bits);
      break;
    }
    s = w + 1;
  }
  // ... then down again, each time to the first set bit of the word that bit stands for.
  while (l-- > 0) s = s * 64 + LowestBit(m_words[m_levels[l] + s]);
  return s;
}

}  // namespace tidings
