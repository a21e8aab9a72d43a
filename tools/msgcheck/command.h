// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The tidings-msgcheck command: its options, the files it checks and what it writes where.

#ifndef TIDINGS_TOOLS_MSGCHECK_COMMAND_H_
#define TIDINGS_TOOLS_MSGCHECK_COMMAND_H_

#include <functional>
#include <string>
#include <vector>

#include "platform/status.h"

namespace tidings {
namespace msgcheck {

// Reads standard input whole into *pBytes; fails, with the system's reason, when it cannot.
using InputReader = std::function<Status(std::string* pBytes)>;

// Runs the command on `args` (its arguments without the program's name): what it prints goes to *pOut
// (the listings, or the JSON records, and what --help and --version print) and *pErr (the diagnostics and
// summaries, and what is wrong with the command line); returns the exit status (kExit...).
int RunMsgCheck(const std::vector<std::u16string>& args, const InputReader& readInput, std::string* pOut,
                std::string* pErr);

// The program: RunMsgCheck on the process's standard streams (the platform's entry point has put standard
// input in binary mode). When writing fails (a full disk), says so if it still can, and returns
// kExitOutput.
int MsgCheckMain(const std::vector<std::u16string>& args);

}  // namespace msgcheck
}  // namespace tidings

#endif  // TIDINGS_TOOLS_MSGCHECK_COMMAND_H_
