// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "msg_check.h"
#include "platform/platform.h"
#include "report.h"
#include "tidings.h"

namespace tidings {
namespace msgcheck {

namespace {

const char kProgram[] = "tidings-msgcheck";

const char kUsage[] = "usage: tidings-msgcheck [OPTION]... FILE...\n";

const char kHelp[] =
    "Checks message files of the Tidings library (Config/Msg.xml) with the library's own code: lists on\n"
    "standard output the messages the library would load from each FILE, and reports on standard error\n"
    "what it would refuse, and what it would accept or ignore without a word, as\n"
    "FILE:LINE:COLUMN: error|warning|info: text, then a summary line per file. A FILE of - is standard\n"
    "input.\n"
    "\n"
    "  -q, --quiet        print nothing: the exit status tells\n"
    "      --format=json  print one JSON record per file on standard output instead\n"
    "      --format=text  the listing and the diagnostics (the default)\n"
    "  -h, --help         print this help and exit\n"
    "      --version      print the version of the library and exit\n"
    "      --             every argument after it is a FILE\n"
    "\n"
    "Exit status: 0 clean (information only), 1 warnings, 2 errors (the library would load nothing, or\n"
    "save nothing), 3 a wrong command line, 4 the report could not be written. For several files, the\n"
    "worst of theirs.\n";

enum class Format { kText, kJson, kQuiet };

int UsageError(const std::string& strWhat, std::string* pErr) {
  *pErr += std::string(kProgram) + ": " + strWhat + "\n" + kUsage + "Try '" + kProgram +
           " --help' for more information.\n";
  return kExitUsage;
}

Status ReadStandardInput(std::string* pBytes) {
  char buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) != 0) pBytes->append(buffer, n);
  if (!std::ferror(stdin)) return Status();
  const char* lpWhy = std::strerror(errno);
  return Status::Failed(u"cannot read standard input", std::u16string(lpWhy, lpWhy + std::strlen(lpWhy)));
}

// Writes `text` whole and flushes it; false, with errno set, when that fails.
bool WriteAll(std::FILE* pFile, const std::string& text) {
  return (text.empty() || std::fwrite(text.data(), 1, text.size(), pFile) == text.size()) &&
         std::fflush(pFile) == 0;
}

}  // namespace

int RunMsgCheck(const std::vector<std::u16string>& args, const InputReader& readInput, std::string* pOut,
                std::string* pErr) {
  Format format = Format::kText;
  struct File {
    std::u16string strName;
    bool bStandardInput;
  };
  std::vector<File> files;
  bool bOptions = true;
  for (const std::u16string& arg : args) {
    if (!bOptions || arg == u"-" || arg.empty() || arg[0] != u'-') {
      files.push_back(File{arg, bOptions && arg == u"-"});
    } else if (arg == u"--") {
      bOptions = false;
    } else if (arg == u"-h" || arg == u"--help") {
      *pOut += std::string(kUsage) + kHelp;
      return kExitClean;
    } else if (arg == u"--version") {
      *pOut += std::string(kProgram) + " (Tidings) " + TIDINGS_VERSION_STRING + "\n";
      return kExitClean;
    } else if (arg == u"-q" || arg == u"--quiet") {
      format = Format::kQuiet;
    } else if (arg == u"--format=json" || arg == u"--format=text") {
      if (format != Format::kQuiet) format = arg == u"--format=json" ? Format::kJson : Format::kText;
    } else {
      return UsageError("unknown option '" + platform::ToNarrowText(ShownText(arg)) + "'", pErr);
    }
  }
  if (files.empty()) return UsageError("no file to check", pErr);

  int nStatus = kExitClean;
  size_t nWithErrors = 0;
  size_t nWithWarnings = 0;
  if (format == Format::kJson) *pOut += "[\n";
  for (size_t i = 0; i < files.size(); ++i) {
    CheckResult result;
    if (files[i].bStandardInput) {
      std::string bytes;
      const Status status = readInput(&bytes);
      if (status.ok()) {
        result = CheckMsgBytes(bytes);
      } else {
        result.findings.push_back({Severity::kError, Place(), status.Text()});
      }
    } else {
      result = CheckMsgFile(files[i].strName);
    }
    const int nFileStatus = result.ExitStatus();
    nStatus = std::max(nStatus, nFileStatus);
    nWithErrors += nFileStatus == kExitErrors ? 1 : 0;
    nWithWarnings += nFileStatus == kExitWarnings ? 1 : 0;

    const std::u16string strName = files[i].bStandardInput ? u"<stdin>" : files[i].strName;
    if (format == Format::kJson) {
      *pOut += FormatJson(strName, result) + (i + 1 < files.size() ? ",\n" : "\n");
    } else if (format == Format::kText) {
      if (files.size() > 1) *pOut += "==> " + platform::ToNarrowText(ShownText(strName)) + " <==\n";
      *pOut += FormatListing(result);
      *pErr += FormatDiagnostics(strName, result);
    }
  }
  if (format == Format::kJson) *pOut += "]\n";
  if (format == Format::kText && files.size() > 1) {
    *pErr += std::to_string(files.size()) + " files: " + std::to_string(nWithErrors) + " with errors, " +
             std::to_string(nWithWarnings) + " with warnings, " +
             std::to_string(files.size() - nWithErrors - nWithWarnings) + " clean\n";
  }
  return nStatus;
}

int MsgCheckMain(const std::vector<std::u16string>& args) {
  std::string strOut;
  std::string strErr;
  int nStatus = RunMsgCheck(args, ReadStandardInput, &strOut, &strErr);
  if (!WriteAll(stdout, strOut)) {
    strErr += std::string(kProgram) + ": cannot write to standard output: " + std::strerror(errno) + "\n";
    nStatus = kExitOutput;
  }
  if (!WriteAll(stderr, strErr)) nStatus = kExitOutput;
  return nStatus;
}

}  // namespace msgcheck
}  // namespace tidings
