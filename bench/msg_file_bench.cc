// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// MsgGovInitial and MsgGovFinish on message files of 1,000 and 100,000 dynamic messages, beside a raw
// Xerces-C parse, and a parse and serialize, of the same file in the same run. The host (this program)
// keeps Xerces-C initialised, as the library expects of its host.
//
// A file holds dynamic messages only: each MsgGovInitial appends to the lists, and only MsgGovFinish
// empties one, the dynamic list. MsgGovInitial is timed with a MsgGovFinish between two loads, and
// MsgGovFinish with a MsgGovInitial between two saves; that step is left out of the time. After the first
// save the file is the serializer's own output, and every later save writes it again alike.
//
// MsgGovFinish/comments saves a file whose DefaultMsg holds a run of consecutive comments (20,000 of
// them, 1.4 MB): saves once took time that grew with the square of such a run.
//
// MsgFileLimits/... load files that push the library's limits (attributes per element, what a file may
// build for its size, entities), in bytes per second: a file the library refuses must be refused about
// as fast as an ordinary file of its size loads, and one at the limits must load within a small
// multiple of that.

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/LocalFileFormatTarget.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "bench_support.h"
#include "limit_files.h"

namespace tidings {
namespace bench {

namespace {

using Clock = std::chrono::steady_clock;
using namespace xercesc;

const int64_t kFileSizes[] = {1000, 100000};

// A copy of the library beside a file of n dynamic messages, and the ID its next message gets.
struct FileStore {
  explicit FileStore(size_t nMessages)
      : copy(MessageFileXml(0, nMessages)), n(static_cast<int32_t>(nMessages)) {
    // One round trip first, so that the file is the serializer's output from the start.
    Load();
    copy.api.Finish();
  }
  void Load() {
    copy.api.Initial();
    nNextMsgID += n;
  }
  // Whether the file's last message is in the dynamic list, as it is after a load.
  bool Loaded() {
    _Message_GetInfo info;
    return copy.api.GetMessage(nNextMsgID - 1, &info) == 1;
  }

