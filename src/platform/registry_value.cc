// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "platform/registry_value.h"

namespace tidings {
namespace platform {

std::optional<Setting> SettingFromRegistryValue(uint32_t dwType, std::string_view bytes) {
  if (bytes.size() > kMaxSettingBytes || (dwType != kRegSz && (dwType != kRegDword || bytes.size() < 4)))
    return std::nullopt;
  auto byte = [bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  Setting setting;
  if (dwType == kRegSz) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const char16_t unit = static_cast<char16_t>(byte(i) | (byte(i + 1) << 8));
      if (unit == 0) break;
      setting.text.push_back(unit);
    }
  } else {
    setting.kind = Setting::Kind::kNumber;
    for (size_t i = 4; i-- > 0;) setting.number = (setting.number << 8) | byte(i);
  }
  return setting;
}

}  // namespace platform
}  // namespace tidings
