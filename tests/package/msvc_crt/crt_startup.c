/* Copyright 2026 The Tidings developers */
/* SPDX-License-Identifier: Apache-2.0 */

/* The entry point of a console program, as the MSVC runtime's startup code is in short: main's status is
 * the process's, through exit, which also flushes stdout. See stdio.h. */
int main(void);
void __cdecl exit(int status);

void mainCRTStartup(void) { exit(main()); }
