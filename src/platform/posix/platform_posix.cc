// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The platform interface on POSIX systems (Linux).

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <langinfo.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <new>

#include "platform/new_file_name.h"
#include "platform/platform.h"
#include "platform/posix/reg_file.h"
#include "platform/utf.h"
#include "tidings_config.h"

namespace tidings {
namespace platform {

namespace {

// Opens the regular file at `path` (through links, too) with `flags`, and fills *pst. Anything else there
// is never opened where stat can tell beforehand: opening a FIFO can wake a process waiting at its other
// end, and opening some devices acts (a watchdog starts, a tape rewinds when closed). O_NONBLOCK: a FIFO
// or device that took the place of the file meanwhile does not block the open, and is closed again
// unread and unwritten. With O_CREAT, nothing at the path is created as a regular file. -1 when the file
// cannot be opened (errno says why), and when the path holds something else, which *pbOther (if given)
// then says.
int OpenRegularFile(const char* path, int flags, struct stat* pst, bool* pbOther = nullptr) {
  if (pbOther != nullptr) *pbOther = false;
  const bool bExists = ::stat(path, pst) == 0;
  if (!bExists && (errno != ENOENT || (flags & O_CREAT) == 0)) return -1;
  int fd = -1;
  if (!bExists || S_ISREG(pst->st_mode)) fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd >= 0 && (::fstat(fd, pst) != 0 || !S_ISREG(pst->st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    if (pbOther != nullptr) *pbOther = bExists && !S_ISREG(pst->st_mode);
    return -1;
  }
  // A regular file ignores O_NONBLOCK on most file systems, but not on every one (FUSE passes it on).
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::u16string ErrnoText(int nError) { return Utf8ToUtf16(std::strerror(nError)); }

// `what` failed for the reason errno gives now: taken before the conversion can allocate and change it.
Status ErrnoFailure(const std::string& what) {
  const int nError = errno;
  return Status::Failed(Utf8ToUtf16(what), ErrnoText(nError));
}

Status ErrnoFailure(const char* what, const std::string& path) {
  return ErrnoFailure(std::string(what) + " " + path);
}

// Reads the regular file at `path` whole, when it holds at most nMaxBytes: the bytes it held when it was
// opened, however it grows meanwhile, so that a file that never ends is read to a bound too. Fails when
// the path holds no regular file, it is larger, or reading fails, as ReadWholeFile says.
Status ReadRegularFile(const std::u16string& path, size_t nMaxBytes, std::string* out) {
  struct stat st;
  bool bOther = false;
  const int fd = OpenRegularFile(Utf16ToUtf8(path).c_str(), O_RDONLY, &st, &bOther);
  if (fd < 0) {
    std::u16string why = !bOther               ? ErrnoText(errno)
                         : S_ISDIR(st.st_mode) ? ErrnoText(EISDIR)
                                               : u"Is no regular file";
    return Status::Failed(u"cannot read " + path, std::move(why));
  }
  std::string bytes;
  int nError = static_cast<uint64_t>(st.st_size) <= nMaxBytes ? 0 : EFBIG;
  try {
    if (nError == 0) bytes.resize(static_cast<size_t>(st.st_size));
  } catch (...) {
    ::close(fd);
    throw;
  }
  size_t nRead = 0;
  while (nError == 0 && nRead < bytes.size()) {
    const ssize_t n = ::read(fd, &bytes[nRead], bytes.size() - nRead);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) nError = errno;
    if (n <= 0) break;  // 0: shorter than it was, it shrank meanwhile
    nRead += static_cast<size_t>(n);
  }
  ::close(fd);
  if (nError != 0) return Status::Failed(u"cannot read " + path, ErrnoText(nError));
  bytes.resize(nRead);
  out->swap(bytes);
  return Status();
}

// The settings file is read while the library loads, before the host can do anything about it: a file
// larger than this is not read.
constexpr size_t kMaxSettingsFileBytes = 16u << 20;

bool WriteAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

uint32_t OwnProcessId() { return static_cast<uint32_t>(::getpid()); }

// A chain of symbolic links at *pPath is followed to the file it ends in, which becomes *pPath; other
// paths stay as they are. Fails when the chain leads nowhere or in a loop.
Status ResolveLinks(std::string* pPath) {
  struct stat st;
  if (::lstat(pPath->c_str(), &st) != 0) return ErrnoFailure("cannot find", *pPath);
  if (!S_ISLNK(st.st_mode)) return Status();
  char* lpResolved = ::realpath(pPath->c_str(), nullptr);
  if (lpResolved == nullptr) return ErrnoFailure("cannot follow the link", *pPath);
  *pPath = lpResolved;
  std::free(lpResolved);
  return Status();
}

// Removes the new files that replacements of `name` in `dir` left behind: those of processes that no
// longer exist, and those of this process's ID (left by an earlier process that had it: this one writes
// one at a time). A process that exists but belongs to someone else (EPERM) keeps its file. Failures are
// silent: what stays is tried again by the next replacement.
void RemoveStrayNewFiles(const std::string& dir, const std::string& name) {
  DIR* pDir = ::opendir(dir.c_str());
  if (pDir == nullptr) return;
  const std::u16string strName = Utf8ToUtf16(name);
  const uint32_t dwOwnId = OwnProcessId();
  while (const struct dirent* pEntry = ::readdir(pDir)) {
    const uint32_t dwId = NewFileProcessId(Utf8ToUtf16(pEntry->d_name), strName);
    // An ID beyond pid_t would name a process group in kill().
    if (dwId == 0 || dwId > static_cast<uint32_t>(INT_MAX)) continue;
    if (dwId == dwOwnId || (::kill(static_cast<pid_t>(dwId), 0) != 0 && errno == ESRCH)) {
      ::unlinkat(::dirfd(pDir), pEntry->d_name, 0);
    }
  }
  ::closedir(pDir);
}

// Gives the new file the old file's owner where the process may, then its mode bits. A mode that
// cannot be set fails the replacement: the file would come out private (0600) or more open than it was.
Status KeepOwnerAndMode(int fd, const struct stat& old, const std::string& temp,
                        std::vector<std::u16string>* pNotes) {
  struct stat mine;
  if (::fstat(fd, &mine) != 0) return ErrnoFailure("cannot read the mode of", temp);
  mode_t mode = old.st_mode & 07777;
  // The owner first: a change of owner clears the set-ID bits, which the mode then sets again.
  if ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
    const std::string owner = std::to_string(old.st_uid) + ":" + std::to_string(old.st_gid);
    const int nError = errno;
    const Status why = ErrnoFailure("cannot give " + temp + " the owner " + owner);
    if (nError != EPERM) return why;
    // Not the owner's rights to give away: the file becomes this user's, in the old group if this user
    // may give that.
    mode &= static_cast<mode_t>(~S_ISUID);
    if (mine.st_gid != old.st_gid && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0)
      mode &= static_cast<mode_t>(~S_ISGID);
    pNotes->push_back(u"replaced the file, but could not keep its owner: " + why.Text());
  }
  if ((mine.st_mode & 07777) != mode && ::fchmod(fd, mode) != 0) {
    char octal[16];
    std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode));
    return ErrnoFailure("cannot give " + temp + " the mode " + octal);
  }
  return Status();
}

// Takes the room that the new bytes need beyond the file's end without changing its size, so that a
// full volume refuses the write before its first byte: the file keeps its old bytes until the write.
bool ReserveRoom(int fd, off_t nOldSize, off_t nNewSize) {
  if (nNewSize <= nOldSize) return true;
#if defined(FALLOC_FL_KEEP_SIZE)
  if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, nNewSize) == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS) return false;
