// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// tidings-msgcheck <file>. Outside Windows the path arrives as narrow text, taken to be UTF-8.

#include <cstdio>
#include <string>
#include <vector>

#include "msg_check.h"
#include "platform/posix/utf.h"

int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(tidings::platform::Utf8ToUtf16(argv[i]));
  std::string strOut;
  std::string strErr;
  const int nStatus = tidings::msgcheck::RunMsgCheck(args, &strOut, &strErr);
  std::fwrite(strOut.data(), 1, strOut.size(), stdout);
  std::fwrite(strErr.data(), 1, strErr.size(), stderr);
  return nStatus;
}
