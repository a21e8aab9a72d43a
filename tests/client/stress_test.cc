// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Many threads at once: adding, updating, deleting, marking, reading, walking, subscribing and
// unsubscribing, with callbacks that call back into the library. Bounded by iteration counts; a deadlock
// shows as the test's timeout.
//
// What can be checked while everything runs at once: a notification names only IDs that some add has
// already handed out; each ID is announced new and deleted at most once; a deleted message is not found
// again; every copied record is one message's consistent state. After the threads are done: the new IDs
// are 0, 1, 2, ... without a gap, every changed or deleted ID was announced new, and exactly the IDs not
// deleted are still found. One permanent subscriber, subscribed first and never removed, sees every
// notification: it stands at index 0, where every pass starts.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "client_fixture.h"

namespace tidings {
namespace test {
namespace {

TidingsApi g_api;

// ---- Faults seen on any thread; reported by the main thread.
std::atomic<int> g_nFaults{0};
std::mutex g_faultLock;
std::string g_strFirstFault;

void Fault(const std::string& what) {
  if (g_nFaults++ == 0) {
    std::lock_guard<std::mutex> lock(g_faultLock);
    g_strFirstFault = what;
  }
}

// ---- Every export call the test makes, by export, to compare with the trace.
enum Export { kAdd, kDelete, kDeleteId, kPopup, kGet, kGetNext, kSubscribe, kUnsubscribe, kExportCount };
const char* const kExportNames[kExportCount] = {"AddMessage",      "DeleteMessage", "DeleteMessageFromID",
                                                "MessageHasPopup", "GetMessage",    "GetNextMessage",
                                                "Subscribe",       "UNSubscribe"};
std::atomic<int> g_nCalls[kExportCount];

void Count(Export e) { g_nCalls[e]++; }

// Adds started so far: every message ID handed out is below it, since only adds hand out IDs.
std::atomic<int32_t> g_nAddsStarted{0};
// Subscriptions whose call has returned; the n-th holds handle n. Handle 1 is the recorder's.
std::atomic<uint32_t> g_nSubscriptions{0};

// ---- What the recorder saw.
std::mutex g_recordLock;
std::set<int32_t> g_newIds;       // announced by the add that made them
std::set<int32_t> g_deletedIds;   // announced deleted
std::vector<int32_t> g_otherIds;  // changes, and the announcement of a subscription with bSubscribeOld
thread_local bool t_bAnnouncing = false;  // this thread is inside a Subscribe with bSubscribeOld

// The adds write text, show type and timeout together: `nLength` times the letter `c`, with nLength as
// the show type and c as the timeout. A record that mixes two states of a message does not fit.
bool IsConsistent(const _Message_GetInfo& rec) {
  const int32_t nLength = rec.ShowType;
  if (nLength < 1 || nLength > 40 || rec.dwPopShowTimeout < 'a' || rec.dwPopShowTimeout > 'z') return false;
  for (int32_t i = 0; i < nLength; ++i) {
    if (static_cast<int32_t>(rec.strMsgSInfo[i]) != rec.dwPopShowTimeout) return false;
  }
  return rec.strMsgSInfo[nLength] == 0 && (rec.bHasPopup == 0 || rec.bHasPopup == 1);
}

void CheckKnownId(int32_t dwMsgID, const char* where) {
  if (dwMsgID < 0 || dwMsgID >= g_nAddsStarted.load()) {
    Fault(std::string(where) + ": ID " + std::to_string(dwMsgID) + " was never handed out");
  }
}

// Reads message dwMsgID and checks what came back; returns whether it was found.
bool ReadAndCheck(int32_t dwMsgID, const char* where) {
  _Message_GetInfo rec;
  std::memset(&rec, 0xCD, sizeof rec);
  Count(kGet);
  if (g_api.GetMessage(dwMsgID, &rec) == 0) return false;
  if (rec.dwMsgID != dwMsgID)
    Fault(std::string(where) + ": asked for " + std::to_string(dwMsgID) + ", got " +
          std::to_string(rec.dwMsgID));
  if (!IsConsistent(rec)) Fault(std::string(where) + ": inconsistent record for " + std::to_string(dwMsgID));
  return true;
}

uint32_t Pick(std::mt19937& rng, uint32_t n) { return static_cast<uint32_t>(rng() % n); }

// A handle that some subscription other than the recorder's may hold.
uint32_t PickHandle(std::mt19937& rng) {
  return 2 + Pick(rng, std::max<uint32_t>(1, g_nSubscriptions.load()));
}

thread_local std::mt19937 t_rng;

// ---- Callbacks.

void TIDINGS_CALLBACK Recorder(int32_t dwMsgID, int32_t nAddType) {
  CheckKnownId(dwMsgID, "notification");
  switch (nAddType) {
    case ADDTYPE_NEW: {
      std::lock_guard<std::mutex> lock(g_recordLock);
      if (t_bAnnouncing) {
        g_otherIds.push_back(dwMsgID);
      } else if (!g_newIds.insert(dwMsgID).second) {
        Fault("ID " + std::to_string(dwMsgID) + " announced new twice");
      }
      break;
    }
    case ADDTYPE_DELETE: {
      {
        std::lock_guard<std::mutex> lock(g_recordLock);
        if (!g_deletedIds.insert(dwMsgID).second) Fault("ID " + std::to_string(dwMsgID) + " deleted twice");
      }
      if (ReadAndCheck(dwMsgID, "recorder")) Fault("deleted ID " + std::to_string(dwMsgID) + " still found");
      break;
    }
    case ADDTYPE_CHANGE: {
      std::lock_guard<std::mutex> lock(g_recordLock);
      g_otherIds.push_back(dwMsgID);
      break;
    }
    default:
      Fault("unknown kind of change " + std::to_string(nAddType));
  }
}

void TIDINGS_CALLBACK Reader(int32_t dwMsgID, int32_t nAddType) {
  if (ReadAndCheck(dwMsgID, "reader") && nAddType == ADDTYPE_DELETE) {
    Fault("reader found deleted ID " + std::to_string(dwMsgID));
  }
}

// Marks every third new message it hears of; the change it causes is not marked again.
void TIDINGS_CALLBACK Marker(int32_t dwMsgID, int32_t nAddType) {
  thread_local unsigned nSeen = 0;
  if (nAddType == ADDTYPE_NEW && nSeen++ % 3 == 0) {
    Count(kPopup);
    g_api.MessageHasPopup(dwMsgID);
  }
}

// Now and then removes some other subscription while a pass is under way.
void TIDINGS_CALLBACK Churner(int32_t /*dwMsgID*/, int32_t /*nAddType*/) {
  if (Pick(t_rng, 5) == 0) {
    Count(kUnsubscribe);
    g_api.UNSubscribe(PickHandle(t_rng));
  }
}

const MSGEVENTPROC kCallbacks[] = {&Reader, &Marker, &Churner, nullptr};

// ---- One worker thread.

void Work(unsigned nSeed, int nIterations) {
  t_rng.seed(nSeed);
  std::mt19937& rng = t_rng;
  const std::u16string spans[] = {u"Mail", u"Chat", u"News"};
  const std::u16string names[] = {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h"};
  for (int n = 0; n < nIterations; ++n) {
    const std::u16string& span = spans[Pick(rng, 3)];
    const std::u16string& name = names[Pick(rng, 8)];
    const uint32_t nChoice = Pick(rng, 100);
    const int32_t dwSomeId =
        static_cast<int32_t>(Pick(rng, static_cast<uint32_t>(g_nAddsStarted.load()) + 2));
    if (nChoice < 30) {
      const int32_t nLength = static_cast<int32_t>(1 + Pick(rng, 40));
      const char16_t c = static_cast<char16_t>(u'a' + Pick(rng, 26));
      const _Message_AddInfo info =
          MakeAddInfo(name, std::u16string(static_cast<size_t>(nLength), c), u"", nLength,
                      static_cast<int32_t>(c), static_cast<int32_t>(Pick(rng, 2)));
      g_nAddsStarted++;
      Count(kAdd);
      g_api.AddMessage(T(span).c_str(), &info);
    } else if (nChoice < 40) {
      Count(kDelete);
      g_api.DeleteMessage(T(span).c_str(), T(name).c_str());
    } else if (nChoice < 48) {
      Count(kDeleteId);
      g_api.DeleteMessageFromID(dwSomeId);
    } else if (nChoice < 56) {
      Count(kPopup);
      g_api.MessageHasPopup(dwSomeId);
    } else if (nChoice < 66) {
      ReadAndCheck(dwSomeId, "worker");
    } else if (nChoice < 80) {
      // A few steps from somewhere; only the dynamic list exists, so every step stays in it.
      int32_t dwId = dwSomeId;
      for (int step = 0; step < 6; ++step) {
        _Message_GetInfo rec;
        std::memset(&rec, 0xCD, sizeof rec);
        int32_t dwNew = 12345;
        Count(kGetNext);
        if (g_api.GetNextMessage(dwId, &dwNew, &rec) == 0) {
          if (dwNew != -1) Fault("failed step reports " + std::to_string(dwNew));
          break;
        }
        CheckKnownId(dwNew, "step");
        if (rec.dwMsgID != dwNew || !IsConsistent(rec))
          Fault("step to " + std::to_string(dwNew) + ": bad record");
        dwId = dwNew;
      }
    } else if (nChoice < 90) {
      const int32_t bOld = static_cast<int32_t>(Pick(rng, 2));
      t_bAnnouncing = bOld != 0;
      Count(kSubscribe);
      g_api.Subscribe(T(span).c_str(), kCallbacks[Pick(rng, 4)], bOld);
      t_bAnnouncing = false;
      g_nSubscriptions++;
    } else {
      Count(kUnsubscribe);
      g_api.UNSubscribe(PickHandle(rng));
    }
  }
}

class StressTest : public ClientTest {
 protected:
  void Run(int nThreads, int nIterations) {
    g_api = api;
    Count(kSubscribe);
    ASSERT_EQ(api.Subscribe(T(u"all").c_str(), &Recorder, 0), 1);  // handle 1
    g_nSubscriptions = 1;

    std::vector<std::thread> threads;
    for (int i = 0; i < nThreads; ++i)
      threads.emplace_back(Work, 1000u + static_cast<unsigned>(i), nIterations);
    for (std::thread& t : threads) t.join();

    EXPECT_EQ(g_nFaults.load(), 0) << "first fault: " << g_strFirstFault;

    // New IDs without a gap from 0, no more than there were adds; all else names one of them.
    std::lock_guard<std::mutex> lock(g_recordLock);
    ASSERT_FALSE(g_newIds.empty());
    EXPECT_EQ(*g_newIds.begin(), 0);
    EXPECT_EQ(*g_newIds.rbegin(), static_cast<int32_t>(g_newIds.size()) - 1);
    EXPECT_LE(static_cast<int32_t>(g_newIds.size()), g_nAddsStarted.load());
    for (int32_t id : g_deletedIds) EXPECT_EQ(g_newIds.count(id), 1u) << "deleted " << id;
    for (int32_t id : g_otherIds) EXPECT_EQ(g_newIds.count(id), 1u) << "changed or announced " << id;
    // Exactly the messages that were not deleted are still there.
    for (int32_t id : g_newIds) {
      EXPECT_EQ(ReadAndCheck(id, "after"), g_deletedIds.count(id) == 0) << id;
    }
    // The run did all of its kinds of work.
    EXPECT_FALSE(g_deletedIds.empty());
    EXPECT_FALSE(g_otherIds.empty());
  }
};

TEST_F(StressTest, ConcurrentCallsNotifyOnlyRealIdsAndLeaveAConsistentStore) {
  LoadLibrary(false);
  Run(6, 2500);
}

// With the trace on: every line is whole, each thread's Enter and Exit lines nest, and no line is lost.
TEST_F(StressTest, ConcurrentTraceLinesStayWholeAndNestPerThread) {
  LoadLibrary(true);
  Run(4, 100);

  std::map<uint32_t, std::vector<std::string>> stacks;
  std::map<std::string, int> enters;
  const std::vector<TraceLine> lines = TraceLines();  // a line that is not whole fails here
  for (const TraceLine& line : lines) {
    std::vector<std::string>& stack = stacks[line.nThreadId];
    const std::string& text = line.strText;
    auto nameAfter = [&text](size_t pos) { return text.substr(pos, text.find(',', pos) - pos); };
    if (text.compare(0, 10, "Enter Fun ") == 0) {
      stack.push_back(nameAfter(10));
      enters[stack.back()]++;
    } else if (text.compare(0, 10, "Exit  Fun ") == 0 || text.compare(0, 9, "Exit Fun ") == 0) {
      const std::string name = nameAfter(text[5] == ' ' ? 10 : 9);
      ASSERT_FALSE(stack.empty()) << "exit without enter: " << text;
      ASSERT_EQ(stack.back(), name) << "thread " << line.nThreadId;
      stack.pop_back();
    } else {
      ASSERT_EQ(text.compare(0, 2, "--"), 0) << text;
      ASSERT_FALSE(stack.empty()) << "inner line outside a call: " << text;
    }
  }
  for (const auto& entry : stacks) EXPECT_TRUE(entry.second.empty()) << "thread " << entry.first;
  for (int e = 0; e < kExportCount; ++e) {
    EXPECT_EQ(enters[kExportNames[e]], g_nCalls[e].load()) << kExportNames[e];
  }
}

}  // namespace
}  // namespace test
}  // namespace tidings
