// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Helpers for the tests of the message file: fixtures, a reader of what the library saved that is
// independent of the XML library under test, and a look at the two lists through the exports.

#ifndef TIDINGS_TESTS_SUPPORT_MSG_FILE_SUPPORT_H_
#define TIDINGS_TESTS_SUPPORT_MSG_FILE_SUPPORT_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "client_fixture.h"

namespace tidings {
namespace test {

// The bytes of tests/fixtures/`name`.
std::string FixtureBytes(const std::string& name);

// One element as it stands in a saved file: its name and its attributes, entities decoded.
struct SavedElement {
  std::string strName;
  std::map<std::string, std::string> attributes;
};

// The content between the start and end tag of the first element named `section` (exactly) in `xml`; empty
// for an empty-element tag. False when there is no such element.
bool SectionContent(const std::string& xml, const std::string& section, std::string* pstrContent);
// What stands around the content of the first element named `section`: from the start of `xml` to the
// end of the section's start tag (without the '/' of an empty-element tag, which a save may fill), and
// from the end of its end tag to the end of `xml`. A save leaves both as they were. Fails the test when
// the section is missing.
std::pair<std::string, std::string> AroundSection(const std::string& xml, const std::string& section);
// The element children of the first element named `section`. Fails the test when the section is missing,
// or holds anything but empty elements (which is all the library writes into it).
std::vector<SavedElement> SectionElements(const std::string& xml, const std::string& section);
// The six attributes the library writes for a message, as a saved element has them.
std::map<std::string, std::string> MessageAttributes(const std::string& strSpan, const std::string& strName,
                                                     const std::string& strInfo,
                                                     const std::string& strEchoPath, int32_t nShowType,
                                                     int32_t nShowTime);

// UTF-16LE bytes (no byte-order mark) of a UTF-8 text, and back.
std::string ToUtf16LeBytes(const std::string& utf8);
std::string FromUtf16LeBytes(const std::string& bytes);

class MsgFileTest : public ClientTest {
 protected:
  // Copies message `dwMsgID` out; false when the library has no such message.
  bool Get(int32_t dwMsgID, _Message_GetInfo* pInfo);
  // The information text of message `dwMsgID`; fails the test when there is none.
  std::u16string Info(int32_t dwMsgID);
  // The IDs the library answers for, probing -2 down to -65 and 0 up to 63: what is in memory, for tests
  // that keep their lists short.
  std::vector<int32_t> IdsInMemory();
  // Whether any trace line says that a save failed.
  bool TraceHasSaveFailure();
};

}  // namespace test
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_MSG_FILE_SUPPORT_H_
