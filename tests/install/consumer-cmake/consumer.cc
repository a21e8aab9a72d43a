// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// A client of the installed Tidings, linked to it through the CMake package. It adds a message, reads it
// back, updates it, marks its popup, steps through the list and deletes it, and exits 0 only when every
// check holds.

#include <tidings.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Text = std::basic_string<TIDINGS_WCHAR>;

int g_failures = 0;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "FAILED: %s\n", what);
  ++g_failures;
}

Text Ascii(const char* text) {
  Text result;
  for (; *text != '\0'; ++text) result.push_back(static_cast<TIDINGS_WCHAR>(*text));
  return result;
}

void SetField(TIDINGS_WCHAR* field, const char* text) {
  const Text t = Ascii(text);
  std::memcpy(field, t.c_str(), (t.size() + 1) * sizeof(TIDINGS_WCHAR));
}

struct Notice {
  int32_t dwMsgID;
  int32_t nAddType;
};
std::vector<Notice> g_notices;

void TIDINGS_CALLBACK OnChange(int32_t dwMsgID, int32_t nAddType) {
  g_notices.push_back({dwMsgID, nAddType});
}

bool LastNoticeIs(int32_t dwMsgID, int32_t nAddType) {
  return !g_notices.empty() && g_notices.back().dwMsgID == dwMsgID && g_notices.back().nAddType == nAddType;
}

}  // namespace

int main() {
  Check(MSGGOV_Subscribe(Ascii("Consumer").c_str(), OnChange, 0) == 1, "MSGGOV_Subscribe returns 1");
  Check(g_notices.empty(), "subscribing without bSubscribeOld announces nothing");

  _Message_AddInfo add;
  std::memset(&add, 0, sizeof add);
  SetField(add.wszMsgName, "Build");
  SetField(add.strMsgSInfo, "Build 17 finished.");
  add.ShowType = 3;
  add.dwPopShowTimeout = 20;
  Check(NBX_AddMessage(Ascii("CI").c_str(), &add) == 1, "NBX_AddMessage returns 1");
  Check(g_notices.size() == 1 && LastNoticeIs(0, ADDTYPE_NEW),
        "the first message is announced new with ID 0");

  _Message_GetInfo got;
  std::memset(&got, 0xAB, sizeof got);
  Check(NBX_GetMessage(0, &got) == 1, "NBX_GetMessage finds message 0");
  Check(got.dwMsgID == 0, "the record holds ID 0");
  Check(Text(got.strMsgSInfo) == Ascii("Build 17 finished."), "the record holds the information text");
  Check(got.ShowType == 3 && got.dwPopShowTimeout == 20, "the record holds the show type and the timeout");
  Check(got.bHasPopup == 0, "a new message has no popup shown");

  // The same span and name in another case update the message in place.
  SetField(add.wszMsgName, "BUILD");
  SetField(add.strMsgSInfo, "Build 18 failed.");
  add.ShowType = 4;
  Check(NBX_AddMessage(Ascii("ci").c_str(), &add) == 1, "NBX_AddMessage of an update returns 1");
  Check(g_notices.size() == 2 && LastNoticeIs(0, ADDTYPE_CHANGE), "the update is announced as a change of 0");
  Check(
      NBX_GetMessage(0, &got) == 1 && Text(got.strMsgSInfo) == Ascii("Build 18 failed.") && got.ShowType == 4,
      "NBX_GetMessage reads the updated message");

  Check(NBX_MessageHasPopup(0) == 1, "NBX_MessageHasPopup returns 1");
  Check(LastNoticeIs(0, ADDTYPE_CHANGE), "marking the popup is announced as a change");
  Check(NBX_GetMessage(0, &got) == 1 && got.bHasPopup == 1, "the popup shows as marked");

  int32_t next = 12345;
  Check(NBX_GetNextMessage(0, &next, &got) == 1 && next == 0, "a list of one message follows itself");

  Check(NBX_DeleteMessageFromID(0) == 1, "NBX_DeleteMessageFromID returns 1");
  Check(g_notices.size() == 4 && LastNoticeIs(0, ADDTYPE_DELETE), "the deletion is announced");
  got.dwMsgID = 777;
  Check(NBX_GetMessage(0, &got) == 0 && got.dwMsgID == 777, "a deleted message is not found");
  Check(NBX_GetNextMessage(0, &next, &got) == 0 && next == -1, "an empty list has no next message");

  if (g_failures != 0) return 1;
  std::printf("consumer-cmake: all checks passed\n");
  return 0;
}
