// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Fuzzes the promise of a save: a file that loads also saves. For every input the loader accepts, one of
// its dynamic messages is deleted and messages with hostile texts are added; the save must write the file,
// which must load again with exactly the messages saved (as the file can carry and its DTD normalises
// them) and the default messages it had. The save takes what the load learnt of the file, as the library
// does; a save of a copy, which parses the file again, must write the same bytes. An input that does not
// load, for want of a MsgList, is tried again with the message sections put into its document element:
// so any XML document serves as a seed.
//
// With TIDINGS_ROUND_TRIP_COUNTS set, it prints at exit how many inputs it saved and read back.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <xercesc/util/PlatformUtils.hpp>

#include "persist/msg_file.h"
#include "platform/utf.h"

namespace {

std::string g_strDir;
size_t g_nInputs = 0;
size_t g_nSaved = 0;

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Texts no file would choose: markup, references, white space the parser folds, spaces a DTD may
// normalise, units XML cannot carry (or only as references), pairs and lone halves of pairs.
const std::u16string kHostile[] = {
    u"",
    u"a & b < c > d \" ' ]]> &amp; &#65; %pe; <!-- --> <?pi?> <![CDATA[x]]>",
    u"  leading, double  spaces and trailing  ",
    u"tab\there\nline\r\ncrlf\rcr",
    {0x1, 0x1F, 0x7F, 0x85, 0x2028, 0x2029, 0xFFFE, 0xFFFF, 0xD800, u'x', 0xDC00, 0xD83D, 0xDE00, 0xFEFF,
     0xA0},
    u"中文 Grüße \U0001D11E \u00E9",
};

// A text made of the input's own bytes, two to a unit, without the terminator no caller's text holds.
std::u16string TextOf(const std::string& bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size() && text.size() < 48; i += 2) {
    const char16_t unit =
        static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) << 8 | static_cast<uint8_t>(bytes[i + 1]));
    if (unit != 0) text.push_back(unit);
  }
  return text;
}

// `text` as a file of that XML version holds it: units it cannot carry at all as U+FFFD (*pnReplaced counts
// them).
std::u16string Carried(std::u16string text, bool bXml11, size_t* pnReplaced) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    bool bBad = unit == 0xFFFE || unit == 0xFFFF ||
                (unit < 0x20 && !bXml11 && unit != 0x9 && unit != 0xA && unit != 0xD);
    bBad = bBad || tidings::platform::IsUnpairedSurrogate(text, i);
    if (bBad) {
      text[i] = u'\uFFFD';
      ++*pnReplaced;
    }
  }
  return text;
}

// Trims white space and folds each run of it into one space, as Xerces-C does to an attribute declared
// other than CDATA.
std::u16string Folded(const std::u16string& text, bool bXml11) {
  std::u16string out;
  for (char16_t unit : text) {
    const bool bSpace = unit == u' ' || unit == 0x9 || unit == 0xA || unit == 0xD ||
                        (bXml11 && (unit == 0x85 || unit == 0x2028));
    if (!bSpace) {
      out.push_back(unit);
    } else if (!out.empty() && out.back() != u' ') {
      out.push_back(u' ');
    }
  }
  if (!out.empty() && out.back() == u' ') out.pop_back();
  return out;
}

bool SameFields(const tidings::_Message_Item& a, const tidings::_Message_Item& b) {
  return a.strMsgSpan == b.strMsgSpan && a.strMsgName == b.strMsgName && a.strMsgSInfo == b.strMsgSInfo &&
         a.strMsgEchoPath == b.strMsgEchoPath && a.ShowType == b.ShowType &&
         a.dwPopShowTimeout == b.dwPopShowTimeout;
}

// What message `item` must read back as in a file of that XML version, after a save that reported
// `result` about it; false when the save's count of units written as U+FFFD does not fit that version.
bool Expected(tidings::_Message_Item item, const tidings::MsgFileWriteResult& result, bool bXml11,
              tidings::_Message_Item* pExpected) {
  std::u16string* const texts[] = {&item.strMsgSpan, &item.strMsgName, &item.strMsgSInfo,
                                   &item.strMsgEchoPath};
  static const char16_t* const kNames[] = {u"MsgSpan", u"MsgName", u"MsgSInfo", u"MsgEchoPath"};
  size_t nReported = 0, nReplaced = 0;
  for (const auto& replaced : result.replaced) {
    if (replaced.first == item.dwMsgID) nReported = replaced.second;
  }
  for (size_t i = 0; i < 4; ++i) {
    *texts[i] = Carried(*texts[i], bXml11, &nReplaced);
    for (const auto& normalised : result.normalised) {
      if (normalised.first == item.dwMsgID && normalised.second == kNames[i])
        *texts[i] = Folded(*texts[i], bXml11);
    }
  }
  *pExpected = item;
  return nReplaced == nReported;
}

// Whether `read` is what `item` must read back as, the input's XML version being either.
bool ReadsBackAsSaved(const tidings::_Message_Item& read, const tidings::_Message_Item& item,
                      const tidings::MsgFileWriteResult& result) {
  tidings::_Message_Item expected;
  for (bool bXml11 : {false, true}) {
    if (Expected(item, result, bXml11, &expected) && SameFields(read, expected)) return true;
  }
  return false;
}

