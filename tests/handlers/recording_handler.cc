// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The recording handler: writes down every load, call and unload of its module with the current
// directory it sees then. A call also records its arguments, how many calls this mapping of the module
// has had, and the address of its own entry point, which is what the library's trace has to show. The
// unload records the size of the library's trace log at that moment. Given dwEchoParam 0xBAD, the call
// throws, after its record, an exception of a type of the module's own.

#include <cstdio>
#include <type_traits>

#include "handler_support.h"

namespace {

unsigned long g_nCalls = 0;  // starts from zero again at every fresh load

class HandlerFailure {};  // its type information lives in this module only

}  // namespace

TIDINGS_HANDLER_ENTRY void TIDINGS_CALLBACK NBX_EchoMsg(const TIDINGS_WCHAR* lpMsgSpanName,
                                                        const TIDINGS_WCHAR* lpMsgName,
                                                        uint32_t dwEchoParam) {
  handler::NoteTraceLog();
  char szCount[32];
  char szParam[32];
  char szEntry[32];
  char szSpan[4096];
  char szName[4096];
  char szDir[8192];
  std::snprintf(szCount, sizeof szCount, "%lu", ++g_nCalls);
  std::snprintf(szParam, sizeof szParam, "%lu", static_cast<unsigned long>(dwEchoParam));
  const char* fields[] = {"call",
                          szCount,
                          handler::ToUtf8(lpMsgSpanName, szSpan, sizeof szSpan),
                          handler::ToUtf8(lpMsgName, szName, sizeof szName),
                          szParam,
                          handler::CurrentDir(szDir, sizeof szDir),
                          handler::Hex(reinterpret_cast<uintptr_t>(&NBX_EchoMsg), szEntry)};
  handler::Record(fields, sizeof fields / sizeof fields[0]);
  if (dwEchoParam == 0xBAD) throw HandlerFailure();
}

static_assert(std::is_same<decltype(&NBX_EchoMsg), ECHOMSGPROC>::value,
              "the entry point has the library's type");

namespace handler {

void OnLoad() {
  char szDir[8192];
  const char* fields[] = {"load", CurrentDir(szDir, sizeof szDir)};
  Record(fields, 2);
}

void OnUnload() {
  char szDir[8192];
  char szSize[32];
  std::snprintf(szSize, sizeof szSize, "%ld", TraceLogSize());
  const char* fields[] = {"unload", CurrentDir(szDir, sizeof szDir), szSize};
  Record(fields, 3);
}

}  // namespace handler
