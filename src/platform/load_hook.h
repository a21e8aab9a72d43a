// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// How the library's start-up code is run once the library is loaded. Only the shared library itself
// links an implementation: code that links the core into an executable has no load hook.

#ifndef TIDINGS_PLATFORM_LOAD_HOOK_H_
#define TIDINGS_PLATFORM_LOAD_HOOK_H_

namespace tidings {
namespace platform {

// Arranges for `pfn` to run exactly once, when the library is loaded and all its global objects are
// constructed. Called from the constructor of the library's last global object. On POSIX that moment is
// the load itself, so `pfn` runs at once; on Windows it runs from DllMain, which first hands over the
// library's instance handle.
void RunAtLibraryLoad(void (*pfn)());

}  // namespace platform
}  // namespace tidings

#endif  // TIDINGS_PLATFORM_LOAD_HOOK_H_
