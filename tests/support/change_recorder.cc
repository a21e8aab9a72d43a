// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "change_recorder.h"

#include <mutex>

namespace tidings {
namespace test {

namespace {

std::mutex g_lock;
std::vector<Change> g_changes;

}  // namespace

std::ostream& operator<<(std::ostream& os, const Change& c) {
  if (c.who != 0) os << c.who;
  return os << "(" << c.dwMsgID << "," << c.nAddType << ")";
}

void NoteChange(char who, int32_t dwMsgID, int32_t nAddType) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_changes.emplace_back(who, dwMsgID, nAddType);
}

std::vector<Change> Changes() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_changes;
}

void ClearChanges() {
  std::lock_guard<std::mutex> lock(g_lock);
  g_changes.clear();
}

void TIDINGS_CALLBACK RecordChange(int32_t dwMsgID, int32_t nAddType) { NoteChange(0, dwMsgID, nAddType); }
void TIDINGS_CALLBACK OnA(int32_t dwMsgID, int32_t nAddType) { NoteChange('A', dwMsgID, nAddType); }
void TIDINGS_CALLBACK OnB(int32_t dwMsgID, int32_t nAddType) { NoteChange('B', dwMsgID, nAddType); }
void TIDINGS_CALLBACK OnC(int32_t dwMsgID, int32_t nAddType) { NoteChange('C', dwMsgID, nAddType); }
void TIDINGS_CALLBACK OnD(int32_t dwMsgID, int32_t nAddType) { NoteChange('D', dwMsgID, nAddType); }

}  // namespace test
}  // namespace tidings
