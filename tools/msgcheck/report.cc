// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "report.h"

#include <algorithm>
#include <iterator>

#include "platform/platform.h"
#include "platform/utf.h"

namespace tidings {
namespace msgcheck {

namespace {

// Whether strText[i] is a unit ShownText escapes.
bool IsUnshown(const std::u16string& strText, size_t i) {
  const char16_t c = strText[i];
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  if (c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
      (c >= 0x2066 && c <= 0x2069)) {
    return true;
  }
  return platform::IsUnpairedSurrogate(strText, i);
}

void AppendEscape(char16_t c, const char16_t* lpPrefix, int nDigits, std::u16string* pOut) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  *pOut += lpPrefix;
  for (int shift = 4 * (nDigits - 1); shift >= 0; shift -= 4) *pOut += kHex[(c >> shift) & 0xF];
}

void AppendShown(const std::u16string& strText, size_t i, std::u16string* pOut) {
  const char16_t c = strText[i];
  if (!IsUnshown(strText, i)) {
    *pOut += c;
  } else if (c <= 0xFF) {
    AppendEscape(c, u"\\x", 2, pOut);
  } else {
    AppendEscape(c, u"\\u", 4, pOut);
  }
}

std::u16string Count(size_t n, const char16_t* lpOne, const char16_t* lpMany) {
  return DecimalText(uint64_t{n}) + u" " + (n == 1 ? lpOne : lpMany);
}

const char16_t* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return u"error";
    case Severity::kWarning:
      return u"warning";
    case Severity::kInfo:
      break;
  }
  return u"info";
}

// What the file comes to, in a few words.
std::u16string SummaryText(const CheckResult& result) {
  if (!result.bLoads) return u"nothing would load, and the library would skip every save";
  const size_t nDefault = result.defaults.messages.size();
  const size_t nDynamic = result.dynamics.messages.size();
  std::u16string strText = Count(nDefault + nDynamic, u"message", u"messages") + u" would load (" +
                           DecimalText(uint64_t{nDefault}) + u" default, " + DecimalText(uint64_t{nDynamic}) +
                           u" dynamic), ";
  if (result.Count(Severity::kError) != 0) strText += u"but no save would succeed, ";
  return strText + Count(result.Count(Severity::kWarning), u"warning", u"warnings");
}

void FormatSection(const char16_t* lpName, const SectionResult& section, std::u16string* pOut) {
  *pOut += lpName;
  if (!section.bFound) {
    *pOut += u": missing\n";
    return;
  }
  if (section.place.nLine != 0) *pOut += u" (line " + DecimalText(section.place.nLine) + u")";
  *pOut += u": " + Count(section.messages.size(), u"message", u"messages") + u"\n";
  for (const LoadedMessage& message : section.messages) {
    const _Message_Item& item = message.item;
    *pOut += u"  " + DecimalText(int64_t{item.dwMsgID});
    if (message.place.nLine != 0) *pOut += u" (line " + DecimalText(message.place.nLine) + u")";
    *pOut += u": span " + QuoteText(item.strMsgSpan) + u", name " + QuoteText(item.strMsgName) + u", info " +
             QuoteText(item.strMsgSInfo) + u", echo path " + QuoteText(item.strMsgEchoPath) + u", ShowType " +
             DecimalText(int64_t{item.ShowType}) + u", timeout " +
             DecimalText(int64_t{item.dwPopShowTimeout}) + u"\n";
  }
}

// A JSON string: ASCII as it is, but for the quote, the backslash and what ShownText escapes; everything
// else as \uNNNN.
std::string JsonText(const std::u16string& strText) {
  std::u16string strOut = u"\"";
  for (size_t i = 0; i < strText.size(); ++i) {
    const char16_t c = strText[i];
    if (c == u'"' || c == u'\\') {
      strOut += u'\\';
      strOut += c;
    } else if (c >= 0x20 && c < 0x7F) {
      strOut += c;
    } else {
      AppendEscape(c, u"\\u", 4, &strOut);
    }
  }
  strOut += u'"';
  return std::string(strOut.begin(), strOut.end());  // ASCII only by now
}

std::string JsonNumber(int64_t n) { return std::to_string(n); }

