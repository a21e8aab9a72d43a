// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The message list finds by ID and by span and name without walking, and must still find exactly what a
// walk from the first item finds: the first item with an ID, every item with a span and name in list
// order, under whatever locale is current when it searches. Removals leave empty slots behind that the
// walk, the searches and later appends must pass over.

#include "store/message_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tidings {
namespace {

_Message_Item Item(int32_t dwMsgID, const std::u16string& strSpan, const std::u16string& strName) {
  _Message_Item item;
  item.dwMsgID = dwMsgID;
  item.strMsgSpan = strSpan;
  item.strMsgName = strName;
  return item;
}

// The slots of the messages in list order, as a walk with First and Next visits them.
std::vector<size_t> Slots(const CMessageList& list) {
  std::vector<size_t> slots;
  for (size_t i = list.First(); i != CMessageList::npos; i = list.Next(i)) slots.push_back(i);
  return slots;
}

std::vector<int32_t> Ids(const CMessageList& list) {
  std::vector<int32_t> ids;
  for (size_t i : Slots(list)) ids.push_back(list[i].dwMsgID);
  return ids;
}

// Positions along the list, counted from 0, of messages given by their slots; npos stays npos.
std::vector<size_t> PositionsOf(const CMessageList& list, const std::vector<size_t>& slots) {
  const std::vector<size_t> all = Slots(list);
  std::vector<size_t> positions;
  for (size_t i : slots) {
    const auto it = std::find(all.begin(), all.end(), i);
    positions.push_back(it == all.end() ? CMessageList::npos : static_cast<size_t>(it - all.begin()));
  }
  return positions;
}
size_t PositionOf(const CMessageList& list, size_t i) { return PositionsOf(list, {i})[0]; }
void RemoveAtPosition(CMessageList* list, size_t pos) { list->RemoveAt(Slots(*list)[pos]); }

// What a walk from the first item finds.
size_t WalkForId(const CMessageList& list, int32_t dwMsgID) {
  for (size_t i : Slots(list)) {
    if (list[i].dwMsgID == dwMsgID) return i;
  }
  return CMessageList::npos;
}

std::vector<size_t> WalkForName(const CMessageList& list, const std::u16string& strSpan,
                                const std::u16string& strName) {
  std::vector<size_t> matches;
  for (size_t i : Slots(list)) {
    if (platform::CompareNoCase(list[i].strMsgSpan.c_str(), strSpan.c_str()) == 0 &&
        platform::CompareNoCase(list[i].strMsgName.c_str(), strName.c_str()) == 0) {
      matches.push_back(i);
    }
  }
  return matches;
}

// Sets the process locale for the life of the object, and puts the one before it back afterwards.
class ScopedLocale {
 public:
  // The first of the names that the C runtime knows.
  explicit ScopedLocale(std::initializer_list<const char*> names)
      : m_strSaved(std::setlocale(LC_ALL, nullptr)) {
    for (const char* name : names) {
      if (std::setlocale(LC_ALL, name) == nullptr) continue;
      m_bSet = true;
      break;
    }
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, m_strSaved.c_str()); }
  bool IsSet() const { return m_bSet; }

 private:
  std::string m_strSaved;
  bool m_bSet = false;
};

using Positions = std::vector<size_t>;

TEST(MessageListById, TheFirstLoadWinsWhenASecondLoadRepeatsItsIds) {
  CMessageList list;
  for (int32_t id : {-2, -3, -4, -2, -3}) list.Append(Item(id, u"S", u"N"));
  EXPECT_EQ(list.FindById(-2), 0u);
  EXPECT_EQ(list.FindById(-3), 1u);
  EXPECT_EQ(list.FindById(-4), 2u);
  EXPECT_EQ(list.FindById(-5), CMessageList::npos);
  EXPECT_EQ(list.FindById(-1), CMessageList::npos);

  // Once the first load's -2 is gone, the second load's is the first.
  RemoveAtPosition(&list, 0);
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{-3, -4, -2, -3}));
  EXPECT_EQ(PositionOf(list, list.FindById(-2)), 2u);
  EXPECT_EQ(PositionOf(list, list.FindById(-3)), 0u);
  // And with the first load's run gone altogether, the second one's items are found where they are now.
  RemoveAtPosition(&list, 0);
  RemoveAtPosition(&list, 0);
  EXPECT_EQ(PositionOf(list, list.FindById(-2)), 0u);
  EXPECT_EQ(PositionOf(list, list.FindById(-3)), 1u);
  EXPECT_EQ(list.FindById(-4), CMessageList::npos);
}

