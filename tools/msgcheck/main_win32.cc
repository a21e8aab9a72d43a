// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// tidings-msgcheck <file>. On Windows the path arrives as UTF-16 through the wide entry point, so a
// path outside the ANSI code page works.

#include <cstdio>
#include <string>
#include <vector>

#include "msg_check.h"

int wmain(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows texts are UTF-16");
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg(argv[i]);
    args.emplace_back(arg.begin(), arg.end());
  }
  std::string strOut;
  std::string strErr;
  const int nStatus = tidings::msgcheck::RunMsgCheck(args, &strOut, &strErr);
  std::fwrite(strOut.data(), 1, strOut.size(), stdout);
  std::fwrite(strErr.data(), 1, strErr.size(), stderr);
  return nStatus;
}
