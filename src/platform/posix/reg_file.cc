// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "platform/posix/reg_file.h"

#include <cstddef>
#include <string_view>
#include <utility>

#include "platform/registry_value.h"
#include "platform/utf.h"

namespace tidings {
namespace platform {

namespace {

using View = std::u16string_view;

unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

// Fails only for UTF-16 text cut in the middle of a code unit. Unpaired surrogates pass through: the
// registry stores arbitrary 16-bit units, and they cannot be confused with any of the syntax.
bool DecodeFile(const std::string& bytes, std::u16string* text) {
  const size_t n = bytes.size();
  if (n >= 2 && Byte(bytes[0]) == 0xFF && Byte(bytes[1]) == 0xFE) {
    if (n % 2 != 0) return false;
    text->reserve((n - 2) / 2);
    for (size_t i = 2; i < n; i += 2) {
      text->push_back(static_cast<char16_t>(Byte(bytes[i]) | (Byte(bytes[i + 1]) << 8)));
    }
    return true;
  }
  const bool bom = n >= 3 && Byte(bytes[0]) == 0xEF && Byte(bytes[1]) == 0xBB && Byte(bytes[2]) == 0xBF;
  // A bad byte decodes on its own and decoding resumes at the next one, so damage in one place cannot
  // hide the lines around it.
  *text = bom ? Utf8ToUtf16(bytes.substr(3)) : Utf8ToUtf16(bytes);
  return true;
}

class LineReader {
 public:
  explicit LineReader(View text) : rest_(text) {}

  // Stores the next line, without its LF or CRLF, in *line. False at the end of the text.
  bool Next(View* line) {
    if (done_) return false;
    const size_t lf = rest_.find(u'\n');
    if (lf == View::npos) {
      *line = rest_;
      done_ = true;
    } else {
      *line = rest_.substr(0, lf);
      rest_.remove_prefix(lf + 1);
    }
    if (!line->empty() && line->back() == u'\r') line->remove_suffix(1);
    return true;
  }