TEST(MessageListById, AnIdRepeatedRightAwayLeavesBothMessagesFindable) {
  for (int32_t sign : {1, -1}) {  // in an increasing and in a decreasing stretch of IDs
    CMessageList list;
    list.Append(Item(sign * 4, u"News", u"Today"));
    list.Append(Item(sign * 5, u"Mail", u"Inbox"));
    list.Append(Item(sign * 5, u"Chat", u"Room"));
    list.Append(Item(sign * 6, u"Chat", u"Room"));
    EXPECT_EQ(list.FindById(sign * 5), 1u);
    EXPECT_EQ(list.FindById(sign * 6), 3u);
    EXPECT_EQ(list.FindByName(u"chat", u"room"), (Positions{2, 3}));
    EXPECT_EQ(list.FindByName(u"mail", u"inbox"), (Positions{1}));
    list.RemoveAt(1);
    EXPECT_EQ(PositionOf(list, list.FindById(sign * 5)), 1u);
    EXPECT_EQ(PositionsOf(list, list.FindByName(u"chat", u"room")), (Positions{1, 2}));
  }
}

TEST(MessageListById, FindsEveryIdAfterRemovalsAtTheFrontTheMiddleAndTheBack) {
  CMessageList list;
  for (int32_t id = 0; id < 200; id += 2) list.Append(Item(id, u"S", u"N"));
  for (size_t pos : {0u, 49u, 97u, 10u}) RemoveAtPosition(&list, pos);
  ASSERT_EQ(list.size(), 96u);
  for (int32_t id = -1; id < 202; ++id) EXPECT_EQ(list.FindById(id), WalkForId(list, id)) << "ID " << id;
  // Removing down to nothing and adding again starts afresh.
  while (!list.empty()) RemoveAtPosition(&list, list.size() / 2);
  EXPECT_EQ(list.FindById(0), CMessageList::npos);
  list.Append(Item(500, u"S", u"N"));
  EXPECT_EQ(list.FindById(500), 0u);
}

TEST(MessageListByName, FindsEveryMatchInListOrderAndFollowsRemovalsAndAppends) {
  CMessageList list;
  list.Append(Item(0, u"Mail", u"Inbox"));
  list.Append(Item(1, u"MAIL", u"inbox"));
  list.Append(Item(2, u"Mail", u"Outbox"));
  list.Append(Item(3, u"mail", u"INBOX"));
  list.Append(Item(4, u"Mail", u"Inbox2"));
  list.Append(Item(5, u"Mai", u"lInbox"));
  EXPECT_EQ(list.FindByName(u"mail", u"inbox"), (Positions{0, 1, 3}));
  EXPECT_EQ(list.FindByName(u"Mail", u"Outbox"), (Positions{2}));
  EXPECT_EQ(list.FindByName(u"Mail", u""), Positions{});
  EXPECT_EQ(list.FindByName(u"Calendar", u"Inbox"), Positions{});

  RemoveAtPosition(&list, 1);
  EXPECT_EQ(PositionsOf(list, list.FindByName(u"mail", u"inbox")), (Positions{0, 2}));
  list.Append(Item(6, u"MaIl", u"InBoX"));
  EXPECT_EQ(PositionsOf(list, list.FindByName(u"mail", u"inbox")), (Positions{0, 2, 5}));
  RemoveAtPosition(&list, 0);
  RemoveAtPosition(&list, 1);
  EXPECT_EQ(PositionsOf(list, list.FindByName(u"mail", u"inbox")), (Positions{3}));
  EXPECT_EQ(PositionsOf(list, list.FindByName(u"Mail", u"Outbox")), (Positions{0}));
  list.Clear();
  EXPECT_EQ(list.FindByName(u"mail", u"inbox"), Positions{});
  list.Append(Item(7, u"Mail", u"Inbox"));
  EXPECT_EQ(list.FindByName(u"mail", u"inbox"), (Positions{0}));
}

