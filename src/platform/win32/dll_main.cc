// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The library's entry point on Windows.

#include <windows.h>

#include "platform/load_hook.h"
#include "platform/win32/module_instance.h"

namespace {

void (*g_pfnAtLoad)() = nullptr;
bool g_bAttached = false;

}  // namespace

namespace tidings {
namespace platform {

// The C runtime constructs the global objects before it calls DllMain, so this normally only stores
// `pfn`; should the order ever be the other way round, whichever comes second runs it.
void RunAtLibraryLoad(void (*pfn)()) {
  if (g_bAttached) {
    pfn();
  } else {
    g_pfnAtLoad = pfn;
  }
}

}  // namespace platform
}  // namespace tidings

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*lpReserved*/) {
  if (dwReason == DLL_PROCESS_ATTACH) {
    tidings::platform::SetModuleInstance(hInstance);
    g_bAttached = true;
    if (g_pfnAtLoad != nullptr) {
      void (*pfn)() = g_pfnAtLoad;
      g_pfnAtLoad = nullptr;
      pfn();
    }
  }
  return TRUE;
}
