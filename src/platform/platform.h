// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The one interface between the portable core and the operating system. Each platform implements it
// once, in src/platform/posix or src/platform/win32; CMake compiles exactly one of them. Nothing in the
// core includes a system header of its own for these services.
//
// Texts are UTF-16 on this side of the interface; each implementation converts at its edge (to the
// native wide API on Windows, to UTF-8 on POSIX). A POSIX file name that is not valid UTF-8 still comes
// back to the same bytes: each byte that is not UTF-8 stands for itself as a lone surrogate U+DC80 to
// U+DCFF. No function here throws except where a std::string or std::u16string it builds runs out of
// memory.

#ifndef TIDINGS_PLATFORM_PLATFORM_H_
#define TIDINGS_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"
#include "platform/thread_annotations.h"

namespace tidings {
namespace platform {

// ---- Settings store: the registry under HKEY_LOCAL_MACHINE on Windows; elsewhere a machine-wide file
// in the registry's export format (its path is fixed when the library is built).

// A setting as the store holds it: a text or a number.
struct Setting {
  enum class Kind { kText, kNumber };
  Kind kind = Kind::kText;
  std::u16string text;  // kText: the stored string up to its first U+0000
  uint32_t number = 0;  // kNumber
};

// The most bytes a value may take in the store and still be read.
constexpr size_t kMaxSettingBytes = 1024;

// Reads value `valueName` of the key HKEY_LOCAL_MACHINE\`keyPath`: a string as its text, a 32-bit number
// as its number. Nothing for a value of any other kind (an expandable string or binary data, too), for a
// number stored in fewer than 4 bytes, for a value of more than kMaxSettingBytes bytes, and when the key
// or the value does not exist or cannot be read.
std::optional<Setting> ReadSetting(const std::u16string& keyPath, const std::u16string& valueName);

// ---- Configuration directories.

// The directory the build placed the message file in, and the one it placed the trace log in (POSIX
// builds configured with TIDINGS_CONFIG_DIR and TIDINGS_LOG_DIR, as the Debian packages are): absolute,
// without a final separator. Empty when the build placed none, and always on Windows: the file is then in
// the "Config" directory beside the library's own file.
std::u16string BuiltMsgFileDir();
std::u16string BuiltLogDir();

// ---- Module path.

// The full file name of the module (shared library, or executable for code linked into one) that holds
// the library's code, as an absolute path. Empty when the platform cannot tell.
std::u16string OwnModuleFileName();

// The separator between directories in the file names above: '\\' on Windows, '/' elsewhere.
char16_t PathSeparator();

// ---- Files.
//
// Only a regular file is read, appended to or replaced. Anything else at a path (a directory, FIFO,
// device or socket, or a link to one) counts as no file at all: it is never read nor written, and never
// even opened where the platform can tell beforehand (POSIX; on Windows only the open handle tells), and
// nothing opened blocks on it.

// What stands at a path, links followed.
enum class PathKind { kNothing, kRegularFile, kOther };
// kNothing also when the platform cannot tell.
PathKind KindOfPath(const std::u16string& path);

// A file opened for appending lines, shared with other writers in this process and in others. Each
// Append lands whole at the end of the file, after every line appended before it, and no truncation by
// another writer comes between the two.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // The file's size in bytes.
  virtual uint64_t Size() = 0;
  // Empties the file if it is larger than nMaxSize bytes, tested again while every other AppendFile on
  // the file waits: of several writers that saw it too large, one empties it and the others keep the
  // lines written since. False when emptying failed.
  virtual bool TruncateIfLarger(uint64_t nMaxSize) = 0;
  // Writes `n` bytes at the end of the file in one write.
  virtual bool Append(const char* data, size_t n) = 0;
};

// Opens `path` for appending, creating it when it does not exist and keeping its content when it does,
// shared with other readers, writers and deleters. Null on failure (for instance when the directory does
// not exist, or the path holds no regular file). Never creates a directory.
std::unique_ptr<AppendFile> OpenAppendFile(const std::u16string& path);

// Reads the whole file at `path`: the bytes it held when it was opened. Fails ("cannot read <path>") when
// it does not exist, is no regular file, or cannot be read, *out untouched; the reason is the C runtime's
// wording ("No such file or directory", "Is a directory", "Permission denied"), and "Is no regular file"
// for a FIFO, device or socket, which is never opened.
Status ReadWholeFile(const std::u16string& path, std::string* out);

// Replaces the content of the existing file at `path` with `bytes`, so that the file is at every moment
// either the old one whole or the new one whole, and stays what it was:
// - Only a regular file is replaced (see above): anything else fails the replacement untouched.
// - A symbolic link (a chain of them) is followed: the file it ends in is replaced and the link stays.
//   A link that leads nowhere, or in a loop, fails like a missing file. A missing file is never created.
// - A file the process may not write is not replaced either, even in a directory it may write: the
//   replacement fails as writing it in place would.
// - The bytes go to a new file beside the file (named by NewFileName), are flushed to the disk, and that
//   file then takes the file's place. It gets the old file's mode bits (POSIX; the replacement fails,
//   the old file kept, when they cannot be set) and owner and group where the process may give them
//   (else its own, without the set-ID bits), or the old file's ACL and attributes (Windows).
// - Where the directory takes no new file but the file may be written, the bytes are written into the
//   file itself instead, once room for all of them has been taken, and flushed. Only a failing or cut
//   write can then leave the file damaged.
// - New files that earlier replacements of the same file left behind, by processes that no longer run,
//   are removed first.
// On failure the old file is untouched (except by a failing write in place), no new file is left, and the
// status says what failed. On success *pNotes (if given) gets one text for each thing worth telling that
// differed from a plain replacement: a write in place, an owner that could not be kept, a directory that
// could not be flushed after the rename (the new file is then in place, but a crash may still bring the
// old one back).
Status ReplaceFileContents(const std::u16string& path, std::string_view bytes,
                           std::vector<std::u16string>* pNotes = nullptr);

// ---- Dynamic modules and the current directory.

// Loads the module (shared library, DLL) at `path`, by that whole path. Null on failure.
void* LoadModule(const std::u16string& path);
// The address of the symbol exported under the 8-bit name `name`, or null.
void* FindModuleSymbol(void* hModule, const char* name);
// Unloads a module that LoadModule returned.
void UnloadModule(void* hModule);

// The process's current directory, whatever its length. False when it cannot be read.
bool GetCurrentDir(std::u16string* out);
// Makes `dir` the process's current directory. False when that fails; the directory is then unchanged.
bool SetCurrentDir(const std::u16string& dir);
// The absolute form of `path`: a relative path is taken against the current directory, as the
// platform's own file calls would take it now; a path that is absolute already comes back as it is.
// False, with *out untouched, when the current directory cannot be read.
bool AbsolutePath(const std::u16string& path, std::u16string* out);

// ---- Time and threads.

// The calendar time in whole seconds since 1970-01-01 00:00:00 UTC.
int64_t CurrentTimeSeconds();

// Formats `seconds` (as above) as local time "%Y-%m-%d %H:%M:%S". False, with *out untouched, when the
// conversion or the formatting fails.
bool FormatLocalTime(int64_t seconds, std::u16string* out);

// The platform's numeric ID of the calling thread.
uint32_t CurrentThreadId();

// ---- Text.

// Converts to the platform's narrow text: the ANSI code page on Windows, where units the code page cannot
// represent become its default character; UTF-8 elsewhere, where an unpaired surrogate becomes '?'.
std::string ToNarrowText(const std::u16string& text);

// Compares two zero-terminated texts without regard to case: negative, zero or positive. ASCII letters
// match their other case in every locale; other units fold as the platform's C runtime folds wide texts
// in the current locale. Windows: _wcsicmp. Elsewhere each UTF-16 unit outside ASCII is folded with
// towlower in the current locale.
int CompareNoCase(const char16_t* a, const char16_t* b);

// Sets the process's locale to the one the message file's texts have always been read and compared
// under, "chinese-simplified": a name only the Windows runtime knows, so elsewhere the call fails and
// changes nothing. CompareNoCase follows the locale. Called where the message file is loaded and saved.
void UseMessageFileLocale();

// Sets the character-type locale (LC_CTYPE) of a command-line tool, which has no host to take it from,
// so that letters outside ASCII fold as they do in a host. Elsewhere than Windows: the user's locale
// where it is a UTF-8 one, else C.UTF-8, as in hosts with a UTF-8 locale. On Windows it changes nothing:
// the tool compares under the locale the library sets as it reads the file (UseMessageFileLocale).
void UseConsoleLocale();

// The name the C runtime gives the current character-type locale, for texts that tell which locale
// folded letters outside ASCII. False, with *out untouched, when it gives none.
bool GetTextLocaleName(std::u16string* out);

// ---- Locks.

// A mutual-exclusion lock that one thread may hold at a time; not re-entrant: a thread that takes it
// twice deadlocks. A critical section on Windows, a pthread mutex elsewhere.
class TIDINGS_CAPABILITY("mutex") Mutex {
 public:
  Mutex() : Mutex(false) {}
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void Lock() TIDINGS_ACQUIRE();
  void Unlock() TIDINGS_RELEASE();

 private:
  friend class RecursiveMutex;
  explicit Mutex(bool bRecursive);
  // Room for the native lock object, so that no allocation is needed and no system header leaks here.
  alignas(8) unsigned char m_storage[64];
};

// A lock that the thread holding it may take again; each Lock is matched by one Unlock.
class TIDINGS_CAPABILITY("mutex") RecursiveMutex {
 public:
  RecursiveMutex() : m_mutex(true) {}
  void Lock() TIDINGS_ACQUIRE() { m_mutex.Lock(); }
  void Unlock() TIDINGS_RELEASE() { m_mutex.Unlock(); }

 private:
  Mutex m_mutex;
};

// Holds a lock for the life of the holder.
template <typename TLock>
class TIDINGS_SCOPED_CAPABILITY LockHolder {
 public:
  explicit LockHolder(TLock& lock) TIDINGS_ACQUIRE(lock) : m_lock(lock) { m_lock.Lock(); }
  ~LockHolder() TIDINGS_RELEASE() { m_lock.Unlock(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

 private:
  TLock& m_lock;
};

}  // namespace platform
}  // namespace tidings

#endif  // TIDINGS_PLATFORM_PLATFORM_H_
