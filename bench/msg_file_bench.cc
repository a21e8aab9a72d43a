// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// MsgGovInitial and MsgGovFinish on message files of 1,000 and 100,000 dynamic messages, beside a raw
// Xerces-C parse, and a parse and serialize, of the same file in the same run. The host (this program)
// keeps Xerces-C initialised, as the library expects of its host.
//
// A file holds dynamic messages only: each MsgGovInitial appends to the lists, and only MsgGovFinish
// empties one, the dynamic list. MsgGovInitial is timed with a MsgGovFinish between two loads, and
// MsgGovFinish with a MsgGovInitial between two saves; that step is left out of the time. After the first
// save the file is as a save writes it, and every later save writes it again alike.
//
// MsgGovFinishEdited saves a file edited after MsgGovInitial read it (a line end added or taken away
// after the document element), so that the save cannot take what the load learnt of the file and parses
// it again. ReplaceFile is what any save that keeps the file whole costs at least: the file's bytes
// written to a new file, flushed, renamed over the file and the directory flushed, as MsgGovFinish does
// it; the raw Xerces-C serialize writes the file in place and flushes nothing.
//
// MsgCheck checks the same files as tidings-msgcheck does, its report included (nothing written), and
// MsgCheckSave times the part of that check that is the library's own save short of writing the file, on
// the checker's parse: the splice, and a parse of what it would write where that is not the file as it
// stands. Each iteration loads the file with MsgGovInitial too, and the counter per_load is the check's
// time over the load's. ...AsWritten do the same on the file as an admin writes it, one message a line,
// which a save changes.
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
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/LocalFileFormatTarget.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "bench_support.h"
#include "limit_files.h"
#include "msg_check.h"
#include "persist/msg_file.h"
#include "persist/xml_doc.h"
#include "platform/platform.h"
#include "report.h"

namespace tidings {
namespace bench {

namespace {

using Clock = std::chrono::steady_clock;
using namespace xercesc;

const int64_t kFileSizes[] = {1000, 100000};

// A copy of the library beside a file of n dynamic messages, and the ID its next message gets. The file is
// the library's own output (a save rewrote it), or, as written, one message a line as an admin writes
// them, which every save would change.
struct FileStore {
  FileStore(size_t nMessages, bool bWritten)
      : copy(MessageFileXml(0, nMessages)), n(static_cast<int32_t>(nMessages)), bAsWritten(bWritten) {
    if (!bAsWritten) Load();
    Finish();
  }
  void Load() {
    copy.api.Initial();
    nNextMsgID += n;
  }
  void Finish() {
    copy.api.Finish();
    if (bAsWritten) {
      // Not timed: the file is put back as it was written.
      platform::ReplaceFileContents(copy.MsgFilePath().u16string(),
                                    MessageFileXml(0, static_cast<size_t>(n)));
    }
  }
  // Whether the file's last message is in the dynamic list, as it is after a load.
  bool Loaded() {
    _Message_GetInfo info;
    return copy.api.GetMessage(nNextMsgID - 1, &info) == 1;
  }