TEST(MessageListByName, TextsThatShareAKeyAreToldApartByTheComparison) {
  // Letters outside ASCII share one key value each (é, ü, ß and ø below), so these texts share keys
  // with one another; only the comparison tells them apart.
  CMessageList list;
  list.Append(Item(0, u"Caf\u00e9", u"\u00fcber"));
  list.Append(Item(1, u"Caf\u00fc", u"\u00fcber"));
  list.Append(Item(2, u"Caf\u00e9", u"\u00dfber"));
  list.Append(Item(3, u"Caf\u00f8", u"\u00e9ber"));
  EXPECT_EQ(list.FindByName(u"Caf\u00e9", u"\u00fcber"), (Positions{0}));
  EXPECT_EQ(list.FindByName(u"Caf\u00fc", u"\u00fcber"), (Positions{1}));
  EXPECT_EQ(list.FindByName(u"Caf\u00e9", u"\u00dfber"), (Positions{2}));
  EXPECT_EQ(list.FindByName(u"Caf\u00e0", u"\u00fcber"), Positions{});
  // The boundary between span and name is part of what is compared.
  list.Append(Item(4, u"AB", u"C"));
  list.Append(Item(5, u"A", u"BC"));
  EXPECT_EQ(list.FindByName(u"ab", u"c"), (Positions{4}));
  EXPECT_EQ(list.FindByName(u"a", u"bc"), (Positions{5}));
}

// The same list searched under three locales: ASCII letters match their other case in each of them, even
// the Turkish one, whose towlower takes 'I' to the dotless i; how the letters outside ASCII match follows
// the locale current at the search, also after the index was built under another one.
TEST(MessageListByName, AsciiLettersMatchInEveryLocaleTheOthersAsTheLocaleOfEachSearchFoldsThem) {
  ScopedLocale turkish({"tr_TR.UTF-8"});
  if (!turkish.IsSet()) GTEST_SKIP() << "no Turkish locale (tr_TR.UTF-8) on this machine";
  CMessageList list;
  list.Append(Item(0, u"Town", u"\u0130stanbul"));  // capital I with dot: lower case 'i'
  list.Append(Item(1, u"Town", u"ISTANBUL"));       // ASCII: lower case i in every locale
  list.Append(Item(2, u"Town", u"istanbul"));
  list.Append(Item(3, u"Town", u"\u0131stanbul"));  // dotless i
  list.Append(Item(4, u"Units", u"\u212Aelvin"));   // Kelvin sign: lower case 'k'
  list.Append(Item(5, u"Units", u"KELVIN"));

  EXPECT_EQ(list.FindByName(u"town", u"istanbul"), (Positions{0, 1, 2}));
  EXPECT_EQ(list.FindByName(u"TOWN", u"ISTANBUL"), (Positions{0, 1, 2}));
  EXPECT_EQ(list.FindByName(u"TOWN", u"\u0131STANBUL"), (Positions{3}));
  EXPECT_EQ(list.FindByName(u"units", u"kelvin"), (Positions{4, 5}));

  ScopedLocale utf8({"C.UTF-8"});
  if (!utf8.IsSet()) GTEST_SKIP() << "no C.UTF-8 locale on this machine";
  EXPECT_EQ(list.FindByName(u"town", u"istanbul"), (Positions{0, 1, 2}));
  EXPECT_EQ(list.FindByName(u"TOWN", u"\u0131stanbul"), (Positions{3}));
  EXPECT_EQ(list.FindByName(u"units", u"kelvin"), (Positions{4, 5}));

  ScopedLocale plain({"C"});  // folds ASCII only
  EXPECT_EQ(list.FindByName(u"town", u"istanbul"), (Positions{1, 2}));
  EXPECT_EQ(list.FindByName(u"units", u"kelvin"), (Positions{5}));
  EXPECT_EQ(list.FindByName(u"units", u"\u212Aelvin"), (Positions{4}));
}

