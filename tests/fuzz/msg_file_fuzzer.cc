// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Fuzzes loading and saving the message file: the input is laid as a message file, loaded, saved into a
// copy and the copy loaded again. Nothing may crash, leak or hang, and whatever a save writes must load.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <xercesc/util/PlatformUtils.hpp>

#include "persist/msg_file.h"

namespace {

std::string g_strDir;

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
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

  tidings::LoadedMessages loaded;
  tidings::ReadMsgFile(Utf16(path), 0, &loaded);
  // A message of its own, so that every save has something to write.
  tidings::_Message_Item item;
  item.strMsgSpan = u"fuzz";
  item.strMsgName = u"n";
  item.strMsgSInfo = u"<";
  item.bSaveAfterClose = 1;
  item.dwMsgID = static_cast<int32_t>(loaded.nNextMsgID);
  loaded.dynamics.push_back(item);
  const tidings::MsgFileWriteResult result = tidings::WriteMsgFile(Utf16(copy), loaded.dynamics);
  // A save that wrote the copy wrote a file that loads, with the message added in it last.
  tidings::LoadedMessages again;
  if (result.outcome == tidings::MsgFileWriteResult::kWritten &&
      (!tidings::ReadMsgFile(Utf16(copy), 0, &again) || again.dynamics.empty() ||
       again.dynamics.back().strMsgSInfo != item.strMsgSInfo)) {
    __builtin_trap();
  }
  std::remove(path.c_str());
  std::remove(copy.c_str());
  return 0;
}
