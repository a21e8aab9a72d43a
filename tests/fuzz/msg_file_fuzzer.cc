// Fuzzes loading and saving the message file: the input is laid as a message file, loaded, saved into a
// copy and the copy loaded again. Nothing may crash, leak or hang, and whatever a save writes must load.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <xercesc/util/PlatformUtils.hpp>

#include "module/msg_gov.h"
#include "trace/log_trace.h"

namespace {

std::string g_strDir;

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Initialised once here, as a host that uses Xerces-C itself has it: the library then leaves it alone
  // and each input is not also the cost of bringing Xerces-C up and down.
  xercesc::XMLPlatformUtils::Initialize();
  char templ[] = "/tmp/tidings-fuzz-XXXXXX";
  if (::mkdtemp(templ) == nullptr) std::abort();
  g_strDir = templ;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = g_strDir + "/Msg.xml";
  const std::string copy = g_strDir + "/Copy.xml";
  WriteFile(path, data, size);
  WriteFile(copy, data, size);

  tidings::CLogTrace trace;  // off: nothing is written
  tidings::CMsgGov gov(trace);
  gov.LoadMsgFile(Utf16(path));
  // A message of its own, so that every save has something to write.
  _Message_AddInfo info = {};
  info.wszMsgName[0] = u'n';
  info.strMsgSInfo[0] = u'<';
  info.bSaveAfterClose = 1;
  gov.AddMessage(u"fuzz", &info);
  gov.SaveMsgFile(Utf16(copy));
  tidings::CMsgGov again(trace);
  again.LoadMsgFile(Utf16(copy));
  // A save that rewrote the copy wrote a file that loads, with the message added in it.
  _Message_GetInfo got;
  if (ReadFile(copy) != std::string(reinterpret_cast<const char*>(data), size) &&
      again.GetMessage(0, &got) != 1) {
    __builtin_trap();
  }
  std::remove(path.c_str());
  std::remove(copy.c_str());
  return 0;
}
