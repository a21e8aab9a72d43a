// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Where the library finds its two configuration files: in a "Config" directory beside its own file,
// unless the build placed them elsewhere.

#ifndef TIDINGS_MODULE_MODULE_PATHS_H_
#define TIDINGS_MODULE_MODULE_PATHS_H_

#include <string>

namespace tidings {

// The directory part of `moduleFileName`, up to and including its last separator; empty when it holds
// no separator.
std::u16string GetModuleDir(const std::u16string& moduleFileName);

// The file in the directory the build placed it in (platform::BuiltMsgFileDir, BuiltLogDir), else in the
// library's own directory followed by "Config". No directory is created and none is tested for: with no
// directory known the paths are relative to the current directory.
std::u16string GetLogTracePath();
std::u16string GetMsgFilePath();

}  // namespace tidings

#endif  // TIDINGS_MODULE_MODULE_PATHS_H_
