// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Asking the process which modules it has mapped, for tests that check that a module is gone again.

#ifndef TIDINGS_TESTS_SUPPORT_MODULE_PROBE_H_
#define TIDINGS_TESTS_SUPPORT_MODULE_PROBE_H_

#include <filesystem>

namespace tidings {
namespace test {

// True while the module file at `file` is mapped into this process. POSIX: some mapping in
// /proc/self/maps is of that file; Windows: a module of that path is loaded.
bool IsModuleMapped(const std::filesystem::path& file);

// Loads the module at `file` by its native name, whatever bytes that holds (a POSIX name need not be
// UTF-8). Null on failure; unload with platform::UnloadModule.
void* LoadModuleAt(const std::filesystem::path& file);

// Loads the module at `file` so that its exports also answer lookups in the main program's global scope
// (RTLD_GLOBAL on POSIX); Windows has no such scope and loads it plainly. Null on failure; unload with
// platform::UnloadModule.
void* LoadModuleGlobally(const std::filesystem::path& file);

}  // namespace test
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_MODULE_PROBE_H_
