// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Fuzzes loading and saving the message file: the input is laid as a message file, loaded, saved into a
// copy and the copy loaded again. Nothing may crash, leak or hang, whatever a save writes must load, and
// the load (which reads the messages as the parser meets them) must read what the message-file checker
// reads from the document it builds.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <xercesc/util/PlatformUtils.hpp>

#include "persist/msg_file.h"
#include "persist/xml_doc.h"

namespace {

std::string g_strDir;

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

bool SameMessages(const std::vector<tidings::_Message_Item>& a,
                  const std::vector<tidings::_Message_Item>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].dwMsgID != b[i].dwMsgID || a[i].strMsgSpan != b[i].strMsgSpan ||
        a[i].strMsgName != b[i].strMsgName || a[i].strMsgSInfo != b[i].strMsgSInfo ||
        a[i].strMsgEchoPath != b[i].strMsgEchoPath || a[i].ShowType != b[i].ShowType ||
        a[i].dwPopShowTimeout != b[i].dwPopShowTimeout)
      return false;
  }
  return true;
}

// Whether the messages read from a document built of `bytes` are `loaded` (read or not as `bLoaded`).
bool DocumentReadsAlike(const uint8_t* data, size_t size, bool bLoaded,
                        const tidings::LoadedMessages& loaded) {
  tidings::XmlDocContext document;
  tidings::LoadedMessages read;
  bool bRead = false;
  try {
    xercesc::DOMElement* pRoot = nullptr;
    bRead = document.CreateParser().ok() &&
            document.LoadXmlBytes(std::string_view(reinterpret_cast<const char*>(data), size), &pRoot).ok() &&
            tidings::ReadMessages(pRoot, 0, &read);
  } catch (...) {
    return true;  // out of memory: nothing to compare
  }
  if (bRead != bLoaded) return false;
  return !bRead ||
         (SameMessages(read.defaults, loaded.defaults) && SameMessages(read.dynamics, loaded.dynamics) &&
          read.nNextMsgID == loaded.nNextMsgID && read.nKeptBack == loaded.nKeptBack);
}

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
  const bool bLoaded = tidings::ReadMsgFile(Utf16(path), 0, &loaded);
  if (!DocumentReadsAlike(data, size, bLoaded, loaded)) __builtin_trap();
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
  if (result.status.ok() && (!tidings::ReadMsgFile(Utf16(copy), 0, &again) || again.dynamics.empty() ||
                             again.dynamics.back().strMsgSInfo != item.strMsgSInfo)) {
    __builtin_trap();
  }
  std::remove(path.c_str());
  std::remove(copy.c_str());
  return 0;
}
