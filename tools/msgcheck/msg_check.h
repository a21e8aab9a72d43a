// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The message-file checker behind tidings-msgcheck. It reads a message file with the library's own code
// (the parser with its limits, ReadMessages, the store's comparison of span and name, and the save's own
// check of what it would write), lists the messages the library would load from it at a fresh start, and
// reports what the library would refuse, and what it accepts or ignores without a word.

#ifndef TIDINGS_TOOLS_MSGCHECK_MSG_CHECK_H_
#define TIDINGS_TOOLS_MSGCHECK_MSG_CHECK_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "element_lines.h"
#include "store/message_item.h"

namespace tidings {
namespace msgcheck {

// Exit statuses of tidings-msgcheck; for several files, the worst of theirs.
constexpr int kExitClean = 0;     // nothing to report, or information only
constexpr int kExitWarnings = 1;  // the file loads and saves, with warnings
constexpr int kExitErrors = 2;    // the library would load nothing from the file, or save nothing into it
constexpr int kExitUsage = 3;     // the command line was wrong
constexpr int kExitOutput = 4;    // the report could not be written

enum class Severity {
  kInfo,     // worth knowing; nothing is lost or read differently
  kWarning,  // the library accepts or ignores something without a word
  kError,    // nothing would load, or no save would succeed
};

struct Finding {
  Severity severity = Severity::kInfo;
  Place place;  // of the element concerned, or of the fault; nothing when unknown or no place is concerned
  std::u16string strText;
};

struct LoadedMessage {
  _Message_Item item;  // as ReadMessages read it, dwMsgID included
  Place place;
};

struct SectionResult {
  bool bFound = false;
  Place place;
  std::vector<LoadedMessage> messages;
};

struct CheckResult {
  bool bLoads = false;            // the library would read messages from the file (they may be none)
  SectionResult defaults;         // DefaultMsg: IDs -2, -3, ...
  SectionResult dynamics;         // DynamicMsg: IDs 0, 1, ... as at a fresh start
  std::vector<Finding> findings;  // in the order the file was walked

  // kExitErrors when a finding is an error, else kExitWarnings when one is a warning, else kExitClean.
  int ExitStatus() const;
  size_t Count(Severity severity) const;
};

// Checks a message file that holds `bytes`. Initialises Xerces-C for the call where the process has not.
// Letters outside ASCII in span and name compare as the library compares them, in the current locale.
CheckResult CheckMsgBytes(std::string_view bytes);

// Reads the file at `strPath` as the library reads it, and checks it; a file that cannot be read is an
// error that gives the system's reason.
CheckResult CheckMsgFile(const std::u16string& strPath);

}  // namespace msgcheck
}  // namespace tidings

#endif  // TIDINGS_TOOLS_MSGCHECK_MSG_CHECK_H_
