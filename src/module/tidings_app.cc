// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "module/tidings_app.h"

#include "module/module_paths.h"
#include "persist/xml_library.h"
#include "platform/load_hook.h"

namespace tidings {

namespace {

constexpr uint32_t kMaxLogFileSize = 0xA00000;  // 10 MiB

void RunInitInstance() { theApp.InitInstance(); }

// The last global object: its construction means the three before it exist, which is when start-up may
// run.
struct CLoadHook {
  CLoadHook() { platform::RunAtLibraryLoad(&RunInitInstance); }
};

}  // namespace

void CTidingsApp::InitInstance() {
  try {
    g_LogTrace.Init(GetLogTracePath(), kMaxLogFileSize);
  } catch (...) {
    // Out of memory while the library loads: it still loads, with tracing off.
  }
}

// One translation unit, so their order of construction is the order written here. Xerces-C is held
// first and let go last, around everything that might use it.
namespace {
XmlLibraryHold theXmlLibrary;
}  // namespace

CTidingsApp theApp;
CLogTrace g_LogTrace;
CMsgGov g_MsgGov(g_LogTrace);

namespace {
CLoadHook theLoadHook;
}  // namespace

}  // namespace tidings
