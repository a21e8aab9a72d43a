// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "handler_support.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace handler {

namespace {

const char kRecordFileName[] = "echo-record.txt";

void Append(char* buf, size_t n, const char* text) {
  const size_t used = std::strlen(buf);
  if (used + 1 >= n) return;
  std::strncat(buf, text, n - used - 1);
}

#if defined(_WIN32)

const wchar_t kLibraryFileName[] = L"" TIDINGS_LIBRARY_FILE_NAME;
wchar_t g_wszTraceLog[32768];

// The directory part (with its backslash) of a module's file name, into `buf`; false when unknown.
bool ModuleDirectory(HMODULE hModule, wchar_t* buf, DWORD n) {
  const DWORD got = ::GetModuleFileNameW(hModule, buf, n);
  if (got == 0 || got >= n) return false;
  wchar_t* slash = std::wcsrchr(buf, L'\\');
  if (slash == nullptr) return false;
  slash[1] = 0;
  return true;
}

FILE* OpenRecordFile() {
  HMODULE hSelf = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&OpenRecordFile), &hSelf)) {
    return nullptr;
  }
  wchar_t path[32768];
  if (!ModuleDirectory(hSelf, path, 32000)) return nullptr;
  const size_t used = std::wcslen(path);
  for (size_t i = 0; kRecordFileName[i] != 0; ++i) path[used + i] = static_cast<wchar_t>(kRecordFileName[i]);
  path[used + sizeof kRecordFileName - 1] = 0;
  return ::_wfopen(path, L"ab");
}

#else

char g_szTraceLog[8192];

FILE* OpenRecordFile() {
  Dl_info info;
  std::memset(&info, 0, sizeof info);
  if (::dladdr(reinterpret_cast<void*>(&OpenRecordFile), &info) == 0 || info.dli_fname == nullptr) {
    return nullptr;
  }
  char path[8192];
  std::snprintf(path, sizeof path, "%s", info.dli_fname);
  char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return nullptr;
  slash[1] = 0;
  Append(path, sizeof path, kRecordFileName);
  return std::fopen(path, "ab");
}

// Finds the loaded object whose file name is the library's, and copies its full path.
int FindLibraryPath(struct dl_phdr_info* info, size_t, void* data) {
  const char* name = info->dlpi_name;
  if (name == nullptr) return 0;
  const char* base = std::strrchr(name, '/');
  if (base == nullptr || std::strcmp(base + 1, TIDINGS_LIBRARY_FILE_NAME) != 0) return 0;
  std::snprintf(static_cast<char*>(data), 8192, "%s", name);
  return 1;
}

#endif

}  // namespace

void Record(const char* const* fields, size_t nFields) {
  char line[16384] = {0};
  for (size_t i = 0; i < nFields; ++i) {
    if (i > 0) Append(line, sizeof line, "\t");
    Append(line, sizeof line, fields[i]);
  }
  Append(line, sizeof line, "\n");
  FILE* file = OpenRecordFile();
  if (file == nullptr) return;
  std::fputs(line, file);
  std::fclose(file);
}

const char* CurrentDir(char* buf, size_t n) {
  std::snprintf(buf, n, "?");
#if defined(_WIN32)
  wchar_t wide[32768];
  const DWORD got = ::GetCurrentDirectoryW(32768, wide);
  if (got == 0 || got >= 32768) return buf;
  static_assert(sizeof(wchar_t) == sizeof(TIDINGS_WCHAR), "UTF-16 on Windows");
  return ToUtf8(wide, buf, n);
#else
  if (::getcwd(buf, n) == nullptr) std::snprintf(buf, n, "?");
  return buf;
#endif
}

const char* ToUtf8(const TIDINGS_WCHAR* text, char* buf, size_t n) {
  size_t out = 0;
  auto put = [&](uint32_t byte) {
    if (out + 1 < n) buf[out++] = static_cast<char>(byte);
  };
  for (size_t i = 0; text[i] != 0; ++i) {
    uint32_t c = static_cast<uint16_t>(text[i]);
    if (c >= 0xD800 && c < 0xDC00 && static_cast<uint16_t>(text[i + 1]) >= 0xDC00 &&
        static_cast<uint16_t>(text[i + 1]) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[i + 1]) - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = '?';
    }
    if (c < 0x80) {
      put(c);
    } else if (c < 0x800) {
      put(0xC0 | (c >> 6));
      put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      put(0xE0 | (c >> 12));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    } else {
      put(0xF0 | (c >> 18));
      put(0x80 | ((c >> 12) & 0x3F));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    }
  }
  if (n > 0) buf[out] = 0;
  return buf;
}

const char* Hex(uintptr_t value, char* buf) {
  char digits[32];
  size_t n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (size_t i = 0; i < n; ++i) buf[i] = digits[n - 1 - i];
  buf[n] = 0;
  return buf;
}

#if defined(_WIN32)

void* OpenLibrary() {
  HMODULE hLibrary = nullptr;
  if (!::GetModuleHandleExW(0, kLibraryFileName, &hLibrary)) return nullptr;
  return hLibrary;
}

void* LibraryExport(void* hLibrary, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(hLibrary), name));
}

void CloseLibrary(void* hLibrary) { ::FreeLibrary(static_cast<HMODULE>(hLibrary)); }

void NoteTraceLog() {
  HMODULE hLibrary = ::GetModuleHandleW(kLibraryFileName);
  if (hLibrary == nullptr || !ModuleDirectory(hLibrary, g_wszTraceLog, 32000)) {
    g_wszTraceLog[0] = 0;
    return;
  }
  std::wcscat(g_wszTraceLog, L"Config\\UILogTrace.txt");
}

long TraceLogSize() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (g_wszTraceLog[0] == 0 || !::GetFileAttributesExW(g_wszTraceLog, GetFileExInfoStandard, &data))
    return -1;
  return static_cast<long>(data.nFileSizeLow);
}

#else

void* OpenLibrary() {
  char path[8192] = {0};
  if (::dl_iterate_phdr(&FindLibraryPath, path) == 0) return nullptr;
  return ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
}

void* LibraryExport(void* hLibrary, const char* name) { return ::dlsym(hLibrary, name); }

void CloseLibrary(void* hLibrary) { ::dlclose(hLibrary); }

void NoteTraceLog() {
  char path[8192] = {0};
  g_szTraceLog[0] = 0;
  if (::dl_iterate_phdr(&FindLibraryPath, path) == 0) return;
  char* slash = std::strrchr(path, '/');
  slash[1] = 0;
  Append(g_szTraceLog, sizeof g_szTraceLog, path);
  Append(g_szTraceLog, sizeof g_szTraceLog, "Config/UILogTrace.txt");
}

long TraceLogSize() {
  struct stat st;
  if (g_szTraceLog[0] == 0 || ::stat(g_szTraceLog, &st) != 0) return -1;
  return static_cast<long>(st.st_size);
}

__attribute__((constructor)) static void ModuleLoaded() { OnLoad(); }
__attribute__((destructor)) static void ModuleUnloading() { OnUnload(); }

#endif

}  // namespace handler

#if defined(_WIN32)
// The module's load and unload hooks.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID) {
  if (dwReason == DLL_PROCESS_ATTACH) handler::OnLoad();
  if (dwReason == DLL_PROCESS_DETACH) handler::OnUnload();
  return TRUE;
}
#endif
