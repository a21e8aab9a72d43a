// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// A registry value's bytes read as a setting, shared by the two settings stores that hold such values:
// the registry itself (Windows) and the registry export file (POSIX).

#ifndef TIDINGS_PLATFORM_REGISTRY_VALUE_H_
#define TIDINGS_PLATFORM_REGISTRY_VALUE_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/platform.h"

namespace tidings {
namespace platform {

// Value types as the registry numbers them.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// A REG_SZ as its UTF-16LE units up to the first zero one (an odd last byte dropped; the registry keeps a
// string's bytes as they were set, with or without a terminator), a REG_DWORD of at least 4 bytes as the
// number in its first 4; nothing for any other type and for more than kMaxSettingBytes bytes.
std::optional<Setting> SettingFromRegistryValue(uint32_t dwType, std::string_view bytes);

}  // namespace platform
}  // namespace tidings

#endif  // TIDINGS_PLATFORM_REGISTRY_VALUE_H_
