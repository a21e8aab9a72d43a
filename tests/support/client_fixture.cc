// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "client_fixture.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "change_recorder.h"
#include "module_probe.h"
#include "platform/platform.h"

namespace tidings {
namespace test {

namespace {

fs::path OwnDirectory() { return fs::path(platform::OwnModuleFileName()).parent_path(); }

// Copies the built library into `dir` and loads that copy, with its exports in *pApi.
void* CopyAndLoad(const fs::path& dir, TidingsApi* pApi) {
  const fs::path target = dir / TIDINGS_TEST_LIBRARY_NAME;
  fs::copy_file(OwnDirectory() / TIDINGS_TEST_LIBRARY_NAME, target, fs::copy_options::overwrite_existing);
  void* hLibrary = LoadModuleAt(target);
  const char* lpMissing = hLibrary == nullptr ? "anything" : client::ResolveTidingsApi(hLibrary, pApi);
  EXPECT_EQ(lpMissing, nullptr) << "cannot load " << target << ", or it does not export " << lpMissing;
  // A test goes on after a failed assertion in a helper; without the exports it would only crash, so
  // end it here (the framework reports the exception as the test's failure).
  if (lpMissing != nullptr) throw std::runtime_error("the library could not be loaded");
  return hLibrary;
}

fs::path MakeFreshDirectory() {
  std::random_device rd;
  std::mt19937_64 rng(rd() ^
                      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    std::ostringstream name;
    name << "tidings-test-" << std::hex << rng();
    fs::path dir = base / name.str();
    if (fs::create_directory(dir)) return dir;
  }
}

bool ParseDigits(const std::string& s, size_t pos, size_t n, int* out) {
  if (pos + n > s.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

// "TID:" digits(>=6) " [" time(19 or empty) "." ddd "]     " text
bool ParseLine(const std::string& line, TraceLine* out) {
  if (line.compare(0, 4, "TID:") != 0) return false;
  size_t pos = 4;
  size_t start = pos;
  uint64_t tid = 0;
  while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
    tid = tid * 10 + static_cast<uint64_t>(line[pos] - '0');
    ++pos;
  }
  if (pos - start < 6) return false;
  // Six digits only with leading zeros: a longer number has none.
  if (pos - start > 6 && line[start] == '0') return false;
  if (line.compare(pos, 2, " [") != 0) return false;
  pos += 2;
  size_t dot = line.find('.', pos);
  if (dot == std::string::npos) return false;
  out->strTime = line.substr(pos, dot - pos);
  if (!out->strTime.empty()) {
    int y, mo, d, h, mi, se;
    const std::string& t = out->strTime;
    if (t.size() != 19 || !ParseDigits(t, 0, 4, &y) || t[4] != '-' || !ParseDigits(t, 5, 2, &mo) ||
        t[7] != '-' || !ParseDigits(t, 8, 2, &d) || t[10] != ' ' || !ParseDigits(t, 11, 2, &h) ||
        t[13] != ':' || !ParseDigits(t, 14, 2, &mi) || t[16] != ':' || !ParseDigits(t, 17, 2, &se)) {
      return false;
    }
  }
  pos = dot + 1;
  if (!ParseDigits(line, pos, 3, &out->nSecondsMod)) return false;
  pos += 3;
  if (line.compare(pos, 6, "]     ") != 0) return false;
  pos += 6;
  out->nThreadId = static_cast<uint32_t>(tid);
  out->strText = line.substr(pos);
  return true;
}

}  // namespace

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t u : text) out.push_back(u < 0x80 ? static_cast<char>(u) : '?');
  return out;
}

std::vector<TraceLine> ParseTrace(const std::string& bytes) {
  std::vector<TraceLine> lines;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find("\r\n", pos);
    if (end == std::string::npos) {
      ADD_FAILURE() << "trace ends without CR LF: " << bytes.substr(pos);
      break;
    }
    std::string line = bytes.substr(pos, end - pos);
    TraceLine parsed;
    if (!ParseLine(line, &parsed)) {
      ADD_FAILURE() << "malformed trace line: " << line;
    } else {
      lines.push_back(parsed);
    }
    pos = end + 2;
  }
  return lines;
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void ClientTest::SetUp() {
  m_dir = MakeFreshDirectory();
  ClearChanges();
}

void ClientTest::TearDown() {
  UnloadLibrary();
  for (void* hLibrary : m_otherCopies) platform::UnloadModule(hLibrary);
  m_otherCopies.clear();
  std::error_code ec;
  fs::remove_all(m_dir, ec);
}

void ClientTest::LoadLibrary(bool bTraceOn, bool bConfigDir) {
  if (bTraceOn) {
    TurnTraceOn();
  } else {
    TurnTraceOff();
  }
  LoadLibraryWithSettings({}, bConfigDir);
}

void ClientTest::LoadLibraryWithSettings(const std::vector<SettingEntry>& settings, bool bConfigDir) {
  if (!settings.empty()) WriteSettings(settings);
  ASSERT_EQ(m_hLibrary, nullptr) << "the library is loaded already";
  if (bConfigDir) fs::create_directories(ConfigDir());
  m_hLibrary = CopyAndLoad(LibraryDir(), &api);
}

void ClientTest::LoadAnotherCopy(const fs::path& name, TidingsApi* pApi) {
  fs::create_directories(m_dir / name / "Config");
  m_otherCopies.push_back(CopyAndLoad(m_dir / name, pApi));
}

void ClientTest::UnloadLibrary() {
  if (m_hLibrary != nullptr) platform::UnloadModule(m_hLibrary);
  m_hLibrary = nullptr;
  api = TidingsApi();
}

int32_t ClientTest::Restart(const std::optional<std::string>& file, bool bTraceOn) {
  UnloadLibrary();
  if (file) WriteMsgFile(*file);
  LoadLibrary(bTraceOn);
  return api.Initial();
}

void ClientTest::UseLibrarySubdirectory(const fs::path& name) {
  m_libraryDir = m_dir / name;
  fs::create_directories(m_libraryDir);
}

void ClientTest::Add(const std::u16string& strSpan, const std::u16string& strName,
                     const std::u16string& strInfo, int32_t nShowType, int32_t nTimeout, int32_t bSave) {
  _Message_AddInfo info = MakeAddInfo(strName, strInfo, u"", nShowType, nTimeout, bSave);
  ASSERT_EQ(api.AddMessage(T(strSpan).c_str(), &info), 1);
}

void ClientTest::WriteMsgFile(const std::string& xml) const {
  fs::create_directories(ConfigDir());
  WriteFileBytes(MsgFilePath(), xml);
}

std::string ClientTest::TraceBytes() const { return ReadFileBytes(TracePath()); }

std::vector<TraceLine> ClientTest::TraceLines() const { return ParseTrace(TraceBytes()); }

std::vector<std::string> ClientTest::TraceTexts() const {
  std::vector<std::string> texts;
  for (const TraceLine& line : TraceLines()) texts.push_back(line.strText);
  return texts;
}

void ClientTest::ClearTrace() const {
  if (TraceExists()) WriteFileBytes(TracePath(), std::string());
}

}  // namespace test
}  // namespace tidings
