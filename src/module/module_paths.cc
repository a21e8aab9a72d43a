// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "module/module_paths.h"

#include "platform/platform.h"

namespace tidings {

namespace {

// The file in the directory the build placed it in, else in "Config" beside the library.
std::u16string ConfigFilePath(const std::u16string& builtDir, const char16_t* fileName) {
  std::u16string path = builtDir;
  if (path.empty()) {
    path = GetModuleDir(platform::OwnModuleFileName());
    path += u"Config";
  }
  path += platform::PathSeparator();
  path += fileName;
  return path;
}

}  // namespace

std::u16string GetModuleDir(const std::u16string& moduleFileName) {
  size_t pos = moduleFileName.rfind(platform::PathSeparator());
  if (pos == std::u16string::npos) return std::u16string();
  return moduleFileName.substr(0, pos + 1);
}

std::u16string GetLogTracePath() { return ConfigFilePath(platform::BuiltLogDir(), u"UILogTrace.txt"); }

std::u16string GetMsgFilePath() { return ConfigFilePath(platform::BuiltMsgFileDir(), u"Msg.xml"); }

}  // namespace tidings