std::string JsonPlace(const Place& place) {
  return "\"line\":" + JsonNumber(static_cast<int64_t>(place.nLine)) +
         ",\"column\":" + JsonNumber(static_cast<int64_t>(place.nColumn));
}

void JsonMessages(const char* lpSection, const SectionResult& section, std::string* pOut) {
  for (const LoadedMessage& message : section.messages) {
    const _Message_Item& item = message.item;
    if (pOut->back() != '[') *pOut += ',';
    *pOut += std::string("{\"section\":\"") + lpSection + "\",\"id\":" + JsonNumber(item.dwMsgID) + "," +
             JsonPlace(message.place) + ",\"span\":" + JsonText(item.strMsgSpan) +
             ",\"name\":" + JsonText(item.strMsgName) + ",\"info\":" + JsonText(item.strMsgSInfo) +
             ",\"echoPath\":" + JsonText(item.strMsgEchoPath) + ",\"showType\":" + JsonNumber(item.ShowType) +
             ",\"timeout\":" + JsonNumber(item.dwPopShowTimeout) + "}";
  }
}

}  // namespace

std::u16string ShownText(const std::u16string& strText) {
  std::u16string strShown;
  strShown.reserve(strText.size());
  for (size_t i = 0; i < strText.size(); ++i) AppendShown(strText, i, &strShown);
  return strShown;
}

std::u16string QuoteText(const std::u16string& strText) {
  static const struct {
    char16_t c;
    const char16_t* lpEscape;
  } kEscapes[] = {{u'"', u"\\\""}, {u'\\', u"\\\\"}, {u'\t', u"\\t"}, {u'\n', u"\\n"}, {u'\r', u"\\r"}};
  std::u16string strQuoted = u"\"";
  for (size_t i = 0; i < strText.size(); ++i) {
    const auto* pEscape = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                       [&](const auto& escape) { return escape.c == strText[i]; });
    if (pEscape != std::end(kEscapes)) {
      strQuoted += pEscape->lpEscape;
    } else {
      AppendShown(strText, i, &strQuoted);
    }
  }
  strQuoted += u'"';
  return strQuoted;
}

std::string FormatListing(const CheckResult& result) {
  if (!result.bLoads) return std::string();
  std::u16string strOut;
  FormatSection(u"DefaultMsg", result.defaults, &strOut);
  FormatSection(u"DynamicMsg", result.dynamics, &strOut);
  return platform::ToNarrowText(strOut);
}

std::string FormatDiagnostics(const std::u16string& strFile, const CheckResult& result) {
  const std::u16string strName = ShownText(strFile);
  std::u16string strOut;
  for (const Finding& finding : result.findings) {
    strOut += strName + u":";
    if (finding.place.nLine != 0) {
      strOut += DecimalText(finding.place.nLine) + u":";
      if (finding.place.nColumn != 0) strOut += DecimalText(finding.place.nColumn) + u":";
    }
    strOut +=
        u" " + std::u16string(SeverityName(finding.severity)) + u": " + ShownText(finding.strText) + u"\n";
  }
  strOut += strName + u": " + SummaryText(result) + u"\n";
  return platform::ToNarrowText(strOut);
}

std::string FormatJson(const std::u16string& strFile, const CheckResult& result) {
  std::string strOut = "{\"file\":" + JsonText(strFile) + ",\"status\":" + JsonNumber(result.ExitStatus()) +
                       ",\"loads\":" + (result.bLoads ? "true" : "false") + ",\"messages\":[";
  JsonMessages("DefaultMsg", result.defaults, &strOut);
  JsonMessages("DynamicMsg", result.dynamics, &strOut);
  strOut += "],\"diagnostics\":[";
  for (const Finding& finding : result.findings) {
    if (strOut.back() != '[') strOut += ',';
    strOut += "{" + JsonPlace(finding.place) + ",\"severity\":" + JsonText(SeverityName(finding.severity)) +
              ",\"text\":" + JsonText(finding.strText) + "}";
  }
  return strOut + "],\"summary\":" + JsonText(SummaryText(result)) + "}";
}

}  // namespace msgcheck
}  // namespace tidings
