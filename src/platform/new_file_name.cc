// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "platform/new_file_name.h"

namespace tidings {
namespace platform {

namespace {

const char16_t kSuffix[] = u".tidings-tmp";
constexpr size_t kSuffixLength = sizeof kSuffix / sizeof kSuffix[0] - 1;

}  // namespace

std::u16string NewFileName(const std::u16string& name, uint32_t dwProcessId) {
  const std::string digits = std::to_string(dwProcessId);
  return name + u'.' + std::u16string(digits.begin(), digits.end()) + kSuffix;
}

uint32_t NewFileProcessId(const std::u16string& entry, const std::u16string& name) {
  const size_t nPrefix = name.size() + 1;
  if (entry.size() <= nPrefix + kSuffixLength || entry.compare(0, name.size(), name) != 0 ||
      entry[name.size()] != u'.' ||
      entry.compare(entry.size() - kSuffixLength, kSuffixLength, kSuffix) != 0) {
    return 0;
  }
  const size_t nDigits = entry.size() - nPrefix - kSuffixLength;
  if (nDigits > 10 || entry[nPrefix] == u'0') return 0;
  uint64_t nId = 0;
  for (size_t i = nPrefix; i < nPrefix + nDigits; ++i) {
    if (entry[i] < u'0' || entry[i] > u'9') return 0;
    nId = nId * 10 + static_cast<uint64_t>(entry[i] - u'0');
  }
  return nId > UINT32_MAX ? 0 : static_cast<uint32_t>(nId);
}

}  // namespace platform
}  // namespace tidings
