// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The subscriber list finds positions and handles without walking, and must still answer exactly as a
// plain array from which each removed record is erased.

#include "notify/subscriber_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace tidings {
namespace {

// Random appends (the list grows for the first half, then shrinks) and removals, each followed by a look
// at every position, compared with the array. The second run repeats handles, as after the handle
// counter wraps round.
TEST(SubscriberListModel, PositionsAndRemovalsAreThoseOfAnArrayThatErases) {
  for (uint32_t nHandles : {0u, 64u}) {
    std::mt19937 engine(20261209);
    auto rng = [&engine](uint32_t n) { return static_cast<uint32_t>(engine() % n); };
    CSubscriberList list;
    std::vector<_SubscribeEventInfo> model;
    for (uint32_t round = 0; round < 4000; ++round) {
      if (model.empty() || rng(100) < (round < 2000 ? 70u : 30u)) {
        _SubscribeEventInfo info;
        info.hEvent = nHandles != 0 ? 1 + rng(nHandles) : round + 1;
        info.pEventCallback = reinterpret_cast<MSGEVENTPROC>(static_cast<uintptr_t>(round + 1) * 16);
        model.push_back(info);
        list.Append(info);
        continue;
      }
      // Mostly a handle that is there, now and then one that is gone or never was.
      const uint32_t hEvent =
          rng(4) != 0 ? model[rng(static_cast<uint32_t>(model.size()))].hEvent : rng(round + 2);
      auto it = std::find_if(model.begin(), model.end(), [&](const auto& m) { return m.hEvent == hEvent; });
      size_t index = 12345;
      ASSERT_EQ(list.Remove(hEvent, &index), it != model.end()) << "round " << round;
      EXPECT_EQ(index, it != model.end() ? static_cast<size_t>(it - model.begin()) : 12345u);
      if (it != model.end()) model.erase(it);
      ASSERT_EQ(list.size(), model.size());
      for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(list.CallbackAt(i), model[i].pEventCallback) << i;
    }
  }
}

}  // namespace
}  // namespace tidings
