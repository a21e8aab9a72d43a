// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// tidings-msgcheck outside Windows. Arguments arrive as narrow text, taken to be UTF-8 (a byte that is not
// stands for itself, as in the library's paths).

#include <string>
#include <vector>

#include "command.h"
#include "platform/platform.h"
#include "platform/utf.h"

int main(int argc, char** argv) {
  // Span and name compare as the library compares them in a host: ASCII letters in any case, other
  // letters as the locale folds them. The output is UTF-8 whatever the locale.
  tidings::platform::UseConsoleLocale();
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(tidings::platform::Utf8ToUtf16(argv[i]));
  return tidings::msgcheck::MsgCheckMain(args);
}
