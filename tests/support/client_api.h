// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The library as a client sees it: the eleven exports resolved by name from a loaded copy, and the add
// record filled in as a client fills it. Shared by the tests and the benchmarks.

#ifndef TIDINGS_TESTS_SUPPORT_CLIENT_API_H_
#define TIDINGS_TESTS_SUPPORT_CLIENT_API_H_

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "tidings.h"

namespace tidings {
namespace client {

struct TidingsApi {
  decltype(&::MSGGOV_EchoMsg) EchoMsg = nullptr;
  decltype(&::MSGGOV_Subscribe) Subscribe = nullptr;
  decltype(&::MSGGOV_UNSubscribe) UNSubscribe = nullptr;
  decltype(&::MsgGovFinish) Finish = nullptr;
  decltype(&::MsgGovInitial) Initial = nullptr;
  decltype(&::NBX_AddMessage) AddMessage = nullptr;
  decltype(&::NBX_DeleteMessage) DeleteMessage = nullptr;
  decltype(&::NBX_DeleteMessageFromID) DeleteMessageFromID = nullptr;
  decltype(&::NBX_GetMessage) GetMessage = nullptr;
  decltype(&::NBX_GetNextMessage) GetNextMessage = nullptr;
  decltype(&::NBX_MessageHasPopup) MessageHasPopup = nullptr;
};

template <typename Fn>
bool ResolveExport(void* hLibrary, const char* name, Fn* pfn) {
  void* address = platform::FindModuleSymbol(hLibrary, name);
  *pfn = reinterpret_cast<Fn>(address);
  return address != nullptr;
}

// Resolves every export of a loaded copy of the library into *pApi. Returns the name of the first one
// missing, or null when all are there.
inline const char* ResolveTidingsApi(void* hLibrary, TidingsApi* pApi) {
#define TIDINGS_RESOLVE(member, name) \
  if (!ResolveExport(hLibrary, name, &pApi->member)) return name
  TIDINGS_RESOLVE(EchoMsg, "MSGGOV_EchoMsg");
  TIDINGS_RESOLVE(Subscribe, "MSGGOV_Subscribe");
  TIDINGS_RESOLVE(UNSubscribe, "MSGGOV_UNSubscribe");
  TIDINGS_RESOLVE(Finish, "MsgGovFinish");
  TIDINGS_RESOLVE(Initial, "MsgGovInitial");
  TIDINGS_RESOLVE(AddMessage, "NBX_AddMessage");
  TIDINGS_RESOLVE(DeleteMessage, "NBX_DeleteMessage");
  TIDINGS_RESOLVE(DeleteMessageFromID, "NBX_DeleteMessageFromID");
  TIDINGS_RESOLVE(GetMessage, "NBX_GetMessage");
  TIDINGS_RESOLVE(GetNextMessage, "NBX_GetNextMessage");
  TIDINGS_RESOLVE(MessageHasPopup, "NBX_MessageHasPopup");
#undef TIDINGS_RESOLVE
  return nullptr;
}

// A text the way the interface takes it.
inline std::basic_string<TIDINGS_WCHAR> T(const std::u16string& text) {
  return std::basic_string<TIDINGS_WCHAR>(text.begin(), text.end());
}

// A filled-in add record; texts longer than their field are cut.
inline _Message_AddInfo MakeAddInfo(const std::u16string& strName, const std::u16string& strInfo = u"info",
                                    const std::u16string& strEchoPath = u"", int32_t nShowType = 1,
                                    int32_t nTimeout = 30, int32_t bSave = 1) {
  _Message_AddInfo info;
  std::memset(&info, 0, sizeof info);
  auto put = [](const std::u16string& s, TIDINGS_WCHAR* field, size_t n) {
    for (size_t i = 0; i < s.size() && i + 1 < n; ++i) field[i] = static_cast<TIDINGS_WCHAR>(s[i]);
  };
  put(strName, info.wszMsgName, sizeof info.wszMsgName / sizeof info.wszMsgName[0]);
  put(strInfo, info.strMsgSInfo, sizeof info.strMsgSInfo / sizeof info.strMsgSInfo[0]);
  put(strEchoPath, info.strMsgEchoPath, sizeof info.strMsgEchoPath / sizeof info.strMsgEchoPath[0]);
  info.ShowType = nShowType;
  info.dwPopShowTimeout = nTimeout;
  info.bSaveAfterClose = bSave;
  return info;
}

}  // namespace client
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_CLIENT_API_H_
