// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The trace log's file: lines from several writers stay whole and in order around a truncation.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace tidings {
namespace {

namespace fs = std::filesystem;

class AppendFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = fs::temp_directory_path() /
             ("tidings-append-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt");
    fs::remove(m_path);
  }
  void TearDown() override { fs::remove(m_path); }

  std::unique_ptr<platform::AppendFile> Open() const { return platform::OpenAppendFile(m_path.u16string()); }
  std::string Content() const {
    std::ifstream in(m_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path m_path;
};

TEST_F(AppendFileTest, OfTwoWritersThatSawTheFileTooLargeOnlyOneEmptiesIt) {
  {
    std::ofstream out(m_path, std::ios::binary);
    out << std::string(100, 'x');
  }
  std::unique_ptr<platform::AppendFile> a = Open();
  std::unique_ptr<platform::AppendFile> b = Open();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Size(), 100u);
  EXPECT_EQ(b->Size(), 100u);  // both see it over a limit of 50

  ASSERT_TRUE(a->TruncateIfLarger(50));
  ASSERT_TRUE(a->Append("first\r\n", 7));
  ASSERT_TRUE(b->TruncateIfLarger(50));  // tested again: 7 bytes now, so a's line stays
  ASSERT_TRUE(b->Append("second\r\n", 8));
  EXPECT_EQ(Content(), "first\r\nsecond\r\n");
}

TEST_F(AppendFileTest, AnAppendAfterAnotherWritersTruncationLandsAtTheNewEnd) {
  std::unique_ptr<platform::AppendFile> a = Open();
  std::unique_ptr<platform::AppendFile> b = Open();
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->Append("old line one\r\n", 14));
  ASSERT_TRUE(a->Append("old line two\r\n", 14));
  ASSERT_TRUE(b->TruncateIfLarger(10));
  ASSERT_TRUE(a->Append("new\r\n", 5));  // not at a's old position, which would leave zeros before it
  EXPECT_EQ(Content(), "new\r\n");
  EXPECT_EQ(a->Size(), 5u);
}

TEST_F(AppendFileTest, OpeningKeepsTheContentAndAFileWithinTheLimitIsKept) {
  {
    std::ofstream out(m_path, std::ios::binary);
    out << "kept\r\n";
  }
  std::unique_ptr<platform::AppendFile> a = Open();
  ASSERT_TRUE(a);
  ASSERT_TRUE(a->TruncateIfLarger(6));
  ASSERT_TRUE(a->Append("added\r\n", 7));
  EXPECT_EQ(Content(), "kept\r\nadded\r\n");
}

}  // namespace
}  // namespace tidings
