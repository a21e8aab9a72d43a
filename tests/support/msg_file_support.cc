// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "msg_file_support.h"

#include <cstring>

#include "platform/utf.h"

namespace tidings {
namespace test {

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

std::string DecodeEntities(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out.push_back(text[i]);
      continue;
    }
    const size_t end = text.find(';', i);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unterminated reference in " << text;
      return out;
    }
    const std::string ref = text.substr(i + 1, end - i - 1);
    if (ref == "amp")
      out += '&';
    else if (ref == "lt")
      out += '<';
    else if (ref == "gt")
      out += '>';
    else if (ref == "quot")
      out += '"';
    else if (ref == "apos")
      out += '\'';
    else if (ref.size() > 2 && ref[0] == '#' && ref[1] == 'x')
      platform::AppendUtf8(static_cast<uint32_t>(std::stoul(ref.substr(2), nullptr, 16)), &out);
    else if (ref.size() > 1 && ref[0] == '#')
      platform::AppendUtf8(static_cast<uint32_t>(std::stoul(ref.substr(1))), &out);
    else
      ADD_FAILURE() << "unknown reference &" << ref << ";";
    i = end;
  }
  return out;
}

// Finds the start tag of element `name` from `from`: the position of its '<', or npos.
size_t FindStartTag(const std::string& xml, const std::string& name, size_t from = 0) {
  for (size_t pos = xml.find("<" + name, from); pos != std::string::npos;
       pos = xml.find("<" + name, pos + 1)) {
    const size_t after = pos + 1 + name.size();
    if (after < xml.size() && !IsNameChar(xml[after])) return pos;
  }
  return std::string::npos;
}

}  // namespace

std::string FixtureBytes(const std::string& name) {
  const fs::path path = fs::path(TIDINGS_TEST_FIXTURE_DIR) / name;
  std::string bytes = ReadFileBytes(path);
  EXPECT_FALSE(bytes.empty()) << "no fixture " << path;
  return bytes;
}

bool SectionContent(const std::string& xml, const std::string& section, std::string* pstrContent) {
  const size_t start = FindStartTag(xml, section);
  if (start == std::string::npos) return false;
  const size_t close = xml.find('>', start);
  if (close == std::string::npos) return false;
  if (xml[close - 1] == '/') {
    pstrContent->clear();
    return true;
  }
  const size_t end = xml.find("</" + section + ">", close);
  if (end == std::string::npos) return false;
  *pstrContent = xml.substr(close + 1, end - close - 1);
  return true;
}

std::pair<std::string, std::string> AroundSection(const std::string& xml, const std::string& section) {
  const size_t start = FindStartTag(xml, section);
  const size_t close = start == std::string::npos ? start : xml.find('>', start);
  if (close == std::string::npos) {
    ADD_FAILURE() << "no " << section << " in\n" << xml;
    return {};
  }
  if (xml[close - 1] == '/') return {xml.substr(0, close - 1), xml.substr(close + 1)};
  const size_t end = xml.find("</" + section + ">", close);
  if (end == std::string::npos) {
    ADD_FAILURE() << "no end of " << section << " in\n" << xml;
    return {};
  }
  return {xml.substr(0, close), xml.substr(end + section.size() + 3)};
}

std::vector<SavedElement> SectionElements(const std::string& xml, const std::string& section) {
  std::vector<SavedElement> elements;
  std::string content;
  if (!SectionContent(xml, section, &content)) {
    ADD_FAILURE() << "no " << section << " in\n" << xml;
    return elements;
  }
  size_t pos = 0;
  while (pos < content.size()) {
    if (content[pos] != '<') {
      ADD_FAILURE() << "text in " << section << ": " << content.substr(pos);
      return elements;
    }
    SavedElement element;
    size_t i = pos + 1;
    while (i < content.size() && IsNameChar(content[i])) element.strName.push_back(content[i++]);
    for (;;) {
      while (i < content.size() && content[i] == ' ') ++i;
      if (content.compare(i, 2, "/>") == 0) {
        i += 2;
        break;
      }
      std::string name;
      while (i < content.size() && IsNameChar(content[i])) name.push_back(content[i++]);
      if (name.empty() || content.compare(i, 2, "=\"") != 0) {
        ADD_FAILURE() << "not an empty element with attributes: " << content.substr(pos);
        return elements;
      }
      i += 2;
      const size_t end = content.find('"', i);
      if (end == std::string::npos) {
        ADD_FAILURE() << "unterminated attribute in " << content.substr(pos);
        return elements;
      }
      element.attributes[name] = DecodeEntities(content.substr(i, end - i));
      i = end + 1;
    }
    elements.push_back(element);
    pos = i;
  }
  return elements;
}

std::map<std::string, std::string> MessageAttributes(const std::string& strSpan, const std::string& strName,
                                                     const std::string& strInfo,
                                                     const std::string& strEchoPath, int32_t nShowType,
                                                     int32_t nShowTime) {
  return {{"MsgSpan", strSpan},
          {"MsgName", strName},
          {"MsgSInfo", strInfo},
          {"MsgEchoPath", strEchoPath},
          {"ShowType", std::to_string(nShowType)},
          {"ShowTime", std::to_string(nShowTime)}};
}

std::string ToUtf16LeBytes(const std::string& utf8) {
  std::string out;
  for (char16_t unit : platform::Utf8ToUtf16(utf8)) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

std::string FromUtf16LeBytes(const std::string& bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return platform::Utf16ToUtf8Text(text);
}

bool MsgFileTest::Get(int32_t dwMsgID, _Message_GetInfo* pInfo) {
  std::memset(pInfo, 0, sizeof *pInfo);
  return api.GetMessage(dwMsgID, pInfo) == 1;
}

std::u16string MsgFileTest::Info(int32_t dwMsgID) {
  _Message_GetInfo info;
  if (!Get(dwMsgID, &info)) {
    ADD_FAILURE() << "no message " << dwMsgID;
    return std::u16string();
  }
  return std::u16string(info.strMsgSInfo,
                        info.strMsgSInfo + std::char_traits<char16_t>::length(
                                               reinterpret_cast<const char16_t*>(info.strMsgSInfo)));
}

std::vector<int32_t> MsgFileTest::IdsInMemory() {
  std::vector<int32_t> ids;
  _Message_GetInfo info;
  for (int32_t id = -65; id < 64; ++id) {
    if (id != -1 && Get(id, &info)) ids.push_back(id);
  }
  return ids;
}

bool MsgFileTest::TraceHasSaveFailure() {
  for (const std::string& text : TraceTexts()) {
    if (text.rfind("--SaveMsgFile failed, the messages stay in memory: ", 0) == 0) return true;
  }
  return false;
}

}  // namespace test
}  // namespace tidings
