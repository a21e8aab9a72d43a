// The subscriber list finds positions and handles without walking, and must still answer exactly as a
// plain array from which each removed record is erased.

#include "notify/subscriber_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace tidings {
namespace {

MSGEVENTPROC CallbackNo(uint32_t n) { return reinterpret_cast<MSGEVENTPROC>(static_cast<uintptr_t>(n) * 16); }

// Random appends and removals, each followed by a look at every position, compared with the array. The
// second run repeats handles, as after the handle counter wraps round.
TEST(SubscriberListModel, PositionsAndRemovalsAreThoseOfAnArrayThatErases) {
  for (bool bRepeatHandles : {false, true}) {
    SCOPED_TRACE(bRepeatHandles ? "handles repeat" : "handles increase");
    std::mt19937 engine(20261209);
    auto rng = [&engine] { return static_cast<uint32_t>(engine()); };
    CSubscriberList list;
    std::vector<_SubscribeEventInfo> model;
    uint32_t hNext = 1;
    for (int round = 0; round < 4000; ++round) {
      // The list grows for the first half, then shrinks.
      if (model.empty() || rng() % 100 < (round < 2000 ? 70u : 30u)) {
        _SubscribeEventInfo info;
        info.hEvent = bRepeatHandles ? 1 + rng() % 64 : hNext++;
        info.pEventCallback = CallbackNo(static_cast<uint32_t>(round));
        model.push_back(info);
        list.Append(info);
      } else {
        // Mostly a handle that is there, now and then one that is gone or never was.
        const uint32_t hEvent = rng() % 4 != 0 ? model[rng() % model.size()].hEvent : rng() % (hNext + 1);
        size_t expected = model.size();
        for (size_t i = 0; i < model.size() && expected == model.size(); ++i) {
          if (model[i].hEvent == hEvent) expected = i;
        }
        size_t index = 12345;
        ASSERT_EQ(list.Remove(hEvent, &index), expected != model.size()) << "round " << round;
        if (expected != model.size()) {
          EXPECT_EQ(index, expected);
          model.erase(model.begin() + static_cast<std::ptrdiff_t>(expected));
        }
      }
      ASSERT_EQ(list.size(), model.size());
      for (size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(list.CallbackAt(i), model[i].pEventCallback) << "round " << round << ", position " << i;
      }
    }
  }
}

}  // namespace
}  // namespace tidings
