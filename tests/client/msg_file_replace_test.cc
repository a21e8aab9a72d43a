// What a save replaces: the file a link leads to and nothing else, a file with its identity kept (or
// written in place, or refused, as its rights say), and no new file of its own left behind.

#include <algorithm>

#include "file_fault.h"
#include "msg_file_support.h"

namespace tidings {
namespace test {
namespace {

using Ids = std::vector<int32_t>;
using Names = std::vector<std::string>;

Names FileNames(const fs::path& dir) {
  Names names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class MsgFileReplaceTest : public MsgFileTest {
 protected:
  // Lays the example file at `file` (the message file, or where its link leads), loads the library and
  // adds a message: IDs -2, 0 and 1.
  void Start(const fs::path& file) {
    m_original = FixtureBytes("msg_example.xml");
    fs::create_directories(ConfigDir());
    WriteFileBytes(file, m_original);
    LoadLibrary();
    ASSERT_EQ(api.Initial(), 1);
    Add(u"Chat", u"Hello", u"hi");
    ASSERT_EQ(IdsInMemory(), (Ids{-2, 0, 1}));
  }
  // Whether `file` holds the two dynamic messages the save wrote, and the memory is empty of them.
  void ExpectSaved(const fs::path& file) {
    EXPECT_EQ(SectionElements(ReadFileBytes(file), "DynamicMsg").size(), 2u);
    EXPECT_EQ(IdsInMemory(), (Ids{-2}));
    EXPECT_FALSE(TraceHasSaveFailure());
  }
  void ExpectKept(const fs::path& file) {
    EXPECT_EQ(ReadFileBytes(file), m_original);
    EXPECT_EQ(IdsInMemory(), (Ids{-2, 0, 1}));
    EXPECT_TRUE(TraceHasSaveFailure());
  }
  bool TraceHas(const std::string& prefix) {
    const std::vector<std::string> texts = TraceTexts();
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string& t) { return t.rfind(prefix, 0) == 0; });
  }
  std::string m_original;
};

TEST_F(MsgFileReplaceTest, ALinkIsFollowedToItsTargetAndStays) {
  const fs::path data = Dir() / "data";
  fs::create_directories(data);
  try {
    fs::create_directories(ConfigDir());
    // A chain of two relative links: Config/Msg.xml -> ../data/current -> Msg-real.xml.
    fs::create_symlink(fs::path("..") / "data" / "current", MsgFilePath());
    fs::create_symlink("Msg-real.xml", data / "current");
  } catch (const fs::filesystem_error& e) {
    GTEST_SKIP() << "no symbolic links here: " << e.what();
  }
  Start(data / "Msg-real.xml");
  if (HasFatalFailure()) return;
  ASSERT_EQ(api.Finish(), 1);
  ExpectSaved(data / "Msg-real.xml");
  EXPECT_EQ(fs::read_symlink(MsgFilePath()), fs::path("..") / "data" / "current");
  EXPECT_EQ(fs::read_symlink(data / "current"), fs::path("Msg-real.xml"));
  EXPECT_EQ(FileNames(ConfigDir()), (Names{"Msg.xml", "UILogTrace.txt"}));
  EXPECT_EQ(FileNames(data), (Names{"Msg-real.xml", "current"}));

  // A link that leads nowhere, or in a loop, is a missing file: nothing is created, nothing lost.
  Add(u"Chat", u"Again", u"again");
  fs::remove(data / "Msg-real.xml");
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_FALSE(fs::exists(data / "Msg-real.xml"));
  fs::create_symlink("current", data / "Msg-real.xml");
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(fs::read_symlink(data / "Msg-real.xml"), fs::path("current"));
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 2}));
  EXPECT_EQ(FileNames(data), (Names{"Msg-real.xml", "current"}));
}

