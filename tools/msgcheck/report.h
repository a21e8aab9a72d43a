// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// How tidings-msgcheck shows what it found: the listing of the messages, the diagnostics in the form
// compilers use (FILE:LINE:COLUMN: severity: text), and a JSON record for tools.

#ifndef TIDINGS_TOOLS_MSGCHECK_REPORT_H_
#define TIDINGS_TOOLS_MSGCHECK_REPORT_H_

#include <cstdint>
#include <string>

#include "msg_check.h"
#include "persist/number_text.h"

namespace tidings {
namespace msgcheck {

// The text with every unit that could act on a terminal written as an escape: control characters (C0,
// DEL and C1), the bidirectional controls, the line and paragraph separators and unpaired surrogates, as
// \xNN up to U+00FF and \uNNNN above. No text from a file can then move the cursor, end a line or
// reorder what follows it.
std::u16string ShownText(const std::u16string& strText);

// The text in double quotes, escaped as ShownText escapes it, with the quote and the backslash escaped
// too and tab, line feed and carriage return written \t, \n and \r.
std::u16string QuoteText(const std::u16string& strText);

// The two sections with one line per message, for standard output, in the platform's narrow text (UTF-8
// outside Windows).
std::string FormatListing(const CheckResult& result);

// One line per finding, "FILE:LINE:COLUMN: severity: text" (without COLUMN, or LINE and COLUMN, where
// they are unknown), then the summary "FILE: ...", for standard error, in the platform's narrow text.
std::string FormatDiagnostics(const std::u16string& strFile, const CheckResult& result);

// The whole result as one JSON object on one line, in ASCII (every other character escaped).
std::string FormatJson(const std::u16string& strFile, const CheckResult& result);

}  // namespace msgcheck
}  // namespace tidings

#endif  // TIDINGS_TOOLS_MSGCHECK_REPORT_H_
