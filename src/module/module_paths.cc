// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "module/module_paths.h"

#include "platform/platform.h"

namespace tidings {

namespace {

std::u16string ConfigFilePath(const char16_t* fileName) {
  std::u16string path = GetModuleDir(platform::OwnModuleFileName());
  path += u"Config";
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

std::u16string GetLogTracePath() { return ConfigFilePath(u"UILogTrace.txt"); }

std::u16string GetMsgFilePath() { return ConfigFilePath(u"Msg.xml"); }

}  // namespace tidings
