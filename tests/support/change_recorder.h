// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The change notifications that test callbacks receive, noted in the order they come, from any thread.

#ifndef TIDINGS_TESTS_SUPPORT_CHANGE_RECORDER_H_
#define TIDINGS_TESTS_SUPPORT_CHANGE_RECORDER_H_

#include <cstdint>
#include <ostream>
#include <vector>

#include "tidings.h"

namespace tidings {
namespace test {

struct Change {
  Change(int32_t id, int32_t type) : Change(0, id, type) {}
  Change(char c, int32_t id, int32_t type) : who(c), dwMsgID(id), nAddType(type) {}
  bool operator==(const Change& o) const {
    return who == o.who && dwMsgID == o.dwMsgID && nAddType == o.nAddType;
  }

  char who;  // the callback that received it: 'A' for OnA and so on, 0 for RecordChange
  int32_t dwMsgID;
  int32_t nAddType;
};
std::ostream& operator<<(std::ostream& os, const Change& c);

// Notes a change that the callback `who` received.
void NoteChange(char who, int32_t dwMsgID, int32_t nAddType);
// The changes noted since the last ClearChanges (each client test starts with none).
std::vector<Change> Changes();
void ClearChanges();

// Callbacks that only note what they receive.
void TIDINGS_CALLBACK RecordChange(int32_t dwMsgID, int32_t nAddType);
void TIDINGS_CALLBACK OnA(int32_t dwMsgID, int32_t nAddType);
void TIDINGS_CALLBACK OnB(int32_t dwMsgID, int32_t nAddType);
void TIDINGS_CALLBACK OnC(int32_t dwMsgID, int32_t nAddType);
void TIDINGS_CALLBACK OnD(int32_t dwMsgID, int32_t nAddType);

}  // namespace test
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_CHANGE_RECORDER_H_
