// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "platform/posix/reg_file.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace tidings {
namespace platform {
namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";
const char kKey[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\quellbridge\\Halvern3.0]\r\n";
const std::u16string kKeyPath = u"SOFTWARE\\quellbridge\\Halvern3.0";

// "<type>:<data in hex>", or "missing", so that each expectation is one comparison.
std::string Find(const std::string& file, const std::u16string& name, const std::u16string& key = kKeyPath) {
  RegValue v;
  if (!FindRegFileValue(file, key, name, &v)) return "missing";
  std::string r = std::to_string(v.dwType) + ":";
  for (char ch : v.data) {
    const unsigned char c = static_cast<unsigned char>(ch);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", c);
    r += hex;
  }
  return r;
}

std::string Reg(const std::string& body) { return kHeader + std::string(kKey) + body; }

TEST(RegFileTest, Header) {
  EXPECT_EQ("1:31000000", Find("\n \r\nREGEDIT4\n" + std::string(kKey) + "\"A\"=\"1\"\n", u"A"));
  EXPECT_EQ("1:31000000", Find(Reg("\"A\"=\"1\""), u"A"));  // no line end at all at the end
  EXPECT_EQ("missing", Find(kKey + std::string("\"A\"=\"1\"\n"), u"A"));
  EXPECT_EQ("missing", Find("; comment\n" + Reg("\"A\"=\"1\"\n"), u"A"));
  EXPECT_EQ("missing", Find("Windows Registry Editor 5.00\n" + std::string(kKey) + "\"A\"=\"1\"", u"A"));
}

TEST(RegFileTest, Encodings) {
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n[HKLM\\Soft]\r\n\"A\"=\"\u00e9\U0001F600\"\r\n";
  std::string utf16 = "\xff\xfe";
  for (char16_t c : text) utf16 += {static_cast<char>(c & 0xff), static_cast<char>(c >> 8)};
  EXPECT_EQ("1:e9003dd800de0000", Find(utf16, u"A", u"Soft"));
  EXPECT_EQ("missing", Find(utf16 + "x", u"A", u"Soft"));  // odd length
  const std::string utf8 = "\xef\xbb\xbfREGEDIT4\n[HKLM\\Soft]\n\"A\"=\"\xc3\xa9\xf0\x9f\x98\x80\"\n";
  EXPECT_EQ("1:e9003dd800de0000", Find(utf8, u"A", u"Soft"));
  // An invalid byte reads as a lone surrogate of its own without swallowing its neighbours.
  EXPECT_EQ("1:6100c3dc62000000", Find(Reg("\"A\"=\"a\xc3"
                                           "b\"\n"),
                                       u"A"));
}

TEST(RegFileTest, CaseAndKeyMatching) {
  const std::string file = std::string(kHeader) +
                           "[hklm\\software\\QUELLBRIDGE\\halvern3.0\\]\n\"DeBuG\"=dword:2\n"
                           "[HKEY_CURRENT_USER\\SOFTWARE\\quellbridge\\Halvern3.0]\n\"Other\"=dword:1\n"
                           "[HKLM\\SOFTWARE\\quellbridge\\Halvern3.0\\Sub]\n\"Sub\"=dword:1\n";
  EXPECT_EQ("4:02000000", Find(file, u"dEBUG"));
  EXPECT_EQ("4:02000000", Find(file, u"Debug", kKeyPath + u"\\"));
  EXPECT_EQ("missing", Find(file, u"Other"));
  EXPECT_EQ("missing", Find(file, u"Sub"));
  EXPECT_EQ("4:01000000", Find(file, u"Sub", kKeyPath + u"\\sub"));
  EXPECT_EQ("missing", Find(std::string(kHeader) + "\"A\"=dword:1\n" + kKey, u"A"));  // before any key
}

TEST(RegFileTest, Strings) {
  EXPECT_EQ(
      "1:61005c00620022006300"
      "0000",
      Find(Reg("\"A\"=\"a\\\\b\\\"c\"\n"), u"A"));
  EXPECT_EQ("1:0000", Find(Reg("@ =\t\"\"  \n"), u""));
  EXPECT_EQ("1:78000000", Find(Reg("\"a=\\\"b\\\\\"=\"x\"\n"), u"A=\"B\\"));
  for (const char* bad :
       {"\"A\"=\"a\\nb\"", "\"A\"=\"abc", "\"A\"=\"abc\\\"", "\"A\"=\"x\" y", "\"A\"=x", "\"A\""}) {
    EXPECT_EQ("missing", Find(Reg(std::string(bad) + "\n"), u"A")) << bad;
  }
}

TEST(RegFileTest, Numbers) {
  EXPECT_EQ("4:01000000", Find(Reg("\"A\"=dword:00000001\n"), u"A"));
  EXPECT_EQ("4:efbeadde", Find(Reg("\"A\"=DWORD:DeadBeef\r\n"), u"A"));
  for (const char* bad :
       {"dword:", "dword:000000001", "dword:0000000g", "dword: 1", "dword:-1", "dword:1 2"}) {
    EXPECT_EQ("missing", Find(Reg(std::string("\"A\"=") + bad + "\n"), u"A")) << bad;
  }
}

TEST(RegFileTest, HexLists) {
  EXPECT_EQ("3:0102ff", Find(Reg("\"A\"=hex:01,2,FF\n"), u"A"));
  EXPECT_EQ("3:", Find(Reg("\"A\"=hex:\n"), u"A"));
  EXPECT_EQ("2:2500530079000000",
            Find(Reg("\"A\"=hex(2):25,00,53,00,\\\r\n  79,00,\\\t\n\t00,00\n\"B\"=dword:1\n"), u"A"));
  // The continuation belongs to the hex line, even where it looks like a value line of its own.
  EXPECT_EQ("4:01000000", Find(Reg("\"B\"=dword:1\n\"A\"=hex(2):25,\\\n  \"B\"=dword:2\n"), u"B"));
  EXPECT_EQ("11:0100000000000000", Find(Reg("\"A\"=HEX(B):01,00,00,00,\\\n00,00,00,00\n"), u"A"));
  for (const char* bad : {"hex:1g", "hex:100", "hex:01,,02", "hex:01,", "hex(2):01,\\", "hex():01",
                          "hex(1x):01", "hex(2)01", "hex(123456789):01"}) {
    EXPECT_EQ("missing", Find(Reg(std::string("\"A\"=") + bad + "\n"), u"A")) << bad;
  }
}

TEST(RegFileTest, LaterLinesAndSectionsOverride) {
  const std::string k = kKey;
  EXPECT_EQ("4:02000000",
            Find(Reg("\"A\"=dword:1\n[HKLM\\Other]\n\"A\"=dword:3\n" + k + "\"A\"=dword:2\n"), u"A"));
  EXPECT_EQ("missing", Find(Reg("\"A\"=dword:1\n\"a\"=-\n"), u"A"));
  EXPECT_EQ("4:02000000", Find(Reg("\"A\"=dword:1\n\"A\"=-\n\"A\"=dword:2\n"), u"A"));
  EXPECT_EQ("4:01000000", Find(Reg("\"A\"=dword:1\n;\"A\"=dword:2\n  ; \"A\"=-\n"), u"A"));
  // Deleting the key or a key above it removes the value; a later section creates it anew.
  EXPECT_EQ("missing", Find(Reg("\"A\"=dword:1\n[-HKLM\\software\\Quellbridge\\]\n\"A\"=dword:2\n"), u"A"));
  EXPECT_EQ("missing", Find(Reg("\"A\"=dword:1\n[-HKLM]\n"), u"A"));
  EXPECT_EQ("4:03000000",
            Find(Reg("\"A\"=dword:1\n[-" + k.substr(1) + "\"A\"=dword:2\n" + k + "\"A\"=dword:3\n"), u"A"));
  EXPECT_EQ("4:01000000", Find(Reg("\"A\"=dword:1\n[-HKLM\\SOFTWARE\\quell]\n[-HKCU\\SOFTWARE]\n"), u"A"));
}

TEST(RegFileTest, MalformedLineSpoilsOnlyItsValue) {
  const std::string file =
      Reg("\"A\"=dword:1\n\"B\"=dword:1\n\"C\"=dword:1\n\"A\"=dword:xyz\n\"B\"=\"2\n\"B\"=dword:2\n\"C\"=\n");
  EXPECT_EQ("missing", Find(file, u"A"));
  EXPECT_EQ("4:02000000", Find(file, u"B"));
  EXPECT_EQ("missing", Find(file, u"C"));
  // An unreadable key line ends the section: its values are not credited to the key before it.
  EXPECT_EQ("4:01000000", Find(Reg("\"A\"=dword:1\n[HKLM\\x\n\"A\"=dword:2\n"), u"A"));
}

TEST(RegFileTest, GarbageNeverCrashesNorSpoilsEarlierSections) {
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  const std::string good = Reg("\"A\"=dword:7\n");
  const std::string alphabet = "[]\"@=\\-;:,()\r\n \thexdwordHKLM0123456789abcdef\xff\xfe\xc3\xef\xbb\xbf";
  for (int i = 0; i < 2000; ++i) {
    std::string garbage(next() % 200, '\0');
    for (char& c : garbage) c = (i % 2) ? static_cast<char>(next()) : alphabet[next() % alphabet.size()];
    const std::string prefix = i % 3 == 0 ? "" : i % 3 == 1 ? kHeader : Reg("");
    FindRegFileValue(prefix + garbage, kKeyPath, u"A", nullptr);
    if (i % 2) {
      EXPECT_EQ("4:07000000", Find(good + garbage, u"A"));
    }
  }
}

// A value as the settings call reads it: "t:<text>", "n:<number>" or "none".
TEST(RegFileTest, SettingIsAStringUpToItsTerminatorOrANumberOfFourBytes) {
  std::string padded1024 = "hex(1):31,00";  // "1", then zeros up to 1024 bytes, then one pair more
  for (int i = 2; i < 1024; ++i) padded1024 += ",00";
  const struct {
    std::string data;
    const char* expected;
  } cases[] = {
      {"\"1\"", "t:1"},
      {"\"\"", "t:"},
      {"hex(1):31,00,00,00", "t:1"},
      {"hex(1):31,00", "t:1"},                    // no terminator
      {"hex(1):31,00,32", "t:1"},                 // an odd last byte
      {"hex(1):31,00,00,00,32,00,00,00", "t:1"},  // the terminator ends it
      {"hex(1):", "t:"},
      {padded1024, "t:1"},
      {padded1024 + ",00,00", "none"},  // more than 1024 bytes
      {"dword:00000001", "n:1"},
      {"dword:ffffffff", "n:4294967295"},
      {"hex(4):01,00,00,00,05", "n:1"},
      {"hex(4):01,00,00", "none"},
      {"hex(2):31,00,00,00", "none"},
      {"hex:31,00,00,00", "none"},
      {"hex(b):01,00,00,00,00,00,00,00", "none"},
      {"-", "none"},
  };
  for (const auto& c : cases) {
    const std::optional<Setting> s = FindRegFileSetting(Reg("\"A\"=" + c.data + "\n"), kKeyPath, u"A");
    std::string r = "none";
    if (s && s->kind == Setting::Kind::kText) r = "t:" + std::string(s->text.begin(), s->text.end());
    if (s && s->kind == Setting::Kind::kNumber) r = "n:" + std::to_string(s->number);
    EXPECT_EQ(c.expected, r) << c.data.substr(0, 40);
  }
}

// The settings file the Debian package installs: off, and on once the ';' is taken off a key's two lines.
TEST(RegFileTest, ShippedSettingsFileIsOffAndItsCommentsTurnItOn) {
  std::ifstream in(TIDINGS_TEST_SHIPPED_SETTINGS_FILE, std::ios::binary);
  const std::string shipped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const struct {
    const char* keyLine;
    std::u16string keyPath, valueName;
    const char* on;
  } switches[] = {
      {";[HKEY_LOCAL_MACHINE\\SOFTWARE\\quellbridge\\Halvern3.0]", kKeyPath, u"Debug", "1:31000000"},
      {";[HKEY_LOCAL_MACHINE\\SOFTWARE]", u"SOFTWARE", u"AmbrelDebugFlag", "4:01000000"}};
  for (const auto& s : switches) {
    EXPECT_EQ("missing", Find(shipped, s.valueName, s.keyPath));
    std::string on = shipped;
    const size_t at = on.find(s.keyLine);
    ASSERT_NE(at, std::string::npos) << s.keyLine;
    on.erase(on.find('\n', at) + 1, 1).erase(at, 1);
    EXPECT_EQ(s.on, Find(on, s.valueName, s.keyPath)) << on;
  }
}

}  // namespace
}  // namespace platform
}  // namespace tidings
