// MsgGovInitial and MsgGovFinish on message files of 1,000 and 100,000 dynamic messages, beside a raw
// Xerces-C parse, and a parse and serialize, of the same file in the same run. The host (this program)
// keeps Xerces-C initialised, as the library expects of its host.
//
// A file holds dynamic messages only: each MsgGovInitial appends to the lists, and only MsgGovFinish
// empties one, the dynamic list. MsgGovInitial is timed with a MsgGovFinish between two loads, and
// MsgGovFinish with a MsgGovInitial between two saves; that step is left out of the time. After the first
// save the file is the serializer's own output, and every later save writes it again alike.

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/LocalFileFormatTarget.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "bench_support.h"

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
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace tidings
