// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The eleven exported functions. Each runs its body and turns anything the body throws (running out of
// memory is the only thing it can throw) into the export's plain result, so no exception ever reaches
// the client.

#include "module/tidings_app.h"
#include "module/module_paths.h"

using tidings::g_MsgGov;

namespace {

template <typename Body>
int32_t Guarded(int32_t nResultOnFailure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return nResultOnFailure;
  }
}

}  // namespace

extern "C" {

int32_t TIDINGS_API MSGGOV_EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam) {
  return Guarded(1, [&] { return g_MsgGov.EchoMsg(h, MsgID, dwEchoParam); });
}

int32_t TIDINGS_API MSGGOV_Subscribe(const TIDINGS_WCHAR* lpMsgSpanName, MSGEVENTPROC pMsgTran,
                                     int32_t bSubscribeOld) {
  return Guarded(1, [&] {
    g_MsgGov.Subscribe(lpMsgSpanName, pMsgTran, bSubscribeOld);
    return 1;
  });
}

int32_t TIDINGS_API MSGGOV_UNSubscribe(uint32_t hHandle) {
  return Guarded(1, [&] { return g_MsgGov.UNSubscribe(hHandle); });
}

int32_t TIDINGS_API MsgGovFinish(void) {
  return Guarded(1, [] {
    g_MsgGov.SaveMsgFile(tidings::GetMsgFilePath());
    return 1;
  });
}

int32_t TIDINGS_API MsgGovInitial(void) {
  return Guarded(1, [] {
    g_MsgGov.LoadMsgFile(tidings::GetMsgFilePath());
    return 1;
  });
}

int32_t TIDINGS_API NBX_AddMessage(const TIDINGS_WCHAR* lpMsgSpanName, const _Message_AddInfo* pInfo) {
  return Guarded(1, [&] { return g_MsgGov.AddMessage(lpMsgSpanName, pInfo); });
}

int32_t TIDINGS_API NBX_DeleteMessage(const TIDINGS_WCHAR* lpMsgSpanName, const TIDINGS_WCHAR* wszMsgName) {
  return Guarded(1, [&] { return g_MsgGov.DeleteMessage(lpMsgSpanName, wszMsgName); });
}

int32_t TIDINGS_API NBX_DeleteMessageFromID(int32_t dwMsgID) {
  return Guarded(1, [&] { return g_MsgGov.DeleteMessageFromID(dwMsgID); });
}

int32_t TIDINGS_API NBX_GetMessage(int32_t dwMsgID, _Message_GetInfo* pInfo) {
  return Guarded(0, [&] { return g_MsgGov.GetMessage(dwMsgID, pInfo); });
}

int32_t TIDINGS_API NBX_GetNextMessage(int32_t dwMsgID, int32_t* pdwNewMsgID, _Message_GetInfo* pInfo) {
  return Guarded(0, [&] { return g_MsgGov.GetNextMessage(dwMsgID, pdwNewMsgID, pInfo); });
}

int32_t TIDINGS_API NBX_MessageHasPopup(int32_t dwMsgID) {
  return Guarded(1, [&] { return g_MsgGov.MessageHasPopup(dwMsgID); });
}

}  // extern "C"
