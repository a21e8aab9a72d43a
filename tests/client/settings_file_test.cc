// The settings file on POSIX is read while the library loads: only a regular file, without blocking, and
// no larger than its bound. Anything else at its path reads as no settings at all, so tracing stays off.

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "client_fixture.h"

namespace tidings {
namespace test {
namespace {

const char kSwitchOn[] =
    "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\quellbridge\\Halvern3.0]\r\n"
    "\"Debug\"=\"1\"\r\n";

// The switch, followed by a comment line that fills the file to `nBytes`.
std::string Padded(size_t nBytes) {
  std::string bytes = kSwitchOn;
  bytes.resize(nBytes, ';');
  return bytes;
}

class SettingsFileTest : public ClientTest {
 protected:
  // Whatever a case left at the settings path would block or break the next test's WriteSettings.
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(SettingsFilePath(), ec);
    ClientTest::TearDown();
  }
};

TEST_F(SettingsFileTest, OnlyARegularFileWithinTheBoundIsRead) {
  const fs::path path = SettingsFilePath();
  const fs::path regular = Dir() / "switch-on.reg";
  WriteFileBytes(regular, kSwitchOn);
  struct Case {
    const char* name;
    std::function<void()> place;
    bool bTraceOn;
  };
  const Case cases[] = {
      {"a link to a regular file", [&] { fs::create_symlink(regular, path); }, true},
      {"a FIFO", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, false},
      {"a link to /dev/urandom", [&] { fs::create_symlink("/dev/urandom", path); }, false},
      {"a directory", [&] { fs::create_directory(path); }, false},
      {"a file past the bound of 16 MiB", [&] { WriteFileBytes(path, Padded((16u << 20) + 1)); }, false},
      {"a file at the bound", [&] { WriteFileBytes(path, Padded(16u << 20)); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(path);
    c.place();
    LoadLibraryWithSettings({});
    _Message_GetInfo info;
    EXPECT_EQ(api.GetMessage(0, &info), 0);
    EXPECT_EQ(TraceExists(), c.bTraceOn);
    UnloadLibrary();
    fs::remove(TracePath());
  }
}

}  // namespace
}  // namespace test
}  // namespace tidings
