// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Real file-system faults for the tests of saving the message file: a volume that runs full or turns
// read-only, and a file held open so that it cannot be replaced. Each platform offers those it has; the
// others return null with the reason, for the test to skip with.

#ifndef TIDINGS_TESTS_SUPPORT_FILE_FAULT_H_
#define TIDINGS_TESTS_SUPPORT_FILE_FAULT_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace tidings {
namespace test {

// A small volume of its own mounted on a directory (its former content hidden while it is mounted);
// unmounted again when the object goes.
class SmallVolume {
 public:
  virtual ~SmallVolume() = default;
  // Fills the volume until not one more byte fits. False, with the reason, when it cannot.
  virtual bool Fill(std::string* pstrError) = 0;
  // Turns the volume read-only. False, with the reason, when it cannot.
  virtual bool MakeReadOnly(std::string* pstrError) = 0;
};

// Mounts a fresh volume of `cbSize` bytes on the existing, empty directory `dir`. Null, with the reason in
// *pstrWhyNot, where the platform has no such volumes or the process may not mount (Linux needs root).
std::unique_ptr<SmallVolume> MountSmallVolume(const std::filesystem::path& dir, size_t cbSize,
                                              std::string* pstrWhyNot);

// An open handle on a file that lets others read it but neither write, rename over nor delete it;
// closed when the object goes.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
};

// Opens `file` so. Null, with the reason in *pstrWhyNot, where the platform cannot hold a file against
// replacement (POSIX: an open file never stops a rename over it).
std::unique_ptr<HeldFile> HoldFileAgainstReplacement(const std::filesystem::path& file,
                                                     std::string* pstrWhyNot);

// A file's Windows attributes (FILE_ATTRIBUTE_... bits), and setting them. Elsewhere there are none:
// 0, and setting them fails.
uint32_t FileAttributeBits(const std::filesystem::path& file);
bool SetFileAttributeBits(const std::filesystem::path& file, uint32_t nBits);

// Something other than a regular file, for the tests that check it counts as no file at all.
enum class OddPath { kFifo, kDirectory, kLinkToDevNull, kLinkToDevZero, kSocket };

// Makes `kind` at `path`, where nothing is. False, with the reason in *pstrWhyNot, where the platform
// cannot make it (Windows has no FIFO, and its links lead to no endless device; under Wine, whose files
// are the host's, Wine's host tools make the FIFO and the links).
bool MakeOddPath(const std::filesystem::path& path, OddPath kind, std::string* pstrWhyNot);
// Removes what MakeOddPath made (and what else may stand there instead).
void RemoveOddPath(const std::filesystem::path& path);

// The ID of this process, and of another one that runs for at least as long as this one's test.
uint32_t ThisProcessId();
uint32_t AnotherRunningProcessId();

}  // namespace test
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_FILE_FAULT_H_