// New files that saves left behind: those of ended processes (and of this process's ID, which only an
// ended one can have left) go at the next save; the loader reads none of them.
TEST_F(MsgFileReplaceTest, StrayNewFilesOfEndedProcessesGoAndAreNeverLoaded) {
  const std::string ended = "2147483644";  // beyond every process ID in use
  const uint32_t dwRunning = AnotherRunningProcessId();
  ASSERT_NE(dwRunning, 0u);
  ASSERT_NE(dwRunning, ThisProcessId());
  const std::string running = std::to_string(dwRunning);
  const struct {
    std::string strName;
    bool bStays;
  } strays[] = {
      {"Msg.xml." + ended + ".tidings-tmp", false},
      {"Msg.xml." + std::to_string(ThisProcessId()) + ".tidings-tmp", false},
      {"Msg.xml." + running + ".tidings-tmp", true},
      {"Msg.xml.0" + ended + ".tidings-tmp", true},
      {"Msg.xml." + ended + "0.tidings-tmp", true},  // more than 32 bits
      {"Msg.xml.-" + ended + ".tidings-tmp", true},
      {"Msg.xml." + ended + ".tidings-tmp.old", true},
      {"Msg.xml.." + ended + ".tidings-tmp", true},
      {"Other.xml." + ended + ".tidings-tmp", true},
      {"Msg.xml.AbC123", true},
  };
  fs::create_directories(ConfigDir());
  Names expected = {"Msg.xml", "UILogTrace.txt"};
  for (const auto& stray : strays) {
    WriteFileBytes(ConfigDir() / stray.strName,
                   "<Root><MsgList><DynamicMsg><Message MsgSInfo=\"stray\"/></DynamicMsg></MsgList></Root>");
    if (stray.bStays) expected.push_back(stray.strName);
  }
  std::sort(expected.begin(), expected.end());
  Start(MsgFilePath());
  if (HasFatalFailure()) return;
  EXPECT_EQ(Info(0), u"3 new");
  ASSERT_EQ(api.Finish(), 1);
  ExpectSaved(MsgFilePath());
  EXPECT_EQ(FileNames(ConfigDir()), expected);
}

#if defined(_WIN32)
TEST_F(MsgFileReplaceTest, TheFileKeepsItsAttributesAndIsNeverReplacedWhenReadOnly) {
  Start(MsgFilePath());
  if (HasFatalFailure()) return;
  std::string why;
  ASSERT_TRUE(SetFileIdentity(MsgFilePath(), 0, 0, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, &why))
      << why;
  ASSERT_EQ(api.Finish(), 1);
  ExpectSaved(MsgFilePath());
  FileIdentity identity;
  ASSERT_TRUE(ReadFileIdentity(MsgFilePath(), &identity));
  EXPECT_EQ(identity.nMode & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), FILE_ATTRIBUTE_HIDDEN);

  m_original = ReadFileBytes(MsgFilePath());
  Add(u"Chat", u"Hello", u"hi");
  Add(u"Chat", u"Again", u"again");
  ASSERT_TRUE(SetFileIdentity(MsgFilePath(), 0, 0, FILE_ATTRIBUTE_READONLY, &why)) << why;
  ASSERT_EQ(api.Finish(), 1);
  EXPECT_EQ(ReadFileBytes(MsgFilePath()), m_original);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 1, 2}));
  EXPECT_TRUE(TraceHasSaveFailure());
  EXPECT_EQ(FileNames(ConfigDir()), (Names{"Msg.xml", "UILogTrace.txt"}));
  ASSERT_TRUE(SetFileIdentity(MsgFilePath(), 0, 0, FILE_ATTRIBUTE_NORMAL, &why)) << why;
}
#endif

// The rights of the file and its directory decide, for an unprivileged user and for root.
struct AccessCase {
  const char* lpName;
  bool bAsNobody;      // saves as nobody, else as root
  uint32_t nDirMode;   // of Config/, root's
  bool bNobodysFile;   // Msg.xml belongs to nobody, else to root
  uint32_t nFileMode;  // of Msg.xml
  enum { kReplaced, kInPlace, kRefused } outcome;
  bool bOwnerKept;      // when replaced: else the file becomes nobody's, its mode without the set-ID bits
  const char* lpTrace;  // the start of a trace line the save writes, if any
};

void PrintTo(const AccessCase& c, std::ostream* os) { *os << c.lpName; }

