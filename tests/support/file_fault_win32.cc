// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "file_fault.h"

#include <windows.h>

#include <tlhelp32.h>

#include <chrono>
#include <string>
#include <thread>

namespace tidings {
namespace test {

namespace {

class WinHeldFile : public HeldFile {
 public:
  explicit WinHeldFile(HANDLE h) : m_h(h) {}
  ~WinHeldFile() override { ::CloseHandle(m_h); }

 private:
  HANDLE m_h;
};

// Under Wine, whose files are the host's, runs the host's `tool` (a program under /usr/bin) with the
// host's name of `path` after `args`, and waits until `path` exists (or, with bRemoves, is gone). False,
// with the reason, elsewhere.
bool RunHostTool(const char* tool, const std::string& args, const std::filesystem::path& path,
                 std::string* pstrWhyNot, bool bRemoves = false) {
  using UnixFileName = char*(__cdecl*)(const wchar_t*);
  const auto pfnUnixFileName = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  char* lpUnixPath = pfnUnixFileName == nullptr ? nullptr : pfnUnixFileName(path.c_str());
  if (lpUnixPath == nullptr) {
    *pstrWhyNot = "Windows cannot make this (only Wine, with the host's tools)";
    return false;
  }
  const std::string strProgram = std::string("Z:\\usr\\bin\\") + tool;
  std::string strCommand = std::string(tool) + " " + args + " \"" + lpUnixPath + "\"";
  ::HeapFree(::GetProcessHeap(), 0, lpUnixPath);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessA(strProgram.c_str(), &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    *pstrWhyNot = "cannot run " + strProgram + ": error " + std::to_string(::GetLastError());
    return false;
  }
  // Wine gives no handle of a host process to wait on.
  if (process.hThread != nullptr) ::CloseHandle(process.hThread);
  if (process.hProcess != nullptr) ::CloseHandle(process.hProcess);
  for (int i = 0; i < 200; ++i) {
    WIN32_FIND_DATAW found;
    HANDLE hFind = ::FindFirstFileW(path.c_str(), &found);
    if (hFind != INVALID_HANDLE_VALUE) ::FindClose(hFind);
    if ((hFind != INVALID_HANDLE_VALUE) != bRemoves) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *pstrWhyNot = strCommand + " did nothing";
  return false;
}

}  // namespace

bool MakeOddPath(const std::filesystem::path& path, OddPath kind, std::string* pstrWhyNot) {
  switch (kind) {
    case OddPath::kFifo:
      return RunHostTool("mkfifo", "", path, pstrWhyNot);
    case OddPath::kDirectory:
      if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
      *pstrWhyNot = "CreateDirectoryW failed with error " + std::to_string(::GetLastError());
      return false;
    case OddPath::kLinkToDevNull:
      return RunHostTool("ln", "-s /dev/null", path, pstrWhyNot);
    case OddPath::kLinkToDevZero:
      return RunHostTool("ln", "-s /dev/zero", path, pstrWhyNot);
    case OddPath::kSocket:
      *pstrWhyNot = "no socket's file here: Wine has no AF_UNIX sockets";
      return false;
  }
  return false;
}

void RemoveOddPath(const std::filesystem::path& path) {
  // Wine deletes neither a FIFO nor a link to a device.
  std::string strWhyNot;
  if (!::RemoveDirectoryW(path.c_str()) && !::DeleteFileW(path.c_str()))
    RunHostTool("rm", "-f", path, &strWhyNot, true);
}

std::unique_ptr<SmallVolume> MountSmallVolume(const std::filesystem::path& /*dir*/, size_t /*cbSize*/,
                                              std::string* pstrWhyNot) {
  *pstrWhyNot = "no small volumes to mount on Windows";
  return nullptr;
}

std::unique_ptr<HeldFile> HoldFileAgainstReplacement(const std::filesystem::path& file,
                                                     std::string* pstrWhyNot) {
  // Sharing read only: whoever comes next may read the file, but not write, delete or rename over it.
  HANDLE h = ::CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *pstrWhyNot = "CreateFileW failed with error " + std::to_string(::GetLastError());
    return nullptr;
  }
  return std::unique_ptr<HeldFile>(new WinHeldFile(h));
}

uint32_t FileAttributeBits(const std::filesystem::path& file) { return ::GetFileAttributesW(file.c_str()); }

bool SetFileAttributeBits(const std::filesystem::path& file, uint32_t nBits) {
  return ::SetFileAttributesW(file.c_str(), nBits) != 0;
}

uint32_t ThisProcessId() { return ::GetCurrentProcessId(); }

// Any other process of the system (under Wine one of its own services).
uint32_t AnotherRunningProcessId() {
  HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (hSnapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  DWORD dwId = 0;
  for (BOOL bMore = ::Process32FirstW(hSnapshot, &entry); bMore && dwId == 0;
       bMore = ::Process32NextW(hSnapshot, &entry)) {
    if (entry.th32ProcessID != 0 && entry.th32ProcessID != ::GetCurrentProcessId())
      dwId = entry.th32ProcessID;
  }
  ::CloseHandle(hSnapshot);
  return dwId;
}

}  // namespace test
}  // namespace tidings