  LibraryCopy copy;
  int32_t n;
  int32_t nNextMsgID = 0;
};

FileStore& FileStoreOf(size_t n) {
  static std::map<size_t, std::unique_ptr<FileStore>> stores;
  std::unique_ptr<FileStore>& store = stores[n];
  if (!store) store.reset(new FileStore(n));
  return *store;
}

double Seconds(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double>(end - start).count();
}

void MsgGovInitial(benchmark::State& state) {
  FileStore& store = FileStoreOf(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    store.Load();
    state.SetIterationTime(Seconds(start, Clock::now()));
    if (!store.Loaded()) state.SkipWithError("MsgGovInitial did not load the file");
    store.copy.api.Finish();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void MsgGovFinish(benchmark::State& state) {
  FileStore& store = FileStoreOf(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    store.Load();
    if (!store.Loaded()) state.SkipWithError("MsgGovInitial did not load the file");
    const Clock::time_point start = Clock::now();
    store.copy.api.Finish();
    state.SetIterationTime(Seconds(start, Clock::now()));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A file of one dynamic message whose DefaultMsg holds n comments in a row, each of some seventy bytes.
std::string CommentsFileXml(size_t n) {
  std::string xml = "<?xml version=\"1.0\"?>\n<Root><MsgList><DefaultMsg>\n";
  for (size_t i = 0; i < n; ++i) {
    xml += "<!-- comment " + std::to_string(i) + ": an admin's note on the message that follows -->\n";
  }
  return xml +
         "<Message MsgSInfo=\"d\"/></DefaultMsg><DynamicMsg><Message MsgSInfo=\"m\"/></DynamicMsg>"
         "</MsgList></Root>\n";
}

void MsgGovFinishComments(benchmark::State& state) {
  LibraryCopy copy(CommentsFileXml(static_cast<size_t>(state.range(0))));
  int32_t nNextMsgID = 0;
  for (auto _ : state) {
    copy.api.Initial();
    _Message_GetInfo info;
    if (copy.api.GetMessage(nNextMsgID++, &info) != 1)
      state.SkipWithError("MsgGovInitial did not load the file");
    const Clock::time_point start = Clock::now();
    copy.api.Finish();
    state.SetIterationTime(Seconds(start, Clock::now()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(copy.MsgFilePath())));
}

DOMImplementationLS* Implementation() {
  static const XMLCh kLS[] = {chLatin_L, chLatin_S, chNull};
  return dynamic_cast<DOMImplementationLS*>(DOMImplementationRegistry::getDOMImplementation(kLS));
}

// A parser with Xerces-C's defaults, parsing the file by its name.
void XercesParse(benchmark::State& state) {
  const std::u16string path = FileStoreOf(static_cast<size_t>(state.range(0))).copy.MsgFilePath().u16string();
  DOMLSParser* pParser = Implementation()->createLSParser(DOMImplementationLS::MODE_SYNCHRONOUS, nullptr);
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    DOMDocument* pDocument = pParser->parseURI(path.c_str());
    if (pDocument == nullptr) state.SkipWithError("Xerces-C could not parse the file");
    pParser->resetDocumentPool();
    state.SetIterationTime(Seconds(start, Clock::now()));
  }
  pParser->release();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The same parse, then the document written to a file with a serializer's defaults.
void XercesParseSerialize(benchmark::State& state) {
  const std::u16string path = FileStoreOf(static_cast<size_t>(state.range(0))).copy.MsgFilePath().u16string();
  const std::u16string outPath = (MakeScratchDirectory() / "Msg.xml").u16string();
  DOMLSParser* pParser = Implementation()->createLSParser(DOMImplementationLS::MODE_SYNCHRONOUS, nullptr);
  DOMLSSerializer* pSerializer = Implementation()->createLSSerializer();
  DOMLSOutput* pOutput = Implementation()->createLSOutput();
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    DOMDocument* pDocument = pParser->parseURI(path.c_str());
    bool bWritten = false;
    if (pDocument != nullptr) {
      LocalFileFormatTarget target(outPath.c_str());
      pOutput->setByteStream(&target);
      bWritten = pSerializer->write(pDocument, pOutput);
    }
    pParser->resetDocumentPool();
    state.SetIterationTime(Seconds(start, Clock::now()));
    if (!bWritten) state.SkipWithError("Xerces-C could not parse or write the file");
  }
  pOutput->release();
  pSerializer->release();
  pParser->release();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

using test::FileWithDtd;
using test::NumberedAttList;
using test::NumberedAttributes;
using test::RepeatText;

struct LimitCase {
  const char* lpName;
  std::string (*make)();
  bool bLoads;  // else the library refuses it
};

const LimitCase kLimitCases[] = {
    // 15,000 ordinary messages.
    {"ordinary", [] { return MessageFileXml(0, 15000); }, true},
    // 1,000 elements of 256 attributes each, the most an element may have.
    {"256_attributes_each",
     [] { return FileWithDtd("", RepeatText("<e" + NumberedAttributes(256, "v") + "/>", 1000)); }, true},
    // One element of 160,000 attributes.
    {"160000_attributes", [] { return FileWithDtd("", "<e" + NumberedAttributes(160000, "v") + "/>"); },
     false},
    // 100 defaulted attributes of 1,000 characters on each of 2,000 elements: 200 MB of attributes.
    {"defaulted_attributes",
     [] { return FileWithDtd(NumberedAttList("d", 100, std::string(1000, 'x')), RepeatText("<d/>", 2000)); },
     false},
    // 9,000 references to an entity of 1,000 characters: 9 million units from 30 KB.
    {"entity_references",
     [] { return FileWithDtd("<!ENTITY e \"" + std::string(1000, 'x') + "\">", RepeatText("&e;", 9000)); },
     false},
    // Entities up to what a file of its size may build: 600 references to 1,000 characters each in 2 MB.
    {"entity_references_within",
     [] {
       return FileWithDtd("<!ENTITY e \"" + std::string(1000, 'x') + "\">",
                          RepeatText("&e;", 600) + "<!--" + std::string(2000000, ' ') + "-->");
     },
     true},
};

void MsgFileLimit(benchmark::State& state, const LimitCase& c) {
  const std::string xml = c.make();
  const int32_t nMessages = c.lpName == std::string("ordinary") ? 15000 : 1;
  LibraryCopy copy(xml);
  int32_t nNextMsgID = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    copy.api.Initial();
    state.SetIterationTime(Seconds(start, Clock::now()));
    _Message_GetInfo info;
    const bool bLoaded = copy.api.GetMessage(nNextMsgID + nMessages - 1, &info) == 1;
    if (bLoaded) nNextMsgID += nMessages;
    copy.api.Finish();
    if (bLoaded != c.bLoads) state.SkipWithError(bLoaded ? "a file to refuse loaded" : "a file was refused");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(xml.size()));
}

void RegisterFileSizes(const char* name, void (*fn)(benchmark::State&)) {
  benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(name, fn);
  for (int64_t n : kFileSizes) b->Arg(n);
  b->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
}

[[maybe_unused]] const bool kRegistered = [] {
  RegisterFileSizes("MsgGovInitial", MsgGovInitial);
  RegisterFileSizes("XercesParse", XercesParse);
  RegisterFileSizes("MsgGovFinish", MsgGovFinish);
  RegisterFileSizes("XercesParseSerialize", XercesParseSerialize);
  benchmark::RegisterBenchmark("MsgGovFinish/comments", MsgGovFinishComments)
      ->Arg(20000)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  for (const LimitCase& c : kLimitCases) {
    benchmark::RegisterBenchmark((std::string("MsgFileLimits/") + c.lpName).c_str(),
                                 [&c](benchmark::State& state) { MsgFileLimit(state, c); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace tidings
