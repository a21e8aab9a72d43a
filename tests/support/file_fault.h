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

// ---- What a file is, and who the process acts as.

// What a save must leave as it was: the file's identity on its volume (inode, file index) and who
// owns it, with which rights. POSIX: uid, gid and the mode bits; Windows: no owner (0, 0) and the
// file's attributes as the mode.
struct FileIdentity {
  uint64_t nFileId = 0;
  uint32_t nOwner = 0;
  uint32_t nGroup = 0;
  uint32_t nMode = 0;
  bool operator==(const FileIdentity& o) const {
    return nFileId == o.nFileId && nOwner == o.nOwner && nGroup == o.nGroup && nMode == o.nMode;
  }
};
// False when the file cannot be looked at (a link is followed).
bool ReadFileIdentity(const std::filesystem::path& file, FileIdentity* pIdentity);
// Gives the file this owner, group and mode (POSIX), or these attributes (Windows, owner and group
// ignored). False, with the reason, when that fails.
bool SetFileIdentity(const std::filesystem::path& file, uint32_t nOwner, uint32_t nGroup, uint32_t nMode,
                     std::string* pstrError);

// While it lives, the process acts on files with the rights of the unprivileged user "nobody": its
// effective user and group are nobody's (POSIX, as root only).
class ActingUser {
 public:
  virtual ~ActingUser() = default;
  virtual uint32_t Uid() const = 0;
  virtual uint32_t Gid() const = 0;
};
// Null, with the reason, where the process cannot act as someone else.
std::unique_ptr<ActingUser> ActAsNobody(std::string* pstrWhyNot);

// This process's ID, and that of another process that runs at least as long as this one's test.
uint32_t ThisProcessId();
uint32_t AnotherRunningProcessId();

}  // namespace test
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_FILE_FAULT_H_