#endif
  // This one grows the file at once; a crash before the write leaves zeros after the old content.
  const int rc = ::posix_fallocate(fd, nOldSize, nNewSize - nOldSize);
  errno = rc;
  return rc == 0;
}

// Writes `bytes` from the start of the file at `path`, open for writing as `fd`, and flushes it: a new
// file, empty still, or (pOld given, its status) the file itself, which first gets the room that the
// bytes need and is then cut to their length, keeping everything else it is: inode, owner, mode, links,
// extended attributes.
Status WriteAndFlush(int fd, std::string_view bytes, const std::string& path, const struct stat* pOld) {
  const off_t nNewSize = static_cast<off_t>(bytes.size());
  if (pOld != nullptr && !ReserveRoom(fd, pOld->st_size, nNewSize))
    return ErrnoFailure("cannot make room in", path);
  for (off_t nAt = 0; nAt < nNewSize;) {
    const ssize_t w = ::pwrite(fd, bytes.data() + nAt, static_cast<size_t>(nNewSize - nAt), nAt);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return ErrnoFailure(pOld != nullptr ? "cannot write in place" : "cannot write", path);
    nAt += w;
  }
  if (pOld != nullptr && ::ftruncate(fd, nNewSize) != 0)
    return ErrnoFailure("cannot cut to its new length", path);
  if (::fsync(fd) != 0) return ErrnoFailure("cannot flush", path);
  return Status();
}

