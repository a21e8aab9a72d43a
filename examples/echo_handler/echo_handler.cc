// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// EchoHandler: an example handler module for Tidings.
//
// A client names a handler module in a message's strMsgEchoPath (the module's full path). When it calls
// MSGGOV_EchoMsg for that message, the library
//   1. makes the module's directory the process's current directory,
//   2. loads the module by its full path and looks up the entry point "NBX_EchoMsg",
//   3. calls it with the message's span name, the message name and the caller's dwEchoParam,
//   4. puts the current directory back and unloads the module again.
// So a handler module
//   - exports exactly one function, NBX_EchoMsg, under that undecorated C name, with the callback
//     convention of tidings.h (TIDINGS_CALLBACK: __stdcall on 32-bit Windows);
//   - finishes all its work before it returns: it is unloaded right afterwards, so it must not leave a
//     thread running or a callback registered that points into it, and it must not keep the two text
//     pointers, which are valid during the call only;
//   - may open files relative to the current directory to reach its own directory, as this one does;
//   - may call the library's exports during the call (for example NBX_DeleteMessage for the message it
//     was given), which it reaches through the library module already loaded in the process;
//   - lets no exception escape: the library catches nothing around the call.
//
// This example appends one line per echo to "EchoHandler.log" beside the module: the span name, the
// message name and dwEchoParam, separated by tabs, in UTF-8.

#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "tidings.h"

// On Windows the .def file beside this source names the export (it also keeps the 32-bit stdcall name
// free of its "@12" decoration); elsewhere the entry point is the one symbol made visible.
#if defined(_WIN32)
#define ECHO_HANDLER_EXPORT extern "C"
#else
#define ECHO_HANDLER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// Writes a zero-terminated UTF-16 text to `file` as UTF-8; an unpaired surrogate becomes '?'.
void WriteUtf8(const TIDINGS_WCHAR* text, std::FILE* file) {
  for (; *text != 0; ++text) {
    uint32_t c = static_cast<uint16_t>(*text);
    const uint32_t next = static_cast<uint16_t>(text[1]);
    if (c >= 0xD800 && c < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
      ++text;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = '?';
    }
    if (c < 0x80) {
      std::fputc(static_cast<int>(c), file);
    } else if (c < 0x800) {
      std::fputc(static_cast<int>(0xC0 | (c >> 6)), file);
      std::fputc(static_cast<int>(0x80 | (c & 0x3F)), file);
    } else if (c < 0x10000) {
      std::fputc(static_cast<int>(0xE0 | (c >> 12)), file);
      std::fputc(static_cast<int>(0x80 | ((c >> 6) & 0x3F)), file);
      std::fputc(static_cast<int>(0x80 | (c & 0x3F)), file);
    } else {
      std::fputc(static_cast<int>(0xF0 | (c >> 18)), file);
      std::fputc(static_cast<int>(0x80 | ((c >> 12) & 0x3F)), file);
      std::fputc(static_cast<int>(0x80 | ((c >> 6) & 0x3F)), file);
      std::fputc(static_cast<int>(0x80 | (c & 0x3F)), file);
    }
  }
}

}  // namespace

ECHO_HANDLER_EXPORT void TIDINGS_CALLBACK NBX_EchoMsg(const TIDINGS_WCHAR* lpMsgSpanName,
                                                      const TIDINGS_WCHAR* lpMsgName, uint32_t dwEchoParam) {
  // The library made this module's directory the current one for the duration of the call.
  std::FILE* file = std::fopen("EchoHandler.log", "ab");
  if (file == nullptr) return;
  WriteUtf8(lpMsgSpanName, file);
  std::fputc('\t', file);
  WriteUtf8(lpMsgName, file);
  std::fprintf(file, "\t%lu\n", static_cast<unsigned long>(dwEchoParam));
  std::fclose(file);
}

// The library calls the entry point through ECHOMSGPROC: the two types must agree, calling convention
// included.
static_assert(std::is_same<decltype(&NBX_EchoMsg), ECHOMSGPROC>::value, "NBX_EchoMsg must be an ECHOMSGPROC");
