// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include <windows.h>

#include "module_probe.h"

namespace tidings {
namespace test {

bool IsModuleMapped(const std::filesystem::path& file) {
  return ::GetModuleHandleW(file.wstring().c_str()) != nullptr;
}

void* LoadModuleAt(const std::filesystem::path& file) { return ::LoadLibraryW(file.wstring().c_str()); }

void* LoadModuleGlobally(const std::filesystem::path& file) { return ::LoadLibraryW(file.wstring().c_str()); }

}  // namespace test
}  // namespace tidings