class MsgFileAccessTest : public MsgFileReplaceTest, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(MsgFileAccessTest, TheFileStaysWhatItIs) {
  const AccessCase& c = GetParam();
  std::string why;
  {
    std::unique_ptr<ActingUser> probe = ActAsNobody(&why);
    if (!probe) GTEST_SKIP() << why;
  }
  Start(MsgFilePath());
  if (HasFatalFailure()) return;
  FileIdentity nobody;
  {
    std::unique_ptr<ActingUser> user = ActAsNobody(&why);
    nobody.nOwner = user->Uid();
    nobody.nGroup = user->Gid();
  }
  fs::permissions(TracePath(), fs::perms::all);  // nobody's trace lines too
  ASSERT_TRUE(SetFileIdentity(ConfigDir(), 0, 0, c.nDirMode, &why)) << why;
  ASSERT_TRUE(SetFileIdentity(MsgFilePath(), c.bNobodysFile ? nobody.nOwner : 0,
                              c.bNobodysFile ? nobody.nGroup : 0, c.nFileMode, &why))
      << why;
  FileIdentity before;
  ASSERT_TRUE(ReadFileIdentity(MsgFilePath(), &before));
  {
    std::unique_ptr<ActingUser> user = c.bAsNobody ? ActAsNobody(&why) : nullptr;
    ASSERT_EQ(api.Finish(), 1);
  }
  FileIdentity after;
  ASSERT_TRUE(ReadFileIdentity(MsgFilePath(), &after));
  if (c.outcome == AccessCase::kRefused) {
    ExpectKept(MsgFilePath());
    EXPECT_EQ(after, before);
  } else {
    ExpectSaved(MsgFilePath());
    FileIdentity expected = before;
    if (c.outcome == AccessCase::kReplaced) {
      EXPECT_NE(after.nFileId, before.nFileId) << "written in place";
      expected.nFileId = after.nFileId;
    }
    if (!c.bOwnerKept) {
      expected.nOwner = nobody.nOwner;
      expected.nGroup = nobody.nGroup;
      expected.nMode &= 01777;
    }
    EXPECT_EQ(after, expected) << "owner " << after.nOwner << ":" << after.nGroup << " mode 0" << std::oct
                               << after.nMode;
  }
  if (c.lpTrace != nullptr) {
    EXPECT_TRUE(TraceHas(c.lpTrace)) << c.lpTrace;
  }
  EXPECT_EQ(FileNames(ConfigDir()), (Names{"Msg.xml", "UILogTrace.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MsgFileAccessTest,
    ::testing::Values(
        AccessCase{"InPlaceWhenTheDirectoryTakesNoNewFile", true, 0755, false, 0666, AccessCase::kInPlace,
                   true,
                   "--SaveMsgFile wrote the file in place, its directory takes no new file: cannot create "},
        AccessCase{"ReadOnlyInAWritableDirectory", true, 0777, false, 0644, AccessCase::kRefused, true,
                   "--SaveMsgFile failed, the messages stay in memory: cannot write "},
        AccessCase{"ReadOnlyInAReadOnlyDirectory", true, 0755, true, 0444, AccessCase::kRefused, true,
                   nullptr},
        AccessCase{"AnOwnerNobodyMayNotGive", true, 0777, false, 06666, AccessCase::kReplaced, false,
                   "--SaveMsgFile replaced the file, but could not keep its owner: cannot give "},
        AccessCase{"NobodysOwnFile", true, 0777, true, 0604, AccessCase::kReplaced, true, nullptr},
        AccessCase{"RootKeepsAnotherUsersFileAndItsSetIdBits", false, 0755, true, 06640,
                   AccessCase::kReplaced, true, nullptr}),
    [](const ::testing::TestParamInfo<AccessCase>& param) { return std::string(param.param.lpName); });

// Written in place, a save that does not fit changes not one byte: the room is taken before the write.
TEST_F(MsgFileReplaceTest, InPlaceOnAFullVolumeChangesNothing) {
  std::string why;
  {
    std::unique_ptr<ActingUser> probe = ActAsNobody(&why);
    if (!probe) GTEST_SKIP() << why;
  }
  fs::create_directories(ConfigDir());
  std::unique_ptr<SmallVolume> volume = MountSmallVolume(ConfigDir(), 64 * 1024, &why);
  if (!volume) GTEST_SKIP() << "no volume to fill: " << why;
  // Off the volume, where nobody can still write the trace.
  fs::create_symlink(Dir() / "trace.txt", TracePath());
  Start(MsgFilePath());
  if (HasFatalFailure()) return;
  fs::permissions(Dir() / "trace.txt", fs::perms::all);
  ASSERT_TRUE(SetFileIdentity(MsgFilePath(), 0, 0, 0666, &why)) << why;
  // More than the pages the old file holds, which a write could fill without taking new room.
  for (char16_t c = u'a'; c <= u'h'; ++c) Add(u"Big", std::u16string(1, c), std::u16string(1000, c));
  ASSERT_TRUE(volume->Fill(&why)) << why;
  {
    std::unique_ptr<ActingUser> user = ActAsNobody(&why);
    ASSERT_EQ(api.Finish(), 1);
  }
  EXPECT_EQ(ReadFileBytes(MsgFilePath()), m_original);
  EXPECT_EQ(IdsInMemory(), (Ids{-2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_TRUE(TraceHas("--SaveMsgFile failed, the messages stay in memory: cannot make room in "));
  EXPECT_EQ(FileNames(ConfigDir()), (Names{"Msg.xml", "UILogTrace.txt", "filler.bin"}));
}

}  // namespace
}  // namespace test
}  // namespace tidings
