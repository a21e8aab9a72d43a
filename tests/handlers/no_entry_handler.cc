// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// A module that is no handler: it exports a near miss of the entry point's name, but not NBX_EchoMsg
// itself. It records its load and unload with the current directory it sees then.

#include "handler_support.h"

TIDINGS_HANDLER_ENTRY void TIDINGS_CALLBACK NBX_EchoMessage(const TIDINGS_WCHAR*, const TIDINGS_WCHAR*,
                                                            uint32_t) {
  const char* fields[] = {"call"};
  handler::Record(fields, 1);
}

namespace handler {

void OnLoad() {
  char szDir[8192];
  const char* fields[] = {"load", CurrentDir(szDir, sizeof szDir)};
  Record(fields, 2);
}

void OnUnload() {
  char szDir[8192];
  const char* fields[] = {"unload", CurrentDir(szDir, sizeof szDir)};
  Record(fields, 2);
}

}  // namespace handler
