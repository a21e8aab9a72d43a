// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// tidings-msgcheck on Windows. Arguments arrive as UTF-16 through the wide entry point, so a path outside
// the ANSI code page works.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "platform/platform.h"

int wmain(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows texts are UTF-16");
  // A message file from standard input is read byte for byte, as from a file.
  _setmode(_fileno(stdin), _O_BINARY);
  // Span and name compare in the locale the library itself sets as it reads the file.
  tidings::platform::UseConsoleLocale();
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg(argv[i]);
    args.emplace_back(arg.begin(), arg.end());
  }
  return tidings::msgcheck::MsgCheckMain(args);
}