// The set of slots in use, across the bounds of its words and of its levels (a level per factor of 64):
// the first n slots made members at once, then slots taken in and out, then a search from one slot.
TEST(SlotSet, FindsTheNextMemberAcrossWordsAndLevels) {
  constexpr size_t npos = CSlotSet::npos;
  struct Row {
    size_t nSlots, nAssigned;
    std::vector<size_t> inserted, erased;
    size_t nFrom, nFound;
  };
  const Row rows[] = {
      {0, 0, {}, {}, 0, npos},
      {64, 0, {63}, {}, 0, 63},
      {65, 0, {64}, {}, 1, 64},
      {65, 65, {}, {64}, 64, npos},
      {300000, 0, {299999}, {}, 0, 299999},
      {300000, 0, {5, 262144}, {}, 6, 262144},
      {300000, 0, {4095, 4096}, {4095}, 0, 4096},
      {300000, 4097, {}, {4096}, 4096, npos},
      {300000, 4097, {}, {4096}, 4095, 4095},
      {300000, 300000, {}, {0, 1, 2}, 0, 3},
      {300000, 262145, {}, {262144}, 262144, npos},
      {300000, 262145, {299999}, {262144}, 262144, 299999},
      {300000, 0, {7, 300}, {7, 300}, 0, npos},
      {300000, 0, {299999}, {}, 300000, npos},
  };
  for (const Row& row : rows) {
    CSlotSet set(row.nSlots);
    set.Assign(row.nAssigned);
    for (size_t s : row.inserted) set.Insert(s);
    for (size_t s : row.erased) set.Erase(s);
    EXPECT_EQ(set.FindFrom(row.nFrom), row.nFound) << row.nSlots << " slots, from " << row.nFrom;
  }
}

// Random appends (now and then with an ID that does not continue the order, as a second load does),
// removals and clears, each followed by a walk compared with a model of the list, and searches compared
// with a walk from the first item. Phases of growth and of shrinking let the list grow long and empty
// again, with removals as often at its front as anywhere else, so that it packs its empty slots at every
// size and the walk passes over long stretches of them.
TEST(MessageListModel, EverySearchFindsWhatAWalkFinds) {
  // A locale that folds beyond ASCII where there is one; the walk compares in the same locale.
  ScopedLocale folding({"C.UTF-8", "en_US.UTF-8", "English_United States.1252"});
  const std::u16string spans[] = {u"Mail", u"MAIL", u"mail", u"Ma\u0130l", u"Kelvin", u"\u212Aelvin", u""};
  const std::u16string names[] = {u"a", u"A", u"\u00e9", u"\u00c9", u"\u00fc", u"i", u"I", u"\u0131", u""};
  std::mt19937 rng(20261209);
  auto pick = [&rng](size_t n) { return static_cast<size_t>(rng() % n); };
  CMessageList list;
  std::vector<int32_t> model;  // the IDs in list order
  int32_t dwNextId = 0;
  for (int round = 0; round < 20000; ++round) {
    const size_t nAppends = (round / 2000) % 2 == 0 ? 650 : 350;
    const size_t action = pick(1000);
    if (action < nAppends || list.empty()) {
      // Mostly a larger ID, often with a gap, now and then a long way on; sometimes one already used,
      // which begins a new run.
      int32_t id = static_cast<int32_t>(pick(static_cast<size_t>(dwNextId) + 1));
      if (pick(50) != 0) {
        dwNextId += pick(20) == 0 ? 1000 : static_cast<int32_t>(1 + pick(3));
        id = dwNextId;
      }
      list.Append(Item(id, spans[pick(7)], names[pick(9)]));
      model.push_back(id);
    } else if (action < 960) {
      const size_t pos = pick(2) == 0 ? 0 : pick(list.size());
      RemoveAtPosition(&list, pos);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(pos));
    } else if (action < 999) {  // every message with a span and name at once
      const std::vector<size_t> slots = list.FindByName(spans[pick(7)], names[pick(9)]);
      const std::vector<size_t> positions = PositionsOf(list, slots);
      for (size_t k = positions.size(); k-- > 0;) {
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(positions[k]));
      }
      list.Remove(slots);
    } else {
      list.Clear();
      model.clear();
    }
    ASSERT_EQ(Ids(list), model) << "round " << round;
    ASSERT_EQ(list.size(), model.size()) << "round " << round;
    // Half the time an ID in the list, else any.
    int32_t id = static_cast<int32_t>(pick(static_cast<size_t>(dwNextId) + 2)) - 1;
    if (!list.empty() && pick(2) == 0) id = model[pick(model.size())];
    ASSERT_EQ(list.FindById(id), WalkForId(list, id)) << "round " << round << ", ID " << id;
    const std::u16string& span = spans[pick(7)];
    const std::u16string& name = names[pick(9)];
    ASSERT_EQ(list.FindByName(span, name), WalkForName(list, span, name)) << "round " << round;
  }
}

}  // namespace
}  // namespace tidings
