// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Where the library finds its two configuration files: in a "Config" directory beside its own file.

#ifndef TIDINGS_MODULE_MODULE_PATHS_H_
#define TIDINGS_MODULE_MODULE_PATHS_H_

#include <string>

namespace tidings {

// The directory part of `moduleFileName`, up to and including its last separator; empty when it holds
// no separator.
std::u16string GetModuleDir(const std::u16string& moduleFileName);

// The library's own directory followed by "Config" and the file name. No directory is created and none
// is tested for: with no directory known the paths are relative to the current directory.
std::u16string GetLogTracePath();
std::u16string GetMsgFilePath();

}  // namespace tidings

#endif  // TIDINGS_MODULE_MODULE_PATHS_H_