// Loads `bytes` as a message file; if it loads, saves it changed and checks what it reads back as. Whether
// it loaded.
bool RoundTrip(const std::string& bytes, const std::string& path) {
  WriteFile(path, bytes);
  tidings::LoadedMessages loaded;
  if (!tidings::ReadMsgFile(Utf16(path), 0, &loaded)) return false;
  const std::string copy = path + ".copy";
  WriteFile(copy, bytes);
  ++g_nInputs;

  std::vector<tidings::_Message_Item> items = loaded.dynamics;
  if (!items.empty()) items.erase(items.begin() + static_cast<std::ptrdiff_t>(bytes.size() % items.size()));
  const std::u16string own = TextOf(bytes);
  const size_t nHostile = sizeof kHostile / sizeof kHostile[0];
  static const int32_t kNumbers[] = {INT32_MIN, -1, 0, 7, INT32_MAX};
  for (size_t i = 0; i <= nHostile; ++i) {
    tidings::_Message_Item item;
    item.strMsgSpan = kHostile[i % nHostile];
    item.strMsgName = i == nHostile ? own : kHostile[(i + 2) % nHostile];
    item.strMsgSInfo = kHostile[(i + 1) % nHostile] + own;
    item.strMsgEchoPath = kHostile[(i + 3) % nHostile];
    item.ShowType = kNumbers[i % 5];
    item.dwPopShowTimeout = kNumbers[(i + 2) % 5];
    item.bSaveAfterClose = 1;
    item.dwMsgID = static_cast<int32_t>(loaded.nNextMsgID + static_cast<int64_t>(i));
    items.push_back(item);
  }

  const tidings::MsgFileWriteResult result =
      tidings::WriteMsgFile(Utf16(path), items, SIZE_MAX, loaded.memo.get());
  if (!result.status.ok() && !result.status.IsNotFound()) {
    const std::u16string strWhy = result.status.Text();
    std::fprintf(stderr, "the save failed: %s\n", std::string(strWhy.begin(), strWhy.end()).c_str());
    __builtin_trap();
  }
  const tidings::MsgFileWriteResult parsed = tidings::WriteMsgFile(Utf16(copy), items);
  const bool bSame = parsed.status.ok() == result.status.ok() &&
                     parsed.status.IsNotFound() == result.status.IsNotFound() &&
                     ReadFile(copy) == ReadFile(path);
  std::remove(copy.c_str());
  if (!bSame) {
    std::fprintf(stderr, "a save that parsed the file again wrote otherwise\n");
    __builtin_trap();
  }
  if (!result.status.ok()) return true;  // no DynamicMsg to save into
  ++g_nSaved;
  tidings::LoadedMessages again;
  if (!tidings::ReadMsgFile(Utf16(path), 0, &again) || again.dynamics.size() != items.size() ||
      again.defaults.size() != loaded.defaults.size()) {
    __builtin_trap();
  }
  for (size_t i = 0; i < items.size(); ++i) {
    if (!ReadsBackAsSaved(again.dynamics[i], items[i], result)) __builtin_trap();
  }
  for (size_t i = 0; i < loaded.defaults.size(); ++i) {
    if (!SameFields(again.defaults[i], loaded.defaults[i])) __builtin_trap();
  }
  return true;
}

// `bytes` with the message sections before its last end tag, in UTF-8 or, after a byte-order mark, UTF-16.
bool WithSections(const std::string& bytes, std::string* pOut) {
  static const std::string kSections =
      "<MsgList><DefaultMsg><Message MsgSInfo=\"d\" ShowTime=\"5\"/></DefaultMsg>"
      "<DynamicMsg><Message MsgSpan=\"s\" MsgName=\"n\" MsgSInfo=\"x\"/><Message "
      "MsgSInfo=\"y\"/></DynamicMsg>"
      "</MsgList>";
  std::string sections = kSections, endTag = "</";
  const bool bLittle = bytes.compare(0, 2, "\xFF\xFE") == 0, bBig = bytes.compare(0, 2, "\xFE\xFF") == 0;
  if (bLittle || bBig) {
    sections.clear();
    for (char c : kSections) sections += bLittle ? std::string{c, '\0'} : std::string{'\0', c};
    endTag = bLittle ? std::string("<\0/\0", 4) : std::string("\0<\0/", 4);
  }
  const size_t nAt = bytes.rfind(endTag);
  if (nAt == std::string::npos) return false;
  *pOut = bytes.substr(0, nAt) + sections + bytes.substr(nAt);
  return true;
}

void PrintCounts() {
  std::fprintf(stderr, "tidings round trip: %zu inputs loaded, %zu saved and read back\n", g_nInputs,
               g_nSaved);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Initialised once here, as a host that uses Xerces-C itself has it: the library then leaves it alone
  // and each input is not also the cost of bringing Xerces-C up and down.
  xercesc::XMLPlatformUtils::Initialize();
  char templ[] = "/tmp/tidings-round-trip-XXXXXX";
  if (::mkdtemp(templ) == nullptr) std::abort();
  g_strDir = templ;
  if (std::getenv("TIDINGS_ROUND_TRIP_COUNTS") != nullptr) std::atexit(PrintCounts);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = g_strDir + "/Msg.xml";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string withSections;
  if (!RoundTrip(bytes, path) && WithSections(bytes, &withSections)) RoundTrip(withSections, path);
  std::remove(path.c_str());
  return 0;
}
