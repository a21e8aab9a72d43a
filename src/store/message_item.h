// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// One message as the store holds it.

#ifndef TIDINGS_STORE_MESSAGE_ITEM_H_
#define TIDINGS_STORE_MESSAGE_ITEM_H_

#include <cstdint>
#include <string>

namespace tidings {

// The largest message ID; once it has been given out, no new dynamic message can be added.
constexpr int64_t kMaxMsgID = INT32_MAX;

struct _Message_Item {
  std::u16string strMsgSpan;      // span name
  std::u16string strMsgName;      // message name; with the span, what AddMessage matches on
  std::u16string strMsgSInfo;     // information text
  std::u16string strMsgEchoPath;  // handler module for an echo
  int32_t ShowType = 0;           // kept and copied, never interpreted
  int32_t dwPopShowTimeout = 0;   // kept and copied, never interpreted
  int32_t bSaveAfterClose = 0;    // non-zero: written to the message file at shut-down
  int32_t bHasPopup = 0;          // set by MessageHasPopup, cleared by every add, update and load
  int32_t dwMsgID = -1;           // never changes while the message is in a list
};

}  // namespace tidings

#endif  // TIDINGS_STORE_MESSAGE_ITEM_H_
