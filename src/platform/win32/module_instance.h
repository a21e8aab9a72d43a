// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The library's own module handle on Windows, handed over by DllMain.

#ifndef TIDINGS_PLATFORM_WIN32_MODULE_INSTANCE_H_
#define TIDINGS_PLATFORM_WIN32_MODULE_INSTANCE_H_

namespace tidings {
namespace platform {

// Records the instance handle the loader passed to DllMain, so that the library finds its own file,
// never the host executable's.
void SetModuleInstance(void* hInstance);

}  // namespace platform
}  // namespace tidings

#endif  // TIDINGS_PLATFORM_WIN32_MODULE_INSTANCE_H_