bool SyncDirectory(const std::string& dir) {
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return false;
  const bool bOk = ::fsync(dfd) == 0;
  const int nError = errno;
  ::close(dfd);
  errno = nError;
  return bOk;
}

// ReplaceFileContents once the links are followed and the regular file `target` is open for writing as
// fdOld, with the status `old`.
Status ReplaceOpenFile(int fdOld, const struct stat& old, const std::string& target, std::string_view bytes,
                       std::vector<std::u16string>* pNotes) {
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
  const std::string name = target.substr(slash + 1);
  const std::string temp = dir + Utf16ToUtf8(NewFileName(Utf8ToUtf16(name), OwnProcessId()));
  RemoveStrayNewFiles(dir, name);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int nError = errno;
    const Status created = ErrnoFailure("cannot create", temp);
    if (nError != EACCES && nError != EPERM) return created;
    const Status status = WriteAndFlush(fdOld, bytes, target, &old);
    if (status.ok())
      pNotes->push_back(u"wrote the file in place, its directory takes no new file: " + created.Text());
    return status;
  }
  // The new file gets the old one's owner and mode before its bytes.
  Status status = KeepOwnerAndMode(fd, old, temp, pNotes);
  if (status.ok()) status = WriteAndFlush(fd, bytes, temp, nullptr);
  if (::close(fd) != 0 && status.ok()) status = ErrnoFailure("cannot close", temp);
  if (status.ok() && ::rename(temp.c_str(), target.c_str()) != 0)
    status = ErrnoFailure("cannot rename over", target);
  if (!status.ok()) {
    ::unlink(temp.c_str());
    return status;
  }
  // The rename itself reaches the disk with the directory.
  if (!SyncDirectory(dir)) {
    pNotes->push_back(u"replaced the file, but its directory was not flushed: " +
                      ErrnoFailure("cannot flush", dir).Text());
  }
  return Status();
}

// Computed once, the first time it is asked for, which is while the library loads: a relative name that
// the loader was given stays valid only while the current directory does.
std::u16string ComputeOwnModuleFileName() {
  Dl_info info;
  std::memset(&info, 0, sizeof info);
  if (::dladdr(reinterpret_cast<void*>(&ComputeOwnModuleFileName), &info) == 0 || info.dli_fname == nullptr ||
      info.dli_fname[0] == '\0') {
    return std::u16string();
  }
  std::u16string name;
  if (!AbsolutePath(Utf8ToUtf16(info.dli_fname), &name)) return std::u16string();
  return name;
}

// Opened with O_APPEND, so that every write goes to the end of the file in one step, whoever else is
// writing: lines stay whole without a lock, and only a truncation takes one.
class PosixAppendFile final : public AppendFile {
 public:
  explicit PosixAppendFile(int fd) : m_fd(fd) {}
  ~PosixAppendFile() override { ::close(m_fd); }

