// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// What came of a step that can fail for a reason worth telling. The platform and persist layers return
// one; the manager turns it into trace text, and the message-file checker into a finding. A step whose
// failure has nothing to tell returns bool or std::optional instead.

#ifndef TIDINGS_PLATFORM_STATUS_H_
#define TIDINGS_PLATFORM_STATUS_H_

#include <string>
#include <utility>

namespace tidings {

class Status {
 public:
  // Success.
  Status() = default;
  // Nothing there to work on (no file, no section to write into, no XML library): no success, but no
  // failure worth a word either.
  static Status NotFound() { return Status(Code::kNotFound, {}, {}); }
  // `what` failed ("cannot write /etc/x.tmp"); `why` is the system's reason as the platform words it
  // ("No space left on device"), or empty.
  static Status Failed(std::u16string what, std::u16string why = {}) {
    return Status(Code::kFailed, std::move(what), std::move(why));
  }

  bool ok() const { return m_code == Code::kOk; }
  bool IsNotFound() const { return m_code == Code::kNotFound; }
  const std::u16string& What() const { return m_strWhat; }
  const std::u16string& Why() const { return m_strWhy; }
  // "what: why", or what alone; empty for success and NotFound.
  std::u16string Text() const { return m_strWhy.empty() ? m_strWhat : m_strWhat + u": " + m_strWhy; }

 private:
  enum class Code { kOk, kNotFound, kFailed };
  Status(Code code, std::u16string what, std::u16string why)
      : m_code(code), m_strWhat(std::move(what)), m_strWhy(std::move(why)) {}

  Code m_code = Code::kOk;
  std::u16string m_strWhat;
  std::u16string m_strWhy;
};

}  // namespace tidings

#endif  // TIDINGS_PLATFORM_STATUS_H_