  LibraryCopy copy;
  int32_t n;
  bool bAsWritten;
  int32_t nNextMsgID = 0;
};

FileStore& FileStoreOf(size_t n, bool bAsWritten = false) {
  static std::map<std::pair<size_t, bool>, std::unique_ptr<FileStore>> stores;
  std::unique_ptr<FileStore>& store = stores[{n, bAsWritten}];
  if (!store) store.reset(new FileStore(n, bAsWritten));
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
    store.Finish();
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

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bytes of the file of n messages, as MsgGovInitial reads them.
std::string FileBytesOf(size_t n, bool bAsWritten = false) {
  return ReadBytes(FileStoreOf(n, bAsWritten).copy.MsgFilePath());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void MsgGovFinishEdited(benchmark::State& state) {
  FileStore& store = FileStoreOf(static_cast<size_t>(state.range(0)));
  const fs::path path = store.copy.MsgFilePath();
  for (auto _ : state) {
    store.Load();
    if (!store.Loaded()) state.SkipWithError("MsgGovInitial did not load the file");
    std::string bytes = ReadBytes(path);
    if (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\n\n") == 0) {
      bytes.pop_back();
    } else {
      bytes.push_back('\n');
    }
    WriteBytes(path, bytes);
    const Clock::time_point start = Clock::now();
    store.copy.api.Finish();
    state.SetIterationTime(Seconds(start, Clock::now()));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void ReplaceFile(benchmark::State& state) {
  const std::string bytes = FileBytesOf(static_cast<size_t>(state.range(0)));
  const fs::path path = MakeScratchDirectory() / "Msg.xml";
  WriteBytes(path, bytes);
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const bool bReplaced = platform::ReplaceFileContents(path.u16string(), bytes).ok();
    state.SetIterationTime(Seconds(start, Clock::now()));
    if (!bReplaced) state.SkipWithError("the file could not be replaced");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Each iteration loads the file with MsgGovInitial, then runs `work` on it; the iteration's time is the
// work's, and the counter per_load the work's time over the load's, summed over the iterations: taken
// side by side, both meet the same machine, which a busy one makes a steadier ratio than two runs' times.
template <typename Work>
void BesideLoad(benchmark::State& state, bool bAsWritten, Work work) {
  FileStore& store = FileStoreOf(static_cast<size_t>(state.range(0)), bAsWritten);
  const std::string bytes = FileBytesOf(static_cast<size_t>(state.range(0)), bAsWritten);
  double dLoad = 0, dWork = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    store.Load();
    dLoad += Seconds(start, Clock::now());
    if (!store.Loaded()) state.SkipWithError("MsgGovInitial did not load the file");
    store.Finish();
    const double dSeconds = work(bytes);
    dWork += dSeconds;
    state.SetIterationTime(dSeconds);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  if (dLoad > 0) state.counters["per_load"] = dWork / dLoad;
}

void CheckFile(benchmark::State& state, bool bAsWritten) {
  const size_t n = static_cast<size_t>(state.range(0));
  BesideLoad(state, bAsWritten, [&state, n](const std::string& bytes) {
    const Clock::time_point start = Clock::now();
    const msgcheck::CheckResult result = msgcheck::CheckMsgBytes(bytes);
    const std::string strReport =
        msgcheck::FormatListing(result) + msgcheck::FormatDiagnostics(u"Msg.xml", result);
    const double dSeconds = Seconds(start, Clock::now());
    if (result.ExitStatus() != msgcheck::kExitClean || result.dynamics.messages.size() != n) {
      state.SkipWithError("the file did not check clean");
    }
    benchmark::DoNotOptimize(strReport.data());
    return dSeconds;
  });
}

void MsgCheck(benchmark::State& state) { CheckFile(state, false); }
void MsgCheckAsWritten(benchmark::State& state) { CheckFile(state, true); }

// What the save's check adds to the checker's own parse of the file, as tidings-msgcheck runs it.
void SaveCheck(benchmark::State& state, bool bAsWritten) {
  BesideLoad(state, bAsWritten, [&state](const std::string& bytes) {
    XmlDocContext document;
    if (!document.CreateParser().ok()) state.SkipWithError("no parser");
    DOMElement* pRoot = nullptr;
    document.LoadXmlBytes(bytes, &pRoot);
    LoadedMessages loaded;
    if (!ReadMessages(pRoot, 0, &loaded)) state.SkipWithError("the file did not load");
    const Clock::time_point start = Clock::now();
    const MsgFileWriteResult result = CheckMsgFileWrite(&document, pRoot, std::move(loaded.dynamics));
    const double dSeconds = Seconds(start, Clock::now());
    if (!result.status.ok()) state.SkipWithError("the save would fail");
    return dSeconds;
  });
}

void MsgCheckSave(benchmark::State& state) { SaveCheck(state, false); }
void MsgCheckSaveAsWritten(benchmark::State& state) { SaveCheck(state, true); }

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

// The large file runs for a second at least, enough for a few of its rounds; the small one for the
// run's own minimum, so that a short run (--benchmark_min_time) stays short.
void RegisterFileSizes(const char* name, void (*fn)(benchmark::State&)) {
  for (int64_t n : kFileSizes) {
    benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(name, fn);
    b->Arg(n)->UseManualTime()->Unit(benchmark::kMillisecond);
    if (n >= 100000) b->MinTime(1.0);
  }
}

[[maybe_unused]] const bool kRegistered = [] {
  RegisterFileSizes("MsgGovInitial", MsgGovInitial);
  RegisterFileSizes("XercesParse", XercesParse);
  RegisterFileSizes("MsgGovFinish", MsgGovFinish);
  RegisterFileSizes("MsgGovFinishEdited", MsgGovFinishEdited);
  RegisterFileSizes("ReplaceFile", ReplaceFile);
  RegisterFileSizes("XercesParseSerialize", XercesParseSerialize);
  RegisterFileSizes("MsgCheck", MsgCheck);
  RegisterFileSizes("MsgCheckSave", MsgCheckSave);
  RegisterFileSizes("MsgCheckAsWritten", MsgCheckAsWritten);
  RegisterFileSizes("MsgCheckSaveAsWritten", MsgCheckSaveAsWritten);
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