 private:
  View rest_;
  bool done_ = false;
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

View TrimLeft(View s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

View TrimRight(View s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

View Trim(View s) { return TrimRight(TrimLeft(s)); }

char16_t FoldCase(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool EqualsFolded(View a, View b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

// Removes `prefix` (compared without case) from the front of *s.
bool ConsumePrefix(View* s, View prefix) {
  if (s->size() < prefix.size() || !EqualsFolded(s->substr(0, prefix.size()), prefix)) return false;
  s->remove_prefix(prefix.size());
  return true;
}

View StripTrailingBackslash(View s) {
  if (!s.empty() && s.back() == u'\\') s.remove_suffix(1);
  return s;
}

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Parses all of `digits` as 1 to `max_digits` hex digits (at most 8).
bool ParseHexNumber(View digits, size_t max_digits, uint32_t* value) {
  if (digits.empty() || digits.size() > max_digits) return false;
  uint32_t v = 0;
  for (char16_t c : digits) {
    const int d = HexDigitValue(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  *value = v;
  return true;
}

// Parses the comma-separated byte list of a hex: value. An empty list is an empty value, as regedit
// writes for a zero-length REG_BINARY.
bool ParseHexBytes(View list, std::string* out) {
  if (Trim(list).empty()) return true;
  for (;;) {
    const size_t comma = list.find(u',');
    uint32_t byte;
    if (!ParseHexNumber(Trim(list.substr(0, comma)), 2, &byte)) return false;
    out->push_back(static_cast<char>(byte));
    if (comma == View::npos) return true;
    list.remove_prefix(comma + 1);
  }
}

// Parses a quoted string at the front of *s and removes it from *s. Only the two escapes regedit itself
// writes are known; anything else after a backslash could be meant in ways we would guess wrong.
bool ParseQuoted(View* s, std::u16string* text) {
  for (size_t i = 1; i < s->size(); ++i) {
    char16_t c = (*s)[i];
    if (c == u'"') {
      s->remove_prefix(i + 1);
      return true;
    }
    if (c == u'\\') {
      if (++i == s->size()) return false;
      c = (*s)[i];
      if (c != u'\\' && c != u'"') return false;
    }
    text->push_back(c);
  }
  return false;
}

bool IsHexData(View data) { return ConsumePrefix(&data, u"hex:") || ConsumePrefix(&data, u"hex("); }

// What the lines so far leave of a value: set, absent (never set, or deleted), or spoilt by a bad line.
enum class ValueState { kSet, kAbsent, kMalformed };

// Interprets everything right of the '=' of a value line, with continuation lines already joined: the
// state the line leaves the value in, its type and bytes in *value when set.
ValueState ParseData(View data, RegValue* value) {
  data = TrimRight(data);
  if (data == u"-") return ValueState::kAbsent;
  if (!data.empty() && data.front() == u'"') {
    std::u16string text;
    if (!ParseQuoted(&data, &text) || !data.empty()) return ValueState::kMalformed;
    value->dwType = kRegSz;
    value->data.reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
      value->data.push_back(static_cast<char>(c & 0xFF));
      value->data.push_back(static_cast<char>(c >> 8));
    }
    value->data.append(2, '\0');
    return ValueState::kSet;
  }
  if (ConsumePrefix(&data, u"dword:")) {
    uint32_t v;
    if (!ParseHexNumber(data, 8, &v)) return ValueState::kMalformed;
    value->dwType = kRegDword;
    for (int i = 0; i < 4; ++i) value->data.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return ValueState::kSet;
  }
  if (ConsumePrefix(&data, u"hex:")) {
    value->dwType = kRegBinary;
  } else if (ConsumePrefix(&data, u"hex(")) {
    const size_t close = data.find(u')');
    if (close == View::npos || !ParseHexNumber(data.substr(0, close), 8, &value->dwType)) {
      return ValueState::kMalformed;
    }
    data.remove_prefix(close + 1);
    if (data.empty() || data.front() != u':') return ValueState::kMalformed;
    data.remove_prefix(1);
  } else {
    return ValueState::kMalformed;
  }
  return ParseHexBytes(data, &value->data) ? ValueState::kSet : ValueState::kMalformed;
}

enum class Section { kTarget, kDeletesTarget, kOther };

// Classifies a trimmed line that starts with '['. A line we cannot read as a key still ends the section
// before it, so that the values after it are not credited to the wrong key.
Section ClassifySection(View line, View target) {
  if (line.size() < 2 || line.back() != u']') return Section::kOther;
  View path = line.substr(1, line.size() - 2);
  const bool deletion = !path.empty() && path.front() == u'-';
  if (deletion) path.remove_prefix(1);
  const size_t slash = path.find(u'\\');
  const View root = path.substr(0, slash);
  if (!EqualsFolded(root, u"HKEY_LOCAL_MACHINE") && !EqualsFolded(root, u"HKLM")) return Section::kOther;
  const View key = slash == View::npos ? View() : StripTrailingBackslash(path.substr(slash + 1));
  if (!deletion) return EqualsFolded(key, target) ? Section::kTarget : Section::kOther;
  // Deleting a key deletes its subkeys, but "A\B" is not below "A\Bc".
  const bool covers = key.empty() || EqualsFolded(key, target) ||
                      (target.size() > key.size() && target[key.size()] == u'\\' &&
                       EqualsFolded(target.substr(0, key.size()), key));
  return covers ? Section::kDeletesTarget : Section::kOther;
}

}  // namespace

bool FindRegFileValue(const std::string& fileBytes, const std::u16string& keyPath,
                      const std::u16string& valueName, RegValue* out) {
  std::u16string text;
  if (!DecodeFile(fileBytes, &text)) return false;
  LineReader lines(text);
  View line;
  do {
    if (!lines.Next(&line)) return false;
    line = Trim(line);
  } while (line.empty());
  if (line != u"Windows Registry Editor Version 5.00" && line != u"REGEDIT4") return false;

  const View target = StripTrailingBackslash(keyPath);
  bool in_target = false;
  ValueState state = ValueState::kAbsent;
  RegValue found;
  while (lines.Next(&line)) {
    line = Trim(line);
    if (line.empty() || line.front() == u';') continue;
    if (line.front() == u'[') {
      const Section section = ClassifySection(line, target);
      in_target = section == Section::kTarget;
      if (section == Section::kDeletesTarget) state = ValueState::kAbsent;
      continue;
    }

    std::u16string name;
    if (line.front() == u'@') {
      line.remove_prefix(1);
    } else if (line.front() != u'"' || !ParseQuoted(&line, &name)) {
      continue;  // We cannot tell which value it names, so it neither sets nor spoils the one asked for.
    }
    line = TrimLeft(line);
    const bool has_equals = !line.empty() && line.front() == u'=';
    std::u16string data;
    if (has_equals) {
      data = TrimLeft(line.substr(1));
      // The continuation lines belong to this line whichever value it names; they must not be read
      // as lines of their own.
      if (IsHexData(data)) {
        while (!data.empty() && data.back() == u'\\' && lines.Next(&line)) {
          data.pop_back();
          data.append(Trim(line));
        }
      }
    }
    if (!in_target || !EqualsFolded(name, valueName)) continue;

    RegValue value;
    state = has_equals ? ParseData(data, &value) : ValueState::kMalformed;
    if (state == ValueState::kSet) found = std::move(value);
  }
  if (state != ValueState::kSet) return false;
  if (out != nullptr) *out = std::move(found);
  return true;
}

std::optional<Setting> FindRegFileSetting(const std::string& fileBytes, const std::u16string& keyPath,
                                          const std::u16string& valueName) {
  RegValue value;
  if (!FindRegFileValue(fileBytes, keyPath, valueName, &value)) return std::nullopt;
  return SettingFromRegistryValue(value.dwType, value.data);
}

}  // namespace platform
}  // namespace tidings
