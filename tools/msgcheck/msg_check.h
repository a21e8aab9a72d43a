// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The message-file checker behind tidings-msgcheck. It reads a message file with the library's own
// reading code (the parser and ReadMessages), lists the messages the library
// would load from it at a fresh start, and reports what the library accepts or ignores without a word.

#ifndef TIDINGS_TOOLS_MSGCHECK_MSG_CHECK_H_
#define TIDINGS_TOOLS_MSGCHECK_MSG_CHECK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "store/message_item.h"

namespace tidings {
namespace msgcheck {

// Exit statuses of tidings-msgcheck.
constexpr int kExitClean = 0;     // nothing to report, or information only
constexpr int kExitWarnings = 1;  // the file loads, with warnings
constexpr int kExitNothing = 2;   // the library would load nothing from the file
constexpr int kExitUsage = 3;     // the command line was wrong

enum class Severity {
  kInfo,     // worth knowing; nothing is lost or read differently
  kWarning,  // the library accepts or ignores something without a word
  kError,    // nothing would load
};

struct Finding {
  Severity severity = Severity::kInfo;
  uint64_t nLine = 0;  // line of the element concerned; 0 when unknown or when no element is concerned
  std::u16string strText;
};

struct LoadedMessage {
  _Message_Item item;  // as ReadMessages read it, dwMsgID included
  uint64_t nLine = 0;
};

struct SectionResult {
  bool bFound = false;
  uint64_t nLine = 0;
  std::vector<LoadedMessage> messages;
};

struct CheckResult {
  SectionResult defaults;         // DefaultMsg: IDs -2, -3, ...
  SectionResult dynamics;         // DynamicMsg: IDs 0, 1, ... as at a fresh start
  std::vector<Finding> findings;  // in the order the file was walked

  // kExitNothing when a finding is an error, else kExitWarnings when one is a warning, else kExitClean.
  int ExitStatus() const;
};

// Checks the message file at `strPath`. Initialises Xerces-C for the call where the process has not.
CheckResult CheckMsgFile(const std::u16string& strPath);

// The report as tidings-msgcheck prints it, in the platform's narrow text (UTF-8 outside Windows): the
// two sections with one line per message, then one line per finding, then a summary line.
std::string FormatReport(const CheckResult& result);

// The whole command: `args` are its arguments without the program's name. Writes the report, or the
// usage text for -h and --help, to *pOut and complaints about the command line to *pErr; returns the
// exit status.
int RunMsgCheck(const std::vector<std::u16string>& args, std::string* pOut, std::string* pErr);

// Text quoted for the report: in double quotes, with quote, backslash and control characters escaped.
std::u16string QuoteText(const std::u16string& strText);

}  // namespace msgcheck
}  // namespace tidings

#endif  // TIDINGS_TOOLS_MSGCHECK_MSG_CHECK_H_
