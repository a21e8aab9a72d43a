// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The platform interface on Windows.

#include <windows.h>

#include <locale.h>
#include <time.h>
#include <wchar.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "platform/new_file_name.h"
#include "platform/platform.h"
#include "platform/registry_value.h"
#include "platform/win32/module_instance.h"

namespace tidings {
namespace platform {

namespace {

// On Windows wchar_t is the same 16-bit UTF-16 unit as char16_t, so texts cross by a cast.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be UTF-16");

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

// Fills *out with the text that `fill`(buffer, its size in units) writes, growing the buffer until the
// text fits: `fill` answers the text's length, 0 on failure, and at least the buffer's size when the
// buffer is too small (the size it needs, or the size it was given, as each API does). False on failure
// and for a text longer than any path can be.
template <typename Fill>
bool FetchText(Fill fill, std::u16string* out) {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD n = fill(buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return false;
    if (n < buf.size()) {
      out->assign(reinterpret_cast<const char16_t*>(buf.data()), n);
      return true;
    }
    if (buf.size() > 65536) return false;
    buf.resize(std::max<size_t>(n + 1, buf.size() * 2));
  }
}

// Writes `n` bytes at the handle's file pointer.
bool WriteAllTo(HANDLE h, const char* data, size_t n) {
  while (n > 0) {
    DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    DWORD written = 0;
    if (!::WriteFile(h, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    n -= written;
  }
  return true;
}

HMODULE g_hInstance = nullptr;

// Every step that must not be cut into by another writer, the truncation with its size test and each
// append with its move to the end, holds an exclusive lock on the whole file, in this process or another.
class Win32AppendFile final : public AppendFile {
 public:
  explicit Win32AppendFile(HANDLE h) : m_h(h) {}
  ~Win32AppendFile() override { ::CloseHandle(m_h); }

  uint64_t Size() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(m_h, &size)) return 0;
    return static_cast<uint64_t>(size.QuadPart);
  }

  // Emptied in place through this handle, which holds the lock.
  bool TruncateIfLarger(uint64_t nMaxSize) override {
    if (!Lock()) return false;
    LARGE_INTEGER zero = {};
    const bool bOk =
        Size() <= nMaxSize || (::SetFilePointerEx(m_h, zero, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_h));
    Unlock();
    return bOk;
  }

  bool Append(const char* data, size_t n) override {
    if (!Lock()) return false;
    LARGE_INTEGER zero = {};
    const bool bOk = ::SetFilePointerEx(m_h, zero, nullptr, FILE_END) && WriteAllTo(m_h, data, n);
    Unlock();
    return bOk;
  }

 private:
  bool Lock() {
    OVERLAPPED ov = {};
    return ::LockFileEx(m_h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &ov) != 0;
  }
  void Unlock() {
    OVERLAPPED ov = {};
    ::UnlockFileEx(m_h, 0, MAXDWORD, MAXDWORD, &ov);
  }

  HANDLE m_h;
};

// Whether the open handle `h` is of a file on a disk (a directory too). Under Wine a FIFO, device or socket
// of the host's file system opens as a pipe or a character device.
bool IsDiskFileHandle(HANDLE h) { return ::GetFileType(h) == FILE_TYPE_DISK; }

// Opens the regular file at `path` with CreateFileW's `dwAccess` and `dwDisposition`, shared with every
// other opener; a directory does not open so. Something else there is closed again at once, unread and
// unwritten: INVALID_HANDLE_VALUE, with *pbOther (if given) set. INVALID_HANDLE_VALUE with GetLastError
// when the open fails.
HANDLE OpenRegularFile(const std::u16string& path, DWORD dwAccess, DWORD dwDisposition,
                       bool* pbOther = nullptr) {
  if (pbOther != nullptr) *pbOther = false;
  HANDLE h = ::CreateFileW(W(path), dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           dwDisposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE || IsDiskFileHandle(h)) return h;
  ::CloseHandle(h);
  if (pbOther != nullptr) *pbOther = true;
  ::SetLastError(ERROR_BAD_FILE_TYPE);
  return INVALID_HANDLE_VALUE;
}

std::u16string ErrorNumberText(DWORD dwError) {
  const std::string text = "error " + std::to_string(dwError);
  return std::u16string(text.begin(), text.end());
}

// `what` failed with the system error dwError.
Status Failure(const char16_t* what, DWORD dwError) { return Status::Failed(what, ErrorNumberText(dwError)); }

// Why `path` could not be opened or read, as the C runtime words the errno it maps `dwError` to, so
// that the reasons read alike on every platform; the system's own text for the errors it has no errno
// for. Opening a directory is refused as access denied, which would mislead.
std::u16string ReasonText(const std::u16string& path, DWORD dwError) {
  const char* lpText = nullptr;
  switch (dwError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      lpText = "No such file or directory";
      break;
    case ERROR_ACCESS_DENIED: {
      const DWORD dwAttributes = ::GetFileAttributesW(W(path));
      const bool bDirectory =
          dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      lpText = bDirectory ? "Is a directory" : "Permission denied";
      break;
    }
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      lpText = "Permission denied (another program holds the file)";
      break;
    default:
      break;
  }
  if (lpText != nullptr) return std::u16string(lpText, lpText + std::strlen(lpText));
  wchar_t* lpMessage = nullptr;
  const DWORD nLength = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      dwError, 0, reinterpret_cast<wchar_t*>(&lpMessage), 0, nullptr);
  std::u16string strText(lpMessage, lpMessage + nLength);
  if (lpMessage != nullptr) ::LocalFree(lpMessage);
  while (!strText.empty() && (strText.back() == u'\n' || strText.back() == u'\r' || strText.back() == u'.')) {
    strText.pop_back();
  }
  if (strText.empty()) strText = u"system error: " + ErrorNumberText(dwError);
  return strText;
}

// The file that `path` (open as h) ends in when it is a symbolic link or another reparse point, so that
// the link stays and its target is replaced; `path` itself otherwise.
std::u16string LinkTarget(const std::u16string& path, HANDLE h) {
  const DWORD dwAttributes = ::GetFileAttributesW(W(path));
  if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return path;
  std::u16string target;
  const bool bFound = FetchText(
      [h](wchar_t* buf, DWORD n) { return ::GetFinalPathNameByHandleW(h, buf, n, FILE_NAME_NORMALIZED); },
      &target);
  return bFound ? target : path;
}

// Whether the process with this ID may still be running: it exists and has not exited, or it exists and
// this process may not look at it.
bool ProcessMayRun(DWORD dwId) {
  HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwId);
  if (h == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER;
  DWORD dwExitCode = 0;
  const bool bRuns = !::GetExitCodeProcess(h, &dwExitCode) || dwExitCode == STILL_ACTIVE;
  ::CloseHandle(h);
  return bRuns;
}

// Removes the new files that replacements of `name` in `dir` (ending in a separator) left behind: those
// of processes that no longer run, and those of this process's ID (left by an earlier process that had
// it: this one writes one at a time). Failures are silent: what stays is tried again next time.
void RemoveStrayNewFiles(const std::u16string& dir, const std::u16string& name) {
  WIN32_FIND_DATAW found;
  HANDLE hFind = ::FindFirstFileW(W(dir + name + u".*"), &found);
  if (hFind == INVALID_HANDLE_VALUE) return;
  const DWORD dwOwnId = ::GetCurrentProcessId();
  do {
    const std::u16string entry = reinterpret_cast<const char16_t*>(found.cFileName);
    const uint32_t dwId = NewFileProcessId(entry, name);
    if (dwId != 0 && (dwId == dwOwnId || !ProcessMayRun(dwId))) ::DeleteFileW(W(dir + entry));
  } while (::FindNextFileW(hFind, &found));
  ::FindClose(hFind);
}

// Writes `bytes` over the file itself through h (open for writing), cuts it to their length and
// flushes it: the file keeps its ACL, attributes, streams and links. The room is taken first, without
// changing the file's size, so that a full volume refuses the write before its first byte.
Status WriteInPlace(HANDLE h, std::string_view bytes) {
  LARGE_INTEGER size = {};
  LARGE_INTEGER zero = {};
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(bytes.size());
  FILE_ALLOCATION_INFO room;
  room.AllocationSize = end;
  if (!::GetFileSizeEx(h, &size) ||
      (end.QuadPart > size.QuadPart &&
       !::SetFileInformationByHandle(h, FileAllocationInfo, &room, sizeof room))) {
    return Failure(u"cannot make room in the file", ::GetLastError());
  }
  if (!::SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) || !WriteAllTo(h, bytes.data(), bytes.size()) ||
      !::SetFilePointerEx(h, end, nullptr, FILE_BEGIN) || !::SetEndOfFile(h)) {
    return Failure(u"cannot write the file in place", ::GetLastError());
  }
  if (!::FlushFileBuffers(h)) return Failure(u"cannot flush the file", ::GetLastError());
  return Status();
}

// ReplaceFileContents once the file `target` is open for writing as hOld, which this closes.
Status ReplaceOpenFile(HANDLE hOld, const std::u16string& target, std::string_view bytes,
                       std::vector<std::u16string>* pNotes) {
  const size_t slash = target.find_last_of(u"\\/");
  const std::u16string dir = slash == std::u16string::npos ? std::u16string() : target.substr(0, slash + 1);
  const std::u16string name = target.substr(slash == std::u16string::npos ? 0 : slash + 1);
  const std::u16string temp = dir + NewFileName(name, ::GetCurrentProcessId());
  RemoveStrayNewFiles(dir, name);
  HANDLE h = ::CreateFileW(W(temp), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD dwError = ::GetLastError();
    const Status created = Failure(u"cannot create the new file", dwError);
    const Status status = dwError == ERROR_ACCESS_DENIED ? WriteInPlace(hOld, bytes) : created;
    if (status.ok())
      pNotes->push_back(u"wrote the file in place, its directory takes no new file: " + created.Text());
    ::CloseHandle(hOld);
    return status;
  }
  // The attributes a file of one's own may carry are given here too: ReplaceFileW carries them over on
  // Windows, but not everywhere (Wine).
  BY_HANDLE_FILE_INFORMATION info;
  const DWORD dwKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD dwAttributes = ::GetFileInformationByHandle(hOld, &info) ? info.dwFileAttributes & dwKept : 0;
  // ReplaceFileW opens the old file for itself, and not beside a writer.
  ::CloseHandle(hOld);
  Status status;
  if (!WriteAllTo(h, bytes.data(), bytes.size())) {
    status = Failure(u"cannot write the new file", ::GetLastError());
  } else if (!::FlushFileBuffers(h)) {
    status = Failure(u"cannot flush the new file", ::GetLastError());
  }
  ::CloseHandle(h);
  if (status.ok() && dwAttributes != 0 && !::SetFileAttributesW(W(temp), dwAttributes))
    status = Failure(u"cannot give the new file the attributes of the file", ::GetLastError());
  if (!status.ok()) {
    ::DeleteFileW(W(temp));
    return status;
  }
  // The new file takes the old one's place with its ACL, attributes and streams, where this process may
  // give them; where not, it keeps its own, as a file written anew there would have them.
  if (::ReplaceFileW(W(target), W(temp), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    // ReplaceFileW has no write-through: flushing the file now writes its new place to the disk too.
    HANDLE hNew = OpenRegularFile(target, GENERIC_WRITE, OPEN_EXISTING);
    if (hNew == INVALID_HANDLE_VALUE || !::FlushFileBuffers(hNew)) {
      pNotes->push_back(u"replaced the file, but could not flush it in its place: " +
                        Failure(u"cannot flush the file", ::GetLastError()).Text());
    }
    if (hNew != INVALID_HANDLE_VALUE) ::CloseHandle(hNew);
    return Status();
  }
  const DWORD dwError = ::GetLastError();
  const Status replaced = Failure(u"cannot replace the file", dwError);
  if (dwError != ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
    // The old file still has its name, the new one its own.
    ::DeleteFileW(W(temp));
    return replaced;
  }
  // The old file is gone and the new one, whole and flushed, still under its own name: it is all there
  // is of the file now, so it takes the name by a plain rename, or stays where it is.
  if (::MoveFileExW(W(temp), W(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    pNotes->push_back(u"replaced the file by a rename, without its ACL: " + replaced.Text());
    return Status();
  }
  return Status::Failed(replaced.What(), replaced.Why() + u"; the new file stays at " + temp);
}

CRITICAL_SECTION* NativeLock(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }

}  // namespace

void SetModuleInstance(void* hInstance) { g_hInstance = static_cast<HMODULE>(hInstance); }

std::optional<Setting> ReadSetting(const std::u16string& keyPath, const std::u16string& valueName) {
  HKEY hKey = nullptr;
  if (::RegOpenKeyW(HKEY_LOCAL_MACHINE, W(keyPath), &hKey) != ERROR_SUCCESS) return std::nullopt;
  BYTE data[kMaxSettingBytes];
  DWORD dwType = 0;
  DWORD cb = sizeof data;
  const LONG rc = ::RegQueryValueExW(hKey, W(valueName), nullptr, &dwType, data, &cb);
  ::RegCloseKey(hKey);
  if (rc != ERROR_SUCCESS) return std::nullopt;  // absent, or ERROR_MORE_DATA: larger than the buffer
  return SettingFromRegistryValue(dwType, std::string_view(reinterpret_cast<const char*>(data), cb));
}

// The configuration files are always beside the library.
std::u16string BuiltMsgFileDir() { return std::u16string(); }

std::u16string BuiltLogDir() { return std::u16string(); }

std::u16string OwnModuleFileName() {
  // The library's own module, never the host executable's: DllMain hands over the instance handle; code
  // linked straight into an executable (the unit tests) falls back to the module holding this function.
  HMODULE hModule = g_hInstance;
  if (hModule == nullptr) {
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&OwnModuleFileName), &hModule);
  }
  // A name longer than the buffer is truncated by the API, which then answers the buffer's size.
  std::u16string name;
  FetchText([hModule](wchar_t* buf, DWORD n) { return ::GetModuleFileNameW(hModule, buf, n); }, &name);
  return name;
}

char16_t PathSeparator() { return u'\\'; }

std::unique_ptr<AppendFile> OpenAppendFile(const std::u16string& path) {
  HANDLE h = OpenRegularFile(path, GENERIC_WRITE, OPEN_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  std::unique_ptr<AppendFile> file(new (std::nothrow) Win32AppendFile(h));
  if (!file) ::CloseHandle(h);
  return file;
}

Status ReadWholeFile(const std::u16string& path, std::string* out) {
  bool bOther = false;
  HANDLE h = OpenRegularFile(path, GENERIC_READ, OPEN_EXISTING, &bOther);
  if (h == INVALID_HANDLE_VALUE) {
    std::u16string why = bOther ? u"Is no regular file" : ReasonText(path, ::GetLastError());
    return Status::Failed(u"cannot read " + path, std::move(why));
  }
  // What the file holds now, however it grows meanwhile.
  LARGE_INTEGER size;
  std::string bytes;
  bool bOk = ::GetFileSizeEx(h, &size) != 0;
  DWORD dwError = bOk ? ERROR_SUCCESS : ::GetLastError();
  if (bOk && static_cast<uint64_t>(size.QuadPart) > bytes.max_size()) {
    bOk = false;
    dwError = ERROR_FILE_TOO_LARGE;
  }
  try {
    if (bOk) bytes.resize(static_cast<size_t>(size.QuadPart));
  } catch (...) {
    ::CloseHandle(h);
    throw;
  }
  size_t nRead = 0;
  while (bOk && nRead < bytes.size()) {
    const size_t nLeft = bytes.size() - nRead;
    DWORD got = 0;
    bOk = ::ReadFile(h, &bytes[nRead], nLeft > 0x40000000 ? 0x40000000 : static_cast<DWORD>(nLeft), &got,
                     nullptr) != 0;
    if (!bOk) dwError = ::GetLastError();
    if (got == 0) break;  // shorter than it was: it shrank meanwhile
    nRead += got;
  }
  ::CloseHandle(h);
  if (!bOk) return Status::Failed(u"cannot read " + path, ReasonText(path, dwError));
  bytes.resize(nRead);
  out->swap(bytes);
  return Status();
}

PathKind KindOfPath(const std::u16string& path) {
  // No access asked for: the handle only tells what the path holds. Backup semantics open a directory too.
  HANDLE h = ::CreateFileW(W(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return PathKind::kNothing;
  BY_HANDLE_FILE_INFORMATION info;
  const bool bRegular = IsDiskFileHandle(h) && ::GetFileInformationByHandle(h, &info) &&
                        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  ::CloseHandle(h);
  return bRegular ? PathKind::kRegularFile : PathKind::kOther;
}

Status ReplaceFileContents(const std::u16string& path, std::string_view bytes,
                           std::vector<std::u16string>* pNotes) {
  // Opened for writing as a write in place would open it (following links), so that a read-only file,
  // one whose ACL denies writing and one another process holds are refused the same way whatever the
  // directory allows; held for such a write.
  bool bOther = false;
  HANDLE hOld = OpenRegularFile(path, GENERIC_WRITE, OPEN_EXISTING, &bOther);
  if (bOther) return Status::Failed(path + u" is no regular file");
  if (hOld == INVALID_HANDLE_VALUE) return Failure(u"cannot open the file for writing", ::GetLastError());
  std::vector<std::u16string> notes;
  const Status status = ReplaceOpenFile(hOld, LinkTarget(path, hOld), bytes, &notes);
  if (status.ok() && pNotes != nullptr) pNotes->swap(notes);
  return status;
}

void* LoadModule(const std::u16string& path) { return ::LoadLibraryW(W(path)); }

void* FindModuleSymbol(void* hModule, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(hModule), name));
}

void UnloadModule(void* hModule) { ::FreeLibrary(static_cast<HMODULE>(hModule)); }

bool GetCurrentDir(std::u16string* out) {
  // The directory may change in between the calls: the buffer grows again to the size it then asks for.
  return FetchText([](wchar_t* buf, DWORD n) { return ::GetCurrentDirectoryW(n, buf); }, out);
}

bool AbsolutePath(const std::u16string& path, std::u16string* out) {
  // A drive with its root (C:\dir) or two backslashes first (a share, a device): absolute as it stands.
  // The system resolves anything else, also \dir (the current drive's root) and C:dir (the current
  // directory of that drive).
  const bool bDriveRoot = path.size() >= 3 && path[1] == u':' && path[2] == u'\\';
  const bool bDoubleBackslash = path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\';
  if (bDriveRoot || bDoubleBackslash) {
    *out = path;
    return true;
  }
  return FetchText([&path](wchar_t* buf, DWORD n) { return ::GetFullPathNameW(W(path), n, buf, nullptr); },
                   out);
}

bool SetCurrentDir(const std::u16string& dir) { return ::SetCurrentDirectoryW(W(dir)) != 0; }

int64_t CurrentTimeSeconds() { return static_cast<int64_t>(::_time64(nullptr)); }

bool FormatLocalTime(int64_t seconds, std::u16string* out) {
  __time64_t t = static_cast<__time64_t>(seconds);
  struct tm local;
  if (::_localtime64_s(&local, &t) != 0) return false;
  wchar_t buf[128];
  size_t n = ::wcsftime(buf, 128, L"%Y-%m-%d %H:%M:%S", &local);
  if (n == 0) return false;
  out->assign(reinterpret_cast<const char16_t*>(buf), n);
  return true;
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(::GetCurrentThreadId()); }

std::string ToNarrowText(const std::u16string& text) {
  if (text.empty()) return std::string();
  int wlen = static_cast<int>(text.size());
  // Without WC_NO_BEST_FIT_CHARS a character the code page lacks becomes a look-alike (Ā becomes A); with
  // it, the default character. Code pages such as UTF-8 refuse the flag, and need none.
  DWORD dwFlags = WC_NO_BEST_FIT_CHARS;
  int n = ::WideCharToMultiByte(CP_ACP, dwFlags, W(text), wlen, nullptr, 0, nullptr, nullptr);
  if (n <= 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
    dwFlags = 0;
    n = ::WideCharToMultiByte(CP_ACP, dwFlags, W(text), wlen, nullptr, 0, nullptr, nullptr);
  }
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, dwFlags, W(text), wlen, &out[0], n, nullptr, nullptr);
  return out;
}

int CompareNoCase(const char16_t* a, const char16_t* b) { return ::_wcsicmp(W(a), W(b)); }

void UseMessageFileLocale() { ::setlocale(LC_ALL, "chinese-simplified"); }

void UseConsoleLocale() {}

bool GetTextLocaleName(std::u16string* out) {
  const wchar_t* name = ::_wsetlocale(LC_CTYPE, nullptr);
  if (name == nullptr) return false;
  out->assign(reinterpret_cast<const char16_t*>(name));
  return true;
}

// A critical section is re-entrant by nature, so both kinds of lock are the same object here.
Mutex::Mutex(bool /*bRecursive*/) {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof(m_storage), "lock storage too small");
  static_assert(alignof(CRITICAL_SECTION) <= 8, "lock storage misaligned");
  ::InitializeCriticalSection(NativeLock(m_storage));
}

Mutex::~Mutex() { ::DeleteCriticalSection(NativeLock(m_storage)); }

void Mutex::Lock() { ::EnterCriticalSection(NativeLock(m_storage)); }

void Mutex::Unlock() { ::LeaveCriticalSection(NativeLock(m_storage)); }

}  // namespace platform
}  // namespace tidings
