/* Copyright 2026 The Tidings developers */
/* SPDX-License-Identifier: Apache-2.0 */

/* The part of an MSVC installation's C runtime that the example client uses, so that test-zip.sh can build
 * it as an MSVC project would without one: these declarations, msvcrt.def (an import library for Windows'
 * own msvcrt.dll) and crt_startup.c. */
#ifndef TIDINGS_TEST_MSVC_CRT_STDIO_H_
#define TIDINGS_TEST_MSVC_CRT_STDIO_H_

int __cdecl printf(const char* format, ...);

#endif