  uint64_t Size() override {
    struct stat st;
    if (::fstat(m_fd, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
  }

  // flock, unlike fcntl locks, belongs to the open file description, so it also keeps two threads of
  // this process apart, each with its own descriptor.
  bool TruncateIfLarger(uint64_t nMaxSize) override {
    while (::flock(m_fd, LOCK_EX) != 0) {
      if (errno != EINTR) return false;
    }
    const bool bOk = Size() <= nMaxSize || ::ftruncate(m_fd, 0) == 0;
    ::flock(m_fd, LOCK_UN);
    return bOk;
  }

  bool Append(const char* data, size_t n) override { return WriteAll(m_fd, data, n); }

 private:
  int m_fd;
};

// ASCII letters fold by the ASCII rule whatever the locale: a Turkish or Azeri locale's towlower maps 'I'
// to the dotless i, which would part names that differ only in the case of an ASCII letter.
wint_t FoldUnit(char16_t unit) {
  if (unit < 0x80) return unit >= u'A' && unit <= u'Z' ? wint_t{unit} + (u'a' - u'A') : wint_t{unit};
  return std::towlower(static_cast<wint_t>(unit));
}

pthread_mutex_t* NativeMutex(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }

}  // namespace

std::optional<Setting> ReadSetting(const std::u16string& keyPath, const std::u16string& valueName) {
  std::string file;
  if (!ReadRegularFile(Utf8ToUtf16(TIDINGS_SETTINGS_FILE), kMaxSettingsFileBytes, &file).ok())
    return std::nullopt;
  return FindRegFileSetting(file, keyPath, valueName);
}

std::u16string BuiltMsgFileDir() { return Utf8ToUtf16(TIDINGS_CONFIG_DIR); }

std::u16string BuiltLogDir() { return Utf8ToUtf16(TIDINGS_LOG_DIR); }

std::u16string OwnModuleFileName() {
  static const std::u16string name = ComputeOwnModuleFileName();
  return name;
}

char16_t PathSeparator() { return u'/'; }

std::unique_ptr<AppendFile> OpenAppendFile(const std::u16string& path) {
  struct stat st;
  const int fd = OpenRegularFile(Utf16ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_APPEND, &st);
  if (fd < 0) return nullptr;
  std::unique_ptr<AppendFile> file(new (std::nothrow) PosixAppendFile(fd));
  if (!file) ::close(fd);
  return file;
}

Status ReadWholeFile(const std::u16string& path, std::string* out) {
  return ReadRegularFile(path, std::string().max_size(), out);
}

PathKind KindOfPath(const std::u16string& path) {
  struct stat st;
  if (::stat(Utf16ToUtf8(path).c_str(), &st) != 0) return PathKind::kNothing;
  return S_ISREG(st.st_mode) ? PathKind::kRegularFile : PathKind::kOther;
}

Status ReplaceFileContents(const std::u16string& path, std::string_view bytes,
                           std::vector<std::u16string>* pNotes) {
  std::string target = Utf16ToUtf8(path);
  Status status = ResolveLinks(&target);
  if (!status.ok()) return status;
  // Opened for writing as a write in place would open it, so that a file the process may not write is
  // refused the same way whatever its directory allows; held for such a write.
  struct stat old;
  bool bOther = false;
  const int fdOld = OpenRegularFile(target.c_str(), O_WRONLY, &old, &bOther);
  if (bOther) return Status::Failed(Utf8ToUtf16(target + " is no regular file"));
  if (fdOld < 0) return ErrnoFailure("cannot write", target);
  std::vector<std::u16string> notes;
  status = ReplaceOpenFile(fdOld, old, target, bytes, &notes);
  ::close(fdOld);
  if (status.ok() && pNotes != nullptr) pNotes->swap(notes);
  return status;
}

void* LoadModule(const std::u16string& path) {
  return ::dlopen(Utf16ToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindModuleSymbol(void* hModule, const char* name) { return ::dlsym(hModule, name); }

void UnloadModule(void* hModule) { ::dlclose(hModule); }

bool GetCurrentDir(std::u16string* out) {
  std::string buf(256, '\0');
  for (;;) {
    if (::getcwd(&buf[0], buf.size()) != nullptr) {
      buf.resize(std::strlen(buf.c_str()));
      *out = Utf8ToUtf16(buf);
      return true;
    }
    if (errno != ERANGE || buf.size() >= (1u << 20)) return false;
    buf.resize(buf.size() * 2);
  }
}

bool AbsolutePath(const std::u16string& path, std::u16string* out) {
  if (!path.empty() && path[0] == u'/') {
    *out = path;
    return true;
  }
  std::u16string dir;
  if (!GetCurrentDir(&dir)) return false;
  if (dir.empty() || dir.back() != u'/') dir += u'/';
  *out = dir + path;
  return true;
}

bool SetCurrentDir(const std::u16string& dir) { return ::chdir(Utf16ToUtf8(dir).c_str()) == 0; }

int64_t CurrentTimeSeconds() { return static_cast<int64_t>(::time(nullptr)); }

bool FormatLocalTime(int64_t seconds, std::u16string* out) {
  time_t t = static_cast<time_t>(seconds);
  struct tm local;
  if (::localtime_r(&t, &local) == nullptr) return false;
  char buf[128];
  size_t n = ::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  if (n == 0) return false;
  *out = Utf8ToUtf16(std::string(buf, n));
  return true;
}

// The kernel's ID of the calling thread, asked for once per thread (it is a system call, and a trace line
// wants it every time). The one thread of a forked child has an ID of its own, so the child forgets the
// one it inherited.
thread_local uint32_t t_dwThreadId = 0;

void ForgetThreadIdInChild() { t_dwThreadId = 0; }

uint32_t CurrentThreadId() {
  if (t_dwThreadId == 0) {
    static const bool bForgetsInChild = ::pthread_atfork(nullptr, nullptr, ForgetThreadIdInChild) == 0;
    (void)bForgetsInChild;
    t_dwThreadId = static_cast<uint32_t>(::syscall(SYS_gettid));
  }
  return t_dwThreadId;
}

std::string ToNarrowText(const std::u16string& text) { return Utf16ToUtf8Text(text); }

int CompareNoCase(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    const wint_t ca = FoldUnit(*a);
    const wint_t cb = FoldUnit(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (*a == 0) return 0;
  }
}

// No such locale here: the call fails and changes nothing, unless the machine defines one of that name.
void UseMessageFileLocale() { std::setlocale(LC_ALL, "chinese-simplified"); }

void UseConsoleLocale() {
  if (std::setlocale(LC_CTYPE, "") == nullptr || std::strcmp(::nl_langinfo(CODESET), "UTF-8") != 0) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
  }
}

bool GetTextLocaleName(std::u16string* out) {
  const char* name = std::setlocale(LC_CTYPE, nullptr);
  if (name == nullptr) return false;
  *out = Utf8ToUtf16(name);
  return true;
}

Mutex::Mutex(bool bRecursive) {
  static_assert(sizeof(pthread_mutex_t) <= sizeof(m_storage), "lock storage too small");
  static_assert(alignof(pthread_mutex_t) <= 8, "lock storage misaligned");
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, bRecursive ? PTHREAD_MUTEX_RECURSIVE : PTHREAD_MUTEX_NORMAL);
  pthread_mutex_init(NativeMutex(m_storage), &attr);
  pthread_mutexattr_destroy(&attr);
}

Mutex::~Mutex() { pthread_mutex_destroy(NativeMutex(m_storage)); }

void Mutex::Lock() { pthread_mutex_lock(NativeMutex(m_storage)); }

void Mutex::Unlock() { pthread_mutex_unlock(NativeMutex(m_storage)); }

}  // namespace platform
}  // namespace tidings
