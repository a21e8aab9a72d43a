// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "bench_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/platform.h"

#ifndef TIDINGS_BENCH_LIBRARY
#error "TIDINGS_BENCH_LIBRARY must name the built library"
#endif
#ifndef TIDINGS_BENCH_SETTINGS
#define TIDINGS_BENCH_SETTINGS "the registry"
#endif

namespace tidings {
namespace bench {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "tidings_bench: %s\n", what.c_str());
  std::exit(2);
}

// The directory every scratch directory of this process goes into; removed with all of them at exit,
// after the copies of the library in it have been unloaded (they are destroyed first, having been made
// later).
class ScratchRoot {
 public:
  ScratchRoot() {
    std::random_device rd;
    std::mt19937_64 rng(rd() ^
                        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (;;) {
      std::ostringstream name;
      name << "tidings-bench-" << std::hex << rng();
      m_path = fs::temp_directory_path() / name.str();
      if (fs::create_directory(m_path)) break;
    }
  }
  ~ScratchRoot() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  fs::path Next() {
    fs::path dir = m_path / std::to_string(m_nNext++);
    fs::create_directories(dir);
    return dir;
  }

 private:
  fs::path m_path;
  unsigned m_nNext = 0;
};

const char16_t* const kSpans[] = {u"Mail",    u"Calendar", u"Updates", u"Backup", u"Chat",   u"Printer",
                                  u"Network", u"Storage",  u"Power",   u"Sync",   u"Camera", u"Audio",
                                  u"Display", u"Security", u"Tasks",   u"News"};
constexpr size_t kSpanCount = sizeof kSpans / sizeof kSpans[0];

std::u16string Upper(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
  }
  return text;
}

std::u16string Decimal(uint32_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

std::string Ascii(const std::u16string& text) { return std::string(text.begin(), text.end()); }

void AppendMessage(std::string* xml, const std::u16string& span, const std::u16string& name, uint32_t k) {
  *xml += "      <Message MsgSpan=\"" + Ascii(span) + "\" MsgName=\"" + Ascii(name) +
          "\" MsgSInfo=\"Information text of message " + std::to_string(k) +
          "\" MsgEchoPath=\"\" ShowType=\"1\" ShowTime=\"30\"/>\n";
}

}  // namespace

fs::path MakeScratchDirectory() {
  static ScratchRoot root;
  return root.Next();
}

LibraryCopy::LibraryCopy(const std::string& strMsgFile) : m_dir(MakeScratchDirectory()) {
  fs::create_directories(m_dir / "Config");
  if (!strMsgFile.empty()) {
    std::ofstream out(MsgFilePath(), std::ios::binary | std::ios::trunc);
    out << strMsgFile;
    if (!out.good()) Fail("cannot write " + MsgFilePath().string());
  }
  const fs::path source = fs::u8path(TIDINGS_BENCH_LIBRARY);
  const fs::path target = m_dir / source.filename();
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  m_hLibrary = platform::LoadModule(target.u16string());
  if (m_hLibrary == nullptr) Fail("cannot load " + target.string());
  if (const char* lpMissing = client::ResolveTidingsApi(m_hLibrary, &api)) {
    Fail(std::string("the library does not export ") + lpMissing);
  }

  _Message_GetInfo info;
  api.GetMessage(-1, &info);
  if (fs::exists(m_dir / "Config" / "UILogTrace.txt")) {
    Fail(std::string("tracing is on (") + TIDINGS_BENCH_SETTINGS +
         " turns it on); the benchmarks measure the library with tracing off");
  }
}

LibraryCopy::~LibraryCopy() {
  if (m_hLibrary != nullptr) platform::UnloadModule(m_hLibrary);
}

std::u16string SpanOf(uint32_t k) { return kSpans[k % kSpanCount]; }
std::u16string NameOf(uint32_t k) { return u"Message " + Decimal(k); }
std::u16string UpperSpanOf(uint32_t k) { return Upper(SpanOf(k)); }
std::u16string UpperNameOf(uint32_t k) { return Upper(NameOf(k)); }

std::string MessageFileXml(size_t nDefault, size_t nDynamic) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Config>\n  <MsgList>\n    <DefaultMsg>\n";
  for (uint32_t k = 0; k < nDefault; ++k) AppendMessage(&xml, SpanOf(k), u"Default " + Decimal(k), k);
  xml += "    </DefaultMsg>\n    <DynamicMsg>\n";
  for (uint32_t k = 0; k < nDynamic; ++k) AppendMessage(&xml, SpanOf(k), NameOf(k), k);
  xml += "    </DynamicMsg>\n  </MsgList>\n</Config>\n";
  return xml;
}

}  // namespace bench
}  // namespace tidings
