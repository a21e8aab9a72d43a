// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The name of the new file that a replacement writes beside the file it replaces, shared by both
// platforms' implementations of ReplaceFileContents.

#ifndef TIDINGS_PLATFORM_NEW_FILE_NAME_H_
#define TIDINGS_PLATFORM_NEW_FILE_NAME_H_

#include <cstdint>
#include <string>

namespace tidings {
namespace platform {

// "<name>.<process ID in decimal>.tidings-tmp": the name that process `dwProcessId` gives its new file
// while it replaces the file named `name` (a bare file name, no directory). One process writes one at a
// time, so the process ID alone tells who may still be writing it.
std::u16string NewFileName(const std::u16string& name, uint32_t dwProcessId);

// The process ID that `entry` (a bare file name) carries when it is exactly such a name for `name`: the
// digits without a leading zero and not 0. Zero for every other name.
uint32_t NewFileProcessId(const std::u16string& entry, const std::u16string& name);

}  // namespace platform
}  // namespace tidings

#endif  // TIDINGS_PLATFORM_NEW_FILE_NAME_H_
