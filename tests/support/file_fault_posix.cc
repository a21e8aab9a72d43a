// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "file_fault.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sys/mount.h>
#endif

namespace tidings {
namespace test {

namespace {

std::string Reason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

#if defined(__linux__)

class TmpfsVolume : public SmallVolume {
 public:
  explicit TmpfsVolume(std::string dir) : m_dir(std::move(dir)) {}
  ~TmpfsVolume() override {
    // A lazy unmount: it succeeds even while the test still holds a file on the volume open.
    ::umount2(m_dir.c_str(), MNT_DETACH);
  }

  bool Fill(std::string* pstrError) override {
    const std::string filler = m_dir + "/filler.bin";
    int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      *pstrError = Reason("cannot create the filler");
      return false;
    }
    // Big writes first, then single bytes, so that not even one byte is left.
    const std::vector<char> block(4096, 'F');
    for (size_t chunk : {block.size(), size_t{1}}) {
      for (int i = 0; i < 1 << 20; ++i) {
        ssize_t n = ::write(fd, block.data(), chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
      }
    }
    const bool bFull = ::write(fd, "F", 1) < 0 && errno == ENOSPC;
    if (!bFull) *pstrError = "the filler never hit a full volume";
    ::fsync(fd);
    ::close(fd);
    return bFull;
  }

  bool MakeReadOnly(std::string* pstrError) override {
    if (::mount("tidings-test", m_dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
      *pstrError = Reason("cannot remount read-only");
      return false;
    }
    return true;
  }

 private:
  std::string m_dir;
};

#endif

}  // namespace

std::unique_ptr<SmallVolume> MountSmallVolume(const std::filesystem::path& dir, size_t cbSize,
                                              std::string* pstrWhyNot) {
#if defined(__linux__)
  if (::geteuid() != 0) {
    *pstrWhyNot = "mounting a tmpfs needs root";
    return nullptr;
  }
  const std::string options = "size=" + std::to_string(cbSize) + ",mode=0755";
  if (::mount("tidings-test", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    *pstrWhyNot = Reason("mount of a tmpfs failed (a container without CAP_SYS_ADMIN?)");
    return nullptr;
  }
  return std::unique_ptr<SmallVolume>(new TmpfsVolume(dir.string()));
#else
  (void)dir;
  (void)cbSize;
  *pstrWhyNot = "no small volumes on this platform";
  return nullptr;
#endif
}

std::unique_ptr<HeldFile> HoldFileAgainstReplacement(const std::filesystem::path& /*file*/,
                                                     std::string* pstrWhyNot) {
  *pstrWhyNot = "POSIX has no share modes: an open file never stops a rename over it";
  return nullptr;
}

uint32_t FileAttributeBits(const std::filesystem::path& /*file*/) { return 0; }

bool SetFileAttributeBits(const std::filesystem::path& /*file*/, uint32_t /*nBits*/) { return false; }

bool MakeOddPath(const std::filesystem::path& path, OddPath kind, std::string* pstrWhyNot) {
  std::error_code ec;
  switch (kind) {
    case OddPath::kFifo:
      if (::mkfifo(path.c_str(), 0600) == 0) return true;
      *pstrWhyNot = Reason("mkfifo");
      return false;
    case OddPath::kDirectory:
      std::filesystem::create_directory(path, ec);
      break;
    case OddPath::kLinkToDevNull:
    case OddPath::kLinkToDevZero:
      std::filesystem::create_symlink(kind == OddPath::kLinkToDevNull ? "/dev/null" : "/dev/zero", path, ec);
      break;
    case OddPath::kSocket: {
      sockaddr_un address = {};
      address.sun_family = AF_UNIX;
      if (path.native().size() >= sizeof address.sun_path) {
        *pstrWhyNot = "the path is too long for a socket's address: " + path.native();
        return false;
      }
      std::strcpy(address.sun_path, path.c_str());
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      // The socket's file stays when the socket is closed.
      const bool bBound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      if (!bBound) *pstrWhyNot = Reason("cannot bind a socket");
      if (fd >= 0) ::close(fd);
      return bBound;
    }
  }
  if (ec) *pstrWhyNot = ec.message();
  return !ec;
}

void RemoveOddPath(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

uint32_t ThisProcessId() { return static_cast<uint32_t>(::getpid()); }

uint32_t AnotherRunningProcessId() { return static_cast<uint32_t>(::getppid()); }

}  // namespace test
}  // namespace tidings
