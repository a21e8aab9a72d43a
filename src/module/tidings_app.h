// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The library's global objects and its start-up.

#ifndef TIDINGS_MODULE_TIDINGS_APP_H_
#define TIDINGS_MODULE_TIDINGS_APP_H_

#include "module/msg_gov.h"
#include "trace/log_trace.h"

namespace tidings {

// The application object: it runs the library's start-up once the library is loaded. There is no
// shut-down step; unloading destroys the global objects in reverse order and saves nothing.
class CTidingsApp {
 public:
  CTidingsApp() = default;
  // Points the trace log at Config/UILogTrace.txt beside the library and reads its switch. Never fails.
  void InitInstance();
};

// Constructed in this order when the library loads, destroyed in reverse order when it unloads.
extern CTidingsApp theApp;
extern CLogTrace g_LogTrace;
extern CMsgGov g_MsgGov;

}  // namespace tidings

#endif  // TIDINGS_MODULE_TIDINGS_APP_H_
