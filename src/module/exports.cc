// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The eleven exported functions. Every export answers 1, except the two lookups, which answer 1 when
// they copied a message and 0 when not. Anything a body throws (running out of memory is the only thing
// it can throw) ends in the export, which then answers as it would have, or 0 for a lookup; no exception
// ever reaches the client.

#include "module/tidings_app.h"
#include "module/module_paths.h"

using tidings::g_MsgGov;

namespace {

// Runs the body of an export that answers 1 whatever happens.
template <typename Body>
int32_t AlwaysOne(Body body) noexcept {
  try {
    body();
  } catch (...) {
  }
  return 1;
}

// Runs the body of a lookup: 1 when it copied a message, 0 when it did not or threw.
template <typename Body>
int32_t Found(Body body) noexcept {
  try {
    return body() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace

extern "C" {

int32_t TIDINGS_API MSGGOV_EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam) {
  return AlwaysOne([&] { g_MsgGov.EchoMsg(h, MsgID, dwEchoParam); });
}

int32_t TIDINGS_API MSGGOV_Subscribe(const TIDINGS_WCHAR* lpMsgSpanName, MSGEVENTPROC pMsgTran,
                                     int32_t bSubscribeOld) {
  return AlwaysOne([&] { g_MsgGov.Subscribe(lpMsgSpanName, pMsgTran, bSubscribeOld); });
}

int32_t TIDINGS_API MSGGOV_UNSubscribe(uint32_t hHandle) {
  return AlwaysOne([&] { g_MsgGov.UNSubscribe(hHandle); });
}

int32_t TIDINGS_API MsgGovFinish(void) {
  return AlwaysOne([] { g_MsgGov.SaveMsgFile(tidings::GetMsgFilePath()); });
}

int32_t TIDINGS_API MsgGovInitial(void) {
  return AlwaysOne([] { g_MsgGov.LoadMsgFile(tidings::GetMsgFilePath()); });
}

int32_t TIDINGS_API NBX_AddMessage(const TIDINGS_WCHAR* lpMsgSpanName, const _Message_AddInfo* pInfo) {
  return AlwaysOne([&] { g_MsgGov.AddMessage(lpMsgSpanName, pInfo); });
}

int32_t TIDINGS_API NBX_DeleteMessage(const TIDINGS_WCHAR* lpMsgSpanName, const TIDINGS_WCHAR* wszMsgName) {
  return AlwaysOne([&] { g_MsgGov.DeleteMessage(lpMsgSpanName, wszMsgName); });
}

int32_t TIDINGS_API NBX_DeleteMessageFromID(int32_t dwMsgID) {
  return AlwaysOne([&] { g_MsgGov.DeleteMessageFromID(dwMsgID); });
}

int32_t TIDINGS_API NBX_GetMessage(int32_t dwMsgID, _Message_GetInfo* pInfo) {
  return Found([&] { return g_MsgGov.GetMessage(dwMsgID, pInfo); });
}

int32_t TIDINGS_API NBX_GetNextMessage(int32_t dwMsgID, int32_t* pdwNewMsgID, _Message_GetInfo* pInfo) {
  return Found([&] { return g_MsgGov.GetNextMessage(dwMsgID, pdwNewMsgID, pInfo); });
}

int32_t TIDINGS_API NBX_MessageHasPopup(int32_t dwMsgID) {
  return AlwaysOne([&] { g_MsgGov.MessageHasPopup(dwMsgID); });
}

}  // extern "C"
