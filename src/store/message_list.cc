// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// How the list finds its messages without walking it, and removes them without moving the rest.
//
// By ID. The list is held as runs: stretches in which the IDs strictly increase, or strictly decrease,
// from item to item. Within a run an ID occurs at most once, and a search by interpolation, bounded by
// a binary search, finds it; the first run that holds it holds the first item with it. The search reads
// a packed copy of the IDs, so that in a large list it does not miss the cache at every step. The
// dynamic list is a single increasing run: new messages and loaded ones get ever larger IDs, and a
// removal keeps the order. Each load of the message file adds one decreasing run to the default list
// (-2, -3, ...), so a second load repeats its IDs in a second run, and the first load's items still
// win. Any other order works too, just with more runs.
//
// By span and name. An open-addressing table maps a key of each message's span and name to its ID; the
// ID leads to the slot. The key only narrows the candidates: each one is confirmed with the real
// comparison, platform::CompareNoCase, and the matches are handed out in list order. The table is built
// by the first search that needs it (the default list, never searched so, never gets one) and dropped
// while the list is more than one run, when IDs may repeat; such a list is searched from its first item.
// Each slot keeps its message's key, so that a removal finds the entry without reading the texts again:
// in a large list those reads were cache misses that made a removal cost over three times what it does
// in a small one.
//
// Removal. A removed message's slot is emptied where it stands (its texts freed, its ID kept among the
// IDs, so that the runs stay ordered for the search) instead of the messages behind it moving up: that
// made removing every message oldest first take time n^2. A set of the slots in use leads a walk past
// the empty ones in a few steps however many there are. Empty slots at the end go at once; the others
// are squeezed out in one pass over the list when the slots run out, or when the list gives room back,
// so each pass is paid for by the removals or appends since the last one, a few dozen moves apiece.
//
// Memory. The slots grow by a tenth at a time rather than doubling, and give back their room once a
// ninth of it stands empty, keeping a twentieth spare; the table holds 8 bytes a slot and is rebuilt at
// half load once it is more than 80% or less than 45% full. So beside the items the list holds at most
// 17 + 4.5 + 0.2 + 18 bytes per message; with the 24 bytes of a slot beside its four strings (the
// item's fields and the key; 64-bit builds), at most 64 bytes per message beside the strings.

#include "store/message_list.h"

#include <algorithm>
#include <utility>

#include "platform/platform.h"

