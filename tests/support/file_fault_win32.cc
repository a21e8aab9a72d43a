// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "file_fault.h"

#include <windows.h>

#include <tlhelp32.h>

#include <string>

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

}  // namespace

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
