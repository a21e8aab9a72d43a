// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Reading one value out of a registry export file (the text `reg export` and regedit write), which is
// where the POSIX build keeps the settings that live under HKEY_LOCAL_MACHINE on Windows.
//
// Accepted input:
// - Encoding: UTF-16LE after an FF FE byte order mark; otherwise UTF-8, with or without EF BB BF. A byte
//   that is not well-formed UTF-8 reads as a lone surrogate of its own, U+DC80 to U+DCFF, as utf.h
//   decodes it. Line ends are LF or CRLF.
// - The first non-blank line is "Windows Registry Editor Version 5.00" or "REGEDIT4".
// - "[HKEY_LOCAL_MACHINE\path]" or "[HKLM\path]" starts a section for that key; "[-...]" deletes the key
//   and all its subkeys. A key may have several sections; they apply in file order.
// - In a section: "name"=<data> or @=<data> (the unnamed value), where <data> is "text" (REG_SZ, with
//   the escapes \\ and \"), dword:<1 to 8 hex digits>, hex:<bytes> (REG_BINARY), hex(<type in hex>):<bytes>,
//   or - (deletes the value). <bytes> is a comma-separated list of 1- or 2-digit hex numbers and may be
//   continued on following lines by ending a line with a backslash. Spaces and tabs are allowed around
//   "=" and at either end of a line.
// - Lines starting with ';' are comments.
// Key paths and value names compare without regard to ASCII case; one trailing backslash on a key path
// is ignored.

#ifndef TIDINGS_PLATFORM_POSIX_REG_FILE_H_
#define TIDINGS_PLATFORM_POSIX_REG_FILE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace tidings {
namespace platform {

// One registry value as the registry itself stores it.
struct RegValue {
  uint32_t dwType = 0;  // REG_NONE 0, REG_SZ 1, REG_EXPAND_SZ 2, REG_BINARY 3, REG_DWORD 4, REG_MULTI_SZ 7,
                        // REG_QWORD 11, ...
  std::string data;     // the raw value bytes: for REG_SZ the UTF-16LE text including its 2-byte
                        // terminator; for REG_DWORD 4 bytes little-endian; for hex:/hex(N): the listed bytes
};

// Looks up value `valueName` (empty for the unnamed value) of key HKEY_LOCAL_MACHINE\`keyPath` in the
// text of a registry export file. `fileBytes` is the whole file as read from disk. The outcome is what
// the registry would hold after importing the file into an empty one: the last line that assigns the
// value decides, unless a later deletion of the value or of the key (or of a key above it) removes it.
// Returns false, leaving *out untouched, when the file is not a registry export, the key or the value
// is missing, or the line that decides is malformed. A malformed line affects only the value it names.
// `out` may be null to test for presence. Runs in time linear in the size of the file, for any bytes.
bool FindRegFileValue(const std::string& fileBytes, const std::u16string& keyPath,
                      const std::u16string& valueName, RegValue* out);

// The same value as ReadSetting reads it (see platform.h), read from its bytes by SettingFromRegistryValue.
std::optional<Setting> FindRegFileSetting(const std::string& fileBytes, const std::u16string& keyPath,
                                          const std::u16string& valueName);

}  // namespace platform
}  // namespace tidings

#endif  // TIDINGS_PLATFORM_POSIX_REG_FILE_H_