namespace tidings {

namespace {

constexpr size_t kMinNameSlots = 8;

// The unit of text the index key is built from: equal for any two units that CompareNoCase could call
// equal, whatever the locale is or becomes (the locale may change while the library runs: loading the
// message file sets one). That comparison folds unit by unit, ASCII letters by the ASCII rule and the
// rest with towlower on POSIX, _wcsicmp on Windows, so texts it calls equal have equal lengths and
// pairwise equal folds; and locales take their case pairs from Unicode, with the Turkish and Azeri dotted
// and dotless i as the one departure that reaches ASCII.
// - ASCII letters fold to lower case, as the comparison folds them in every locale.
// - The four units outside ASCII whose case mappings reach ASCII letters fold to that letter: U+0130
//   capital I with dot and U+0131 dotless i to 'i' (they pair with 'i' and 'I' in Turkish locales and
//   elsewhere), U+017F long s to 's', U+212A Kelvin sign to 'k'.
// - The caseless blocks of the CJK scripts stand for themselves: CJK symbols and punctuation, kana,
//   Bopomofo, Hangul jamo and syllables, the CJK ideographs and their compatibility forms. No locale has
//   case pairs there, and names in these scripts would otherwise all share one key per length.
// - Every other unit outside ASCII folds to one shared value, whichever of them a locale pairs.
// - Other ASCII units stand for themselves: no locale pairs them.
uint32_t FoldUnit(char16_t unit) {
  if (unit < 0x80) return unit >= u'A' && unit <= u'Z' ? uint32_t{unit} + (u'a' - u'A') : uint32_t{unit};
  if (unit == 0x0130 || unit == 0x0131) return u'i';
  if (unit == 0x017F) return u's';
  if (unit == 0x212A) return u'k';
  if ((unit >= 0x3000 && unit <= 0x9FFF) || (unit >= 0xAC00 && unit <= 0xD7FF) ||
      (unit >= 0xF900 && unit <= 0xFAFF)) {
    return unit;
  }
  return 0x80;
}

// Folds a text up to its terminator (CompareNoCase stops there too) into the hash, its length last.
uint64_t HashText(uint64_t h, const std::u16string& text) {
  size_t n = 0;
  for (; n < text.size() && text[n] != 0; ++n) h = (h ^ FoldUnit(text[n])) * 0x100000001B3ull;
  return (h ^ (0x10000 + n)) * 0x100000001B3ull;
}

// Never 0, which marks a free slot.
uint32_t NameKey(const std::u16string& strMsgSpan, const std::u16string& strMsgName) {
  uint64_t h = HashText(HashText(0xCBF29CE484222325ull, strMsgSpan), strMsgName);
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  const uint32_t nKey = static_cast<uint32_t>(h >> 32);
  return nKey != 0 ? nKey : 1;
}

bool IsSameMessage(const _Message_Item& item, const std::u16string& strMsgSpan,
                   const std::u16string& strMsgName) {
  return platform::CompareNoCase(item.strMsgSpan.c_str(), strMsgSpan.c_str()) == 0 &&
         platform::CompareNoCase(item.strMsgName.c_str(), strMsgName.c_str()) == 0;
}

}  // namespace

// ---- By ID.

size_t CMessageList::FindInRun(size_t r, int32_t dwMsgID) const {
  // IDs mostly follow one another closely, so where an ID lies between the first and the last ID of a
  // stretch tells where to look: a few such guesses usually land on it at the first step. Should they
  // not, a binary search of what they left finds it.
  const int64_t nSign = m_runs[r].nDirection < 0 ? -1 : 1;
  const int64_t nTarget = nSign * dwMsgID;
  auto key = [this, nSign](size_t i) { return nSign * m_ids[i]; };
  size_t lo = m_runs[r].nBegin;
  size_t hi = RunEnd(r);  // the ID is in [lo, hi) if anywhere
  for (int nGuess = 0; nGuess < 3 && lo < hi; ++nGuess) {
    const int64_t nFirst = key(lo);
    const int64_t nLast = key(hi - 1);
    if (nTarget < nFirst || nTarget > nLast) return npos;
    const double dShare =
        nLast == nFirst ? 0.0 : static_cast<double>(nTarget - nFirst) / static_cast<double>(nLast - nFirst);
    size_t i = lo + static_cast<size_t>(dShare * static_cast<double>(hi - 1 - lo));
    if (i >= hi) i = hi - 1;
    const int64_t nKey = key(i);
    if (nKey == nTarget) return i;
    if (nKey < nTarget) {
      lo = i + 1;
    } else {
      hi = i;
    }
  }
  // Halving, written so that the compiler can choose between the halves without a branch: the halves
  // taken are as good as random, and a branch would be guessed wrong half the time.
  if (lo == hi) return npos;
  size_t base = lo;
  for (size_t n = hi - lo; n > 1; n -= n / 2) {
    const size_t half = n / 2;
    base = key(base + half) < nTarget ? base + half : base;
  }
  const size_t i = key(base) < nTarget ? base + 1 : base;
  return i < hi && key(i) == nTarget ? i : npos;
}

size_t CMessageList::FindById(int32_t dwMsgID) const {
  for (size_t r = 0; r < m_runs.size(); ++r) {
    const size_t i = FindInRun(r, dwMsgID);
    if (i != npos && m_live.Contains(i)) return i;
  }
  return npos;
}

bool CMessageList::BeginsRun(int32_t dwMsgID) const {
  if (m_runs.empty()) return true;
  const int32_t dwLast = m_ids.back();
  switch (m_runs.back().nDirection) {
    case 0:
      return dwMsgID == dwLast;
    case 1:
      return dwMsgID <= dwLast;
    default:
      return dwMsgID >= dwLast;
  }
}

// ---- By span and name.

size_t CMessageList::HomeSlot(uint32_t nKey) const {
  return static_cast<size_t>((static_cast<uint64_t>(nKey) * m_nameSlots.size()) >> 32);
}

std::vector<CMessageList::NameSlot> CMessageList::Rehashed(size_t nSlots) const {
  std::vector<NameSlot> slots(nSlots, NameSlot{0, 0});
  for (const NameSlot& slot : m_nameSlots) {
    if (slot.nKey == 0) continue;
    size_t i = static_cast<size_t>((static_cast<uint64_t>(slot.nKey) * nSlots) >> 32);
    while (slots[i].nKey != 0) i = i + 1 == nSlots ? 0 : i + 1;
    slots[i] = slot;
  }
  return slots;
}

void CMessageList::InsertName(uint32_t nKey, int32_t dwMsgID) noexcept {
  size_t i = HomeSlot(nKey);
  while (m_nameSlots[i].nKey != 0) i = NextSlot(i);
  m_nameSlots[i] = NameSlot{nKey, dwMsgID};
  ++m_nNames;
}

void CMessageList::EraseName(uint32_t nKey, int32_t dwMsgID) noexcept {
  size_t i = HomeSlot(nKey);
  while (m_nameSlots[i].nKey != nKey || m_nameSlots[i].dwMsgID != dwMsgID) {
    if (m_nameSlots[i].nKey == 0) return;  // not there: nothing to do
    i = NextSlot(i);
  }
  // Close the gap: a later entry of the same cluster moves up into it unless its home slot lies after
  // the gap, where a search for it would then stop too early.
  for (size_t j = NextSlot(i); m_nameSlots[j].nKey != 0; j = NextSlot(j)) {
    const size_t home = HomeSlot(m_nameSlots[j].nKey);
    const bool bStaysReachable = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (bStaysReachable) continue;
    m_nameSlots[i] = m_nameSlots[j];
    i = j;
  }
  m_nameSlots[i] = NameSlot{0, 0};
  --m_nNames;
  // Too large now: a smaller table, if there is memory for one.
  if (m_nameSlots.size() > kMinNameSlots && m_nNames * 20 < m_nameSlots.size() * 9) {
    try {
      m_nameSlots = Rehashed(std::max(kMinNameSlots, 2 * m_nNames));
    } catch (...) {
    }
  }
}

void CMessageList::DropNameIndex() noexcept {
  std::vector<NameSlot>().swap(m_nameSlots);
  m_nNames = 0;
}

std::vector<size_t> CMessageList::FindByName(const std::u16string& strMsgSpan,
                                             const std::u16string& strMsgName) {
  std::vector<size_t> matches;
  if (!NameIndexUsable()) {
    for (size_t i = First(); i != npos; i = Next(i)) {
      if (IsSameMessage(m_items[i], strMsgSpan, strMsgName)) matches.push_back(i);
    }
    return matches;
  }
  if (!NameIndexBuilt()) {
    std::vector<NameSlot> slots(std::max(kMinNameSlots, 2 * m_nLive), NameSlot{0, 0});
    m_nameSlots.swap(slots);
    for (size_t i = First(); i != npos; i = Next(i)) {
      m_items[i].nNameKey = NameKey(m_items[i].strMsgSpan, m_items[i].strMsgName);
      InsertName(m_items[i].nNameKey, m_ids[i]);
    }
  }
  const uint32_t nKey = NameKey(strMsgSpan, strMsgName);
  for (size_t i = HomeSlot(nKey); m_nameSlots[i].nKey != 0; i = NextSlot(i)) {
    if (m_nameSlots[i].nKey != nKey) continue;
    const size_t pos = FindById(m_nameSlots[i].dwMsgID);
    if (pos != npos && IsSameMessage(m_items[pos], strMsgSpan, strMsgName)) matches.push_back(pos);
  }
  std::sort(matches.begin(), matches.end());
  return matches;
}

// ---- Changes.

void CMessageList::Append(_Message_Item item) {
  // Everything that can run out of memory comes first; from the push on, nothing fails.
  if (m_items.size() == m_live.size()) {
    // Full: the empty slots are squeezed out where they are if they are worth a pass over the list, else
    // the messages move to more room (leaving them behind on the way).
    const size_t nEmpty = m_items.size() - m_nLive;
    if (nEmpty > 0 && nEmpty >= m_live.size() / 20) {
      Compact();
    } else {
      Regroup(m_nLive + m_nLive / 10 + 4);
    }
  }
  const bool bNewRun = BeginsRun(item.dwMsgID);
  if (bNewRun && m_runs.size() == m_runs.capacity()) m_runs.reserve(2 * m_runs.size() + 1);
  // The index stays while the list stays one run.
  const bool bKeepsIndex = NameIndexBuilt() && (!bNewRun || m_runs.empty());
  uint32_t nKey = 0;
  if (bKeepsIndex) {
    nKey = NameKey(item.strMsgSpan, item.strMsgName);
    if ((m_nNames + 1) * 5 > m_nameSlots.size() * 4) m_nameSlots = Rehashed(2 * (m_nNames + 1));
  }

  const int32_t dwMsgID = item.dwMsgID;
  if (bNewRun) {
    m_runs.push_back(Run{m_items.size(), 0});
  } else if (m_runs.back().nDirection == 0) {
    m_runs.back().nDirection = dwMsgID > m_ids.back() ? 1 : -1;
  }
  m_items.push_back(Slot{std::move(item), nKey});
  m_ids.push_back(dwMsgID);
  m_live.Insert(m_items.size() - 1);
  ++m_nLive;
  if (bKeepsIndex) {
    InsertName(nKey, dwMsgID);
  } else if (NameIndexBuilt()) {
    DropNameIndex();  // a second run began: an ID may come twice from now on
  }
}

void CMessageList::Vacate(size_t i) noexcept {
  if (NameIndexBuilt()) EraseName(m_items[i].nNameKey, m_ids[i]);
  static_cast<_Message_Item&>(m_items[i]) = _Message_Item();
  m_live.Erase(i);
  --m_nLive;
}

void CMessageList::Tidy() noexcept {
  if (m_nLive == 0) {
    Clear();
    return;
  }
  while (!m_live.Contains(m_items.size() - 1)) {
    m_items.pop_back();
    m_ids.pop_back();
  }
  while (m_runs.back().nBegin >= m_items.size()) m_runs.pop_back();
  // Too much room now: the messages move to less, keeping a twentieth spare (a failure keeps the room).
  // Not before a ninth stands empty, so that a removal right after the slots grew by a tenth does not
  // give the room back at once.
  if (m_live.size() > m_nLive + m_nLive / 9 + 4) {
    try {
      Regroup(m_nLive + m_nLive / 20 + 4);
    } catch (...) {
    }
  }
}

void CMessageList::RemoveAt(size_t i) noexcept {
  Vacate(i);
  Tidy();
}

void CMessageList::Remove(const std::vector<size_t>& slots) noexcept {
  for (size_t i : slots) Vacate(i);
  if (!slots.empty()) Tidy();
}

template <typename Put>
size_t CMessageList::Pack(Put put) noexcept {
  size_t n = 0;
  size_t nRuns = 0;
  for (size_t r = 0; r < m_runs.size(); ++r) {
    const size_t nBegin = n;
    const size_t nEnd = RunEnd(r);
    // Slot by slot: the list gives room back before its empty slots outnumber its messages by much.
    for (size_t i = m_runs[r].nBegin; i < nEnd; ++i) {
      if (m_live.Contains(i)) put(i, n++);
    }
    // A run left with no message goes; the others keep their direction, whatever is left of them.
    if (n != nBegin) m_runs[nRuns++] = Run{nBegin, m_runs[r].nDirection};
  }
  m_runs.erase(m_runs.begin() + static_cast<std::ptrdiff_t>(nRuns), m_runs.end());
  return n;
}

void CMessageList::Compact() noexcept {
  const size_t n = Pack([this](size_t i, size_t nTo) {
    if (i == nTo) return;
    m_items[nTo] = std::move(m_items[i]);
    m_ids[nTo] = m_ids[i];
  });
  m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(n), m_items.end());
  m_ids.erase(m_ids.begin() + static_cast<std::ptrdiff_t>(n), m_ids.end());
  m_live.Assign(n);
}

