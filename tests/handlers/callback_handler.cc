// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The calling-back handler: during its call it uses the library that loaded it, as a handler may.
// dwEchoParam carries two message IDs: in its low 16 bits the ID of the message being echoed, in its
// high 16 bits the ID of another message. The handler deletes its own message by span and name, tries
// to read it back by ID, echoes the other message (with h 0x5A and dwEchoParam 77), and records its
// arguments, the result of the read, and the current directory before and after the inner echo.

#include <cstdio>
#include <cstring>

#include "handler_support.h"

TIDINGS_HANDLER_ENTRY void TIDINGS_CALLBACK NBX_EchoMsg(const TIDINGS_WCHAR* lpMsgSpanName,
                                                        const TIDINGS_WCHAR* lpMsgName,
                                                        uint32_t dwEchoParam) {
  void* hLibrary = handler::OpenLibrary();
  if (hLibrary == nullptr) {
    const char* fields[] = {"call", "library not found"};
    handler::Record(fields, 2);
    return;
  }
  auto pfnDelete =
      reinterpret_cast<decltype(&NBX_DeleteMessage)>(handler::LibraryExport(hLibrary, "NBX_DeleteMessage"));
  auto pfnGet =
      reinterpret_cast<decltype(&NBX_GetMessage)>(handler::LibraryExport(hLibrary, "NBX_GetMessage"));
  auto pfnEcho =
      reinterpret_cast<decltype(&MSGGOV_EchoMsg)>(handler::LibraryExport(hLibrary, "MSGGOV_EchoMsg"));
  if (pfnDelete == nullptr || pfnGet == nullptr || pfnEcho == nullptr) {
    const char* fields[] = {"call", "export not found"};
    handler::Record(fields, 2);
    handler::CloseLibrary(hLibrary);
    return;
  }

  char szDirBefore[8192];
  handler::CurrentDir(szDirBefore, sizeof szDirBefore);
  pfnDelete(lpMsgSpanName, lpMsgName);
  _Message_GetInfo info;
  std::memset(&info, 0, sizeof info);
  const int32_t bFound = pfnGet(static_cast<int32_t>(dwEchoParam & 0xFFFFu), &info);
  pfnEcho(0x5A, static_cast<int32_t>(dwEchoParam >> 16), 77);
  char szDirAfter[8192];
  handler::CurrentDir(szDirAfter, sizeof szDirAfter);
  handler::CloseLibrary(hLibrary);

  char szSpan[4096];
  char szName[4096];
  char szParam[32];
  char szFound[32];
  std::snprintf(szParam, sizeof szParam, "%lu", static_cast<unsigned long>(dwEchoParam));
  std::snprintf(szFound, sizeof szFound, "%d", static_cast<int>(bFound));
  const char* fields[] = {"call",
                          handler::ToUtf8(lpMsgSpanName, szSpan, sizeof szSpan),
                          handler::ToUtf8(lpMsgName, szName, sizeof szName),
                          szParam,
                          szDirBefore,
                          szFound,
                          szDirAfter};
  handler::Record(fields, sizeof fields / sizeof fields[0]);
}

namespace handler {

void OnLoad() {}
void OnUnload() {}

}  // namespace handler
