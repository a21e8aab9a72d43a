// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Message files that push the library's limits on what a file may build, shared by the tests and the
// benchmarks.

#ifndef TIDINGS_TESTS_SUPPORT_LIMIT_FILES_H_
#define TIDINGS_TESTS_SUPPORT_LIMIT_FILES_H_

#include <cstddef>
#include <string>

namespace tidings {
namespace test {

inline std::string RepeatText(const std::string& text, size_t n) {
  std::string out;
  out.reserve(text.size() * n);
  for (size_t i = 0; i < n; ++i) out += text;
  return out;
}

// ` a0="value" a1="value" ...`: n attributes for a start tag.
inline std::string NumberedAttributes(size_t n, const std::string& value) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += " a" + std::to_string(i) + "=\"" + value + "\"";
  return out;
}

// An ATTLIST declaring a0, a1, ... for `element`, each CDATA defaulting to `defaultValue`.
inline std::string NumberedAttList(const std::string& element, size_t n, const std::string& defaultValue) {
  std::string out = "<!ATTLIST " + element;
  for (size_t i = 0; i < n; ++i) out += " a" + std::to_string(i) + " CDATA \"" + defaultValue + "\"";
  return out + ">";
}

// `dtd` (if any) as the internal subset, then a document element holding `content` beside the skeleton
// with one dynamic message.
inline std::string FileWithDtd(const std::string& dtd, const std::string& content) {
  return (dtd.empty() ? "" : "<!DOCTYPE Root [" + dtd + "]>\n") + "<Root>" + content +
         "<MsgList><DynamicMsg><Message MsgSInfo=\"m\"/></DynamicMsg></MsgList></Root>\n";
}

}  // namespace test
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_LIMIT_FILES_H_