void CMessageList::Regroup(size_t nSlots) {
  CSlotSet live(nSlots);
  std::vector<int32_t> ids;
  ids.reserve(nSlots);
  if (m_nLive == m_items.size() && nSlots >= m_items.capacity()) {
    // No empty slot to leave behind, and more room: the vector moves the messages itself, each in one
    // step with the freeing of its old place. The last step that can fail.
    m_items.reserve(nSlots);
    ids.assign(m_ids.begin(), m_ids.end());
  } else {
    std::vector<Slot> items;
    items.reserve(nSlots);
    // From here on nothing fails.
    Pack([&](size_t i, size_t) {
      items.push_back(std::move(m_items[i]));
      ids.push_back(m_ids[i]);
    });
    m_items.swap(items);
  }
  live.Assign(m_nLive);
  m_ids.swap(ids);
  m_live = std::move(live);
}

void CMessageList::Reserve(size_t n) {
  if (n > m_nLive && n - m_nLive > m_live.size() - m_items.size()) Regroup(n);
}

void CMessageList::Clear() noexcept {
  std::vector<Slot>().swap(m_items);
  std::vector<int32_t>().swap(m_ids);
  m_live = CSlotSet();
  m_nLive = 0;
  std::vector<Run>().swap(m_runs);
  DropNameIndex();
}

}  // namespace tidings
