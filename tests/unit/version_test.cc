// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The version CMake sets, as the header and (on Windows) every module we ship carry it.

#include <gtest/gtest.h>

#include <string>

#include "tidings.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

TEST(VersionTest, HeaderMacrosAreCMakesVersion) {
  EXPECT_STREQ(TIDINGS_VERSION_STRING, TIDINGS_TEST_CMAKE_VERSION);
  EXPECT_EQ(std::to_string(TIDINGS_VERSION_MAJOR) + "." + std::to_string(TIDINGS_VERSION_MINOR) + "." +
                std::to_string(TIDINGS_VERSION_PATCH),
            TIDINGS_TEST_CMAKE_VERSION);
}

#if defined(_WIN32)
// A value of the module's StringFileInfo in the language block the build writes, or "(none)".
std::wstring VersionText(const std::vector<char>& info, const wchar_t* name) {
  void* value = nullptr;
  UINT nChars = 0;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(info.data(), query.c_str(), &value, &nChars) || nChars == 0) return L"(none)";
  return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(VersionTest, EveryShippedModuleCarriesCMakesVersion) {
  wchar_t szExe[MAX_PATH];
  ASSERT_NE(GetModuleFileNameW(nullptr, szExe, MAX_PATH), 0u);
  const std::wstring dir = std::wstring(szExe).substr(0, std::wstring(szExe).rfind(L'\\') + 1);
  const std::string version = TIDINGS_TEST_CMAKE_VERSION;
  const std::wstring wideVersion(version.begin(), version.end());
  for (const wchar_t* name : {L"" TIDINGS_TEST_LIBRARY, L"" TIDINGS_TEST_HANDLER, L"" TIDINGS_TEST_MSGCHECK}) {
    SCOPED_TRACE(testing::Message() << std::string(name, name + wcslen(name)));
    const std::wstring path = dir + name;
    DWORD dwIgnored = 0;
    const DWORD nSize = GetFileVersionInfoSizeW(path.c_str(), &dwIgnored);
    ASSERT_NE(nSize, 0u) << "no version resource";
    std::vector<char> info(nSize);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, nSize, info.data()));
    void* value = nullptr;
    UINT nBytes = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &nBytes));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    const DWORD dwMS = MAKELONG(TIDINGS_VERSION_MINOR, TIDINGS_VERSION_MAJOR);
    const DWORD dwLS = MAKELONG(0, TIDINGS_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, dwMS);
    EXPECT_EQ(fixed->dwFileVersionLS, dwLS);
    EXPECT_EQ(fixed->dwProductVersionMS, dwMS);
    EXPECT_EQ(fixed->dwProductVersionLS, dwLS);
    EXPECT_TRUE(VersionText(info, L"FileVersion") == wideVersion);
    EXPECT_TRUE(VersionText(info, L"ProductVersion") == wideVersion);
    EXPECT_TRUE(VersionText(info, L"CompanyName") == L"The Tidings developers");
    EXPECT_EQ(VersionText(info, L"LegalCopyright").find(L"Copyright 2026 The Tidings developers"), 0u);
    EXPECT_TRUE(VersionText(info, L"OriginalFilename") == name);
  }
}
#endif

}  // namespace
