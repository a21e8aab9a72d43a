// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// How the trace log spells characters outside ASCII on the platform under test. Its lines are narrow
// text: UTF-8 on POSIX, the ANSI code page on Windows, where a character the code page cannot represent
// becomes the code page's default character.

#ifndef TIDINGS_TESTS_SUPPORT_NARROW_TEXT_H_
#define TIDINGS_TESTS_SUPPORT_NARROW_TEXT_H_

#include <string>
#include <vector>

namespace tidings {
namespace test {

struct NarrowSample {
  std::u16string text;  // what a client passes
  std::string bytes;    // what the trace log holds for it
};

// A few short texts outside ASCII and their bytes in the trace log, written out by hand for this
// platform's narrow encoding. Empty when the machine's narrow encoding is not the one they were written
// for (a Windows whose ANSI code page is not 1252).
std::vector<NarrowSample> NarrowSamples();

}  // namespace test
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_NARROW_TEXT_H_
