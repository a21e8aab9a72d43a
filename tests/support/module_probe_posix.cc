// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include <dlfcn.h>

#include <fstream>
#include <string>
#include <system_error>

#include "module_probe.h"

namespace tidings {
namespace test {

bool IsModuleMapped(const std::filesystem::path& file) {
  std::error_code ec;
  // The maps name the file the way the kernel resolved it.
  const std::filesystem::path canonical = std::filesystem::canonical(file, ec);
  const std::string wanted = ec ? file.string() : canonical.string();
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    // address perms offset device inode, then the path from its first '/'.
    const size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    std::string name = line.substr(slash);
    const std::string deleted = " (deleted)";
    if (name.size() > deleted.size() &&
        name.compare(name.size() - deleted.size(), deleted.size(), deleted) == 0) {
      name.resize(name.size() - deleted.size());
    }
    if (name == wanted) return true;
  }
  return false;
}

void* LoadModuleAt(const std::filesystem::path& file) {
  return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* LoadModuleGlobally(const std::filesystem::path& file) {
  return ::dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL);
}

}  // namespace test
}  // namespace tidings
