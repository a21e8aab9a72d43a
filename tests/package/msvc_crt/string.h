/* Copyright 2026 The Tidings developers */
/* SPDX-License-Identifier: Apache-2.0 */

/* See stdio.h. */
#ifndef TIDINGS_TEST_MSVC_CRT_STRING_H_
#define TIDINGS_TEST_MSVC_CRT_STRING_H_

#include <stddef.h>

void* __cdecl memcpy(void* dst, const void* src, size_t n);
int __cdecl memcmp(const void* a, const void* b, size_t n);

#endif
