// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// What the test handler modules share: the export of the entry point, the record each module leaves
// beside its own file, and the way back into the library that loaded it.
//
// A handler module is unloaded as soon as its echo ends, so it tells the tests what it saw through a
// file: "echo-record.txt" in the module's own directory, one line per event, fields separated by tabs,
// texts in UTF-8. The code keeps to plain C facilities (no function-local statics, no iostreams), so that
// nothing keeps a module mapped after its last unload.

#ifndef TIDINGS_TESTS_HANDLERS_HANDLER_SUPPORT_H_
#define TIDINGS_TESTS_HANDLERS_HANDLER_SUPPORT_H_

#include <cstddef>
#include <cstdint>

#include "tidings.h"

// The one exported symbol of a handler module; everything else keeps the default hidden visibility.
#if defined(_WIN32)
#define TIDINGS_HANDLER_ENTRY extern "C" __declspec(dllexport)
#else
#define TIDINGS_HANDLER_ENTRY extern "C" __attribute__((visibility("default")))
#endif

namespace handler {

// Defined by each module: called when the module is mapped into the process and when it is unmapped
// (DllMain on Windows, constructor and destructor functions elsewhere).
void OnLoad();
void OnUnload();

// Appends one line made of `nFields` fields, separated by tabs, to this module's record file.
void Record(const char* const* fields, size_t nFields);

// The process's current directory in UTF-8, written into `buf`; "?" when it cannot be read.
const char* CurrentDir(char* buf, size_t n);

// A library text in UTF-8 (unpaired surrogates become '?'), written into `buf`.
const char* ToUtf8(const TIDINGS_WCHAR* text, char* buf, size_t n);

// `value` in upper-case hexadecimal without leading zeros, written into `buf` (at least 17 bytes).
const char* Hex(uintptr_t value, char* buf);

// The library that loaded this module, with a reference of our own; never loads a second copy. Null
// when the library is not in the process. Every non-null result is handed to CloseLibrary.
void* OpenLibrary();
void* LibraryExport(void* hLibrary, const char* name);
void CloseLibrary(void* hLibrary);

// Remembers where the library's trace log lies (Config beside the library), while the library can be
// looked up; TraceLogSize then reports that file's size in bytes, -1 when it cannot tell.
void NoteTraceLog();
long TraceLogSize();

}  // namespace handler

#endif  // TIDINGS_TESTS_HANDLERS_HANDLER_SUPPORT_H_
