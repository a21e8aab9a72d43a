// The platform interface on Windows.

#include <windows.h>

#include <time.h>
#include <wchar.h>

#include <new>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/module_instance.h"

namespace tidings {
namespace platform {

namespace {

// On Windows wchar_t is the same 16-bit UTF-16 unit as char16_t, so texts cross by a cast.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be UTF-16");

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

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
    bool bOk = ::SetFilePointerEx(m_h, zero, nullptr, FILE_END) != 0;
    while (bOk && n > 0) {
      DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
      DWORD written = 0;
      bOk = ::WriteFile(m_h, data, chunk, &written, nullptr) && written != 0;
      data += written;
      n -= written;
    }
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

std::u16string ErrorText(const char* what, DWORD dwError) {
  const std::string text = std::string(what) + ": error " + std::to_string(dwError);
  return std::u16string(text.begin(), text.end());
}

CRITICAL_SECTION* NativeLock(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }

}  // namespace

void SetModuleInstance(void* hInstance) { g_hInstance = static_cast<HMODULE>(hInstance); }

bool QuerySettingValue(const std::u16string& keyPath, const std::u16string& valueName, size_t cbMax,
                       SettingValue* out) {
  HKEY hKey = nullptr;
  if (::RegOpenKeyW(HKEY_LOCAL_MACHINE, W(keyPath), &hKey) != ERROR_SUCCESS) return false;
  std::vector<BYTE> buf(cbMax + 1, 0);
  DWORD dwType = 0;
  DWORD cb = static_cast<DWORD>(cbMax);
  LONG rc = ::RegQueryValueExW(hKey, W(valueName), nullptr, &dwType, buf.data(), &cb);
  ::RegCloseKey(hKey);
  if (rc != ERROR_SUCCESS) return false;  // absent, or ERROR_MORE_DATA: larger than cbMax
  out->dwType = dwType;
  out->data.assign(reinterpret_cast<const char*>(buf.data()), cb);
  return true;
}

std::u16string OwnModuleFileName() {
  // The library's own module, never the host executable's: DllMain hands over the instance handle; code
  // linked straight into an executable (the unit tests) falls back to the module holding this function.
  HMODULE hModule = g_hInstance;
  if (hModule == nullptr) {
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&OwnModuleFileName), &hModule);
  }
  // A name longer than MAX_PATH is truncated by the API; grow the buffer until the whole name fits.
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameW(hModule, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::u16string();
    if (n < buf.size()) return std::u16string(reinterpret_cast<const char16_t*>(buf.data()), n);
    if (buf.size() >= 32768) return std::u16string();
    buf.resize(buf.size() * 2);
  }
}

char16_t PathSeparator() { return u'\\'; }

std::unique_ptr<AppendFile> OpenAppendFile(const std::u16string& path) {
  HANDLE h = ::CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  std::unique_ptr<AppendFile> file(new (std::nothrow) Win32AppendFile(h));
  if (!file) ::CloseHandle(h);
  return file;
}

bool ReadWholeFile(const std::u16string& path, std::string* out) {
  HANDLE h = ::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string bytes;
  char buf[65536];
  bool bOk = true;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(h, buf, sizeof buf, &got, nullptr)) {
      bOk = false;
      break;
    }
    if (got == 0) break;
    bytes.append(buf, got);
  }
  ::CloseHandle(h);
  if (bOk) out->swap(bytes);
  return bOk;
}

bool ReplaceFileContents(const std::u16string& path, std::string_view bytes, std::u16string* pstrError) {
  std::u16string error;
  // A name of our own beside the target: the same directory, so the rename never crosses volumes.
  static LONG s_nCounter = 0;
  const std::string suffix = ".tmp" + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(::InterlockedIncrement(&s_nCounter));
  const std::u16string temp = path + std::u16string(suffix.begin(), suffix.end());
  HANDLE h = ::CreateFileW(W(temp), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = ErrorText("cannot create the new file", ::GetLastError());
  } else {
    const char* data = bytes.data();
    size_t n = bytes.size();
    while (n > 0 && error.empty()) {
      DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
      DWORD written = 0;
      if (!::WriteFile(h, data, chunk, &written, nullptr) || written == 0) {
        error = ErrorText("cannot write the new file", ::GetLastError());
      }
      data += written;
      n -= written;
    }
    if (error.empty() && !::FlushFileBuffers(h))
      error = ErrorText("cannot flush the new file", ::GetLastError());
    ::CloseHandle(h);
    if (error.empty() &&
        !::MoveFileExW(W(temp), W(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      error = ErrorText("cannot replace the file", ::GetLastError());
    }
    if (!error.empty()) ::DeleteFileW(W(temp));
  }
  if (!error.empty() && pstrError != nullptr) *pstrError = error;
  return error.empty();
}

void* LoadModule(const std::u16string& path) { return ::LoadLibraryW(W(path)); }

void* FindModuleSymbol(void* hModule, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(hModule), name));
}

void UnloadModule(void* hModule) { ::FreeLibrary(static_cast<HMODULE>(hModule)); }

bool GetCurrentDir(std::u16string* out) {
  DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  for (;;) {
    if (n == 0) return false;
    std::vector<wchar_t> buf(n);
    DWORD got = ::GetCurrentDirectoryW(n, buf.data());
    if (got == 0) return false;
    if (got < n) {
      out->assign(reinterpret_cast<const char16_t*>(buf.data()), got);
      return true;
    }
    n = got;  // it grew in between: try again with the size it asks for
  }
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
  DWORD n = ::GetFullPathNameW(W(path), 0, nullptr, nullptr);
  for (;;) {
    if (n == 0) return false;
    std::vector<wchar_t> buf(n);
    DWORD got = ::GetFullPathNameW(W(path), n, buf.data(), nullptr);
    if (got == 0) return false;
    if (got < n) {
      out->assign(reinterpret_cast<const char16_t*>(buf.data()), got);
      return true;
    }
    n = got;  // the current directory grew in between
  }
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

Mutex::Mutex() : Mutex(false) {}

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
