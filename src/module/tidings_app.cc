// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "module/tidings_app.h"

#include "module/module_paths.h"
#include "persist/xml_library.h"
#include "platform/load_hook.h"
#include "platform/platform.h"

namespace tidings {

namespace {

constexpr uint32_t kMaxLogFileSize = 0xA00000;  // 10 MiB

// The trace switch: on when "Debug" of SOFTWARE\quellbridge\Halvern3.0 or "AmbrelDebugFlag" of SOFTWARE
// (HKEY_LOCAL_MACHINE) reads as the text "1" or the number 1. Both are always read, in this order.
bool IsOne(const std::optional<platform::Setting>& s) {
  return s && ((s->kind == platform::Setting::Kind::kText && s->text == u"1") ||
               (s->kind == platform::Setting::Kind::kNumber && s->number == 1));
}
bool ReadTraceSwitch() {
  const bool bDebug = IsOne(platform::ReadSetting(u"SOFTWARE\\quellbridge\\Halvern3.0", u"Debug"));
  return IsOne(platform::ReadSetting(u"SOFTWARE", u"AmbrelDebugFlag")) || bDebug;
}

void RunInitInstance() { theApp.InitInstance(); }

// The last global object: its construction means the three before it exist, which is when start-up may
// run.
struct CLoadHook {
  CLoadHook() { platform::RunAtLibraryLoad(&RunInitInstance); }
};

}  // namespace

void CTidingsApp::InitInstance() {
  try {
    g_LogTrace.Init(GetLogTracePath(), kMaxLogFileSize, ReadTraceSwitch());
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
