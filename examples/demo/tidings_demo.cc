// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// tidings-demo: a host program for Tidings.
//
// It uses the library the way an application that shows notification messages does: it loads the
// library by path at run time, keeps Xerces-C initialised for it, starts it, subscribes a callback, adds,
// updates, marks, deletes and walks messages, echoes one to a handler module and saves at the end; then
// it unloads the library and loads it again, to show that the saved messages come back.
//
// The demo directory (by default the directory of this program) holds the library, the example handler
// module EchoHandler and a Config directory with the sample message file Msg.sample.xml. Every run first
// lays a fresh copy of the sample at Config/Msg.xml and switches the library's trace log on (restoring the
// switch at the end), so that the output is the same each time. The last line names the trace log.
//
//   tidings-demo [demo-directory]

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "tidings.h"

namespace fs = std::filesystem;

#ifndef TIDINGS_DEMO_LIBRARY
#error "TIDINGS_DEMO_LIBRARY (the library's file name) must be defined"
#endif
#ifndef TIDINGS_DEMO_HANDLER
#error "TIDINGS_DEMO_HANDLER (the handler module's file name) must be defined"
#endif

// ---- The platform: loading a module by path, finding this program, and the trace switch. ----

#if defined(_WIN32)
#include <windows.h>

namespace {

void* LoadModuleFile(const fs::path& file, std::string* error) {
  HMODULE module = ::LoadLibraryW(file.c_str());
  if (module == nullptr) *error = "LoadLibraryW failed with error " + std::to_string(::GetLastError());
  return module;
}

void* FindExport(void* module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModuleFile(void* module) { ::FreeLibrary(static_cast<HMODULE>(module)); }

fs::path ProgramFile() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
  buffer.resize(n);
  return fs::path(buffer);
}

// The library reads its trace switch from the registry: "Debug"="1" (REG_SZ) under
// HKEY_LOCAL_MACHINE\SOFTWARE\quellbridge\Halvern3.0. Writing there needs administrator rights.
class TraceSwitch {
 public:
  bool TurnOn(std::string* error) {
    HKEY key = nullptr;
    LONG rc = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) {
      *error = "cannot open HKEY_LOCAL_MACHINE\\SOFTWARE\\quellbridge\\Halvern3.0 (error " +
               std::to_string(rc) + ")";
      return false;
    }
    DWORD size = 0;
    m_bExisted = ::RegQueryValueExW(key, kValue, nullptr, &m_dwType, nullptr, &size) == ERROR_SUCCESS;
    if (m_bExisted) {
      m_previous.resize(size);
      m_bExisted =
          ::RegQueryValueExW(key, kValue, nullptr, &m_dwType, m_previous.data(), &size) == ERROR_SUCCESS;
      m_previous.resize(size);
    }
    static const wchar_t kOne[] = L"1";
    rc = ::RegSetValueExW(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOne),
                          static_cast<DWORD>(sizeof kOne));
    ::RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
      *error = "cannot set the value Debug (error " + std::to_string(rc) + ")";
      return false;
    }
    m_bWritten = true;
    return true;
  }

  // Puts back what was there before TurnOn.
  void Restore() {
    if (!m_bWritten) return;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (m_bExisted) {
      ::RegSetValueExW(key, kValue, 0, m_dwType, m_previous.data(), static_cast<DWORD>(m_previous.size()));
    } else {
      ::RegDeleteValueW(key, kValue);
    }
    ::RegCloseKey(key);
    m_bWritten = false;
  }

 private:
  static constexpr const wchar_t* kKey = L"SOFTWARE\\quellbridge\\Halvern3.0";
  static constexpr const wchar_t* kValue = L"Debug";
  bool m_bWritten = false;
  bool m_bExisted = false;
  DWORD m_dwType = 0;
  std::vector<BYTE> m_previous;
};

}  // namespace

#else
#include <dlfcn.h>

#ifndef TIDINGS_SETTINGS_FILE
#define TIDINGS_SETTINGS_FILE "/etc/tidings/registry.reg"
#endif

namespace {

void* LoadModuleFile(const fs::path& file, std::string* error) {
  void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) *error = ::dlerror();
  return module;
}

void* FindExport(void* module, const char* name) { return ::dlsym(module, name); }

void UnloadModuleFile(void* module) { ::dlclose(module); }

fs::path ProgramFile() {
  std::error_code ec;
  const fs::path file = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path(ec) / "tidings-demo" : file;
}

// Without a registry the library reads its trace switch from a settings file in the format of a
// registry export, at the path it was built with.
class TraceSwitch {
 public:
  bool TurnOn(std::string* error) {
    std::error_code ec;
    m_bExisted = fs::exists(kFile, ec);
    if (m_bExisted) {
      std::ifstream in(kFile, std::ios::binary);
      m_previous.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!Write("Windows Registry Editor Version 5.00\r\n"
               "\r\n"
               "; written by tidings-demo for its run: turns the Tidings trace log on\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\quellbridge\\Halvern3.0]\r\n"
               "\"Debug\"=\"1\"\r\n")) {
      *error = std::string("cannot write the settings file ") + kFile;
      return false;
    }
    m_bWritten = true;
    return true;
  }

  // Puts back what was there before TurnOn.
  void Restore() {
    if (!m_bWritten) return;
    if (m_bExisted) {
      Write(m_previous);
    } else {
      std::error_code ec;
      fs::remove(kFile, ec);
    }
    m_bWritten = false;
  }

 private:
  static bool Write(const std::string& text) {
    std::ofstream out(kFile, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
  }

  static constexpr const char* kFile = TIDINGS_SETTINGS_FILE;
  bool m_bWritten = false;
  bool m_bExisted = false;
  std::string m_previous;
};

}  // namespace

#endif

// ---- The host. ----

namespace {

using Text = std::basic_string<TIDINGS_WCHAR>;

// The library's exports, found by name once it is loaded.
struct TidingsApi {
  decltype(&::MsgGovInitial) Initial = nullptr;
  decltype(&::MsgGovFinish) Finish = nullptr;
  decltype(&::MSGGOV_Subscribe) Subscribe = nullptr;
  decltype(&::MSGGOV_UNSubscribe) Unsubscribe = nullptr;
  decltype(&::MSGGOV_EchoMsg) Echo = nullptr;
  decltype(&::NBX_AddMessage) Add = nullptr;
  decltype(&::NBX_DeleteMessage) Delete = nullptr;
  decltype(&::NBX_DeleteMessageFromID) DeleteById = nullptr;
  decltype(&::NBX_GetMessage) Get = nullptr;
  decltype(&::NBX_GetNextMessage) GetNext = nullptr;
  decltype(&::NBX_MessageHasPopup) MarkPopup = nullptr;
};

TidingsApi g_tidings;
// The IDs of the dynamic messages this host knows of, kept up to date by the change callback, and the ID
// of the last message announced as new or changed.
std::set<int32_t> g_knownIds;
int32_t g_lastAnnouncedId = -1;

Text Ascii(const char* text) {
  Text result;
  for (; *text != '\0'; ++text) result.push_back(static_cast<TIDINGS_WCHAR>(*text));
  return result;
}

Text PathText(const fs::path& path) {
  const std::u16string units = path.u16string();
  return Text(units.begin(), units.end());
}

std::string Utf8(const TIDINGS_WCHAR* text) {
  std::string out;
  for (; *text != 0; ++text) {
    uint32_t c = static_cast<uint16_t>(*text);
    const uint32_t next = static_cast<uint16_t>(text[1]);
    if (c >= 0xD800 && c < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
      ++text;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = '?';
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Describe(const _Message_GetInfo& info) {
  std::ostringstream out;
  out << '"' << Utf8(info.strMsgSInfo) << "\" (show type " << info.ShowType << ", timeout "
      << info.dwPopShowTimeout << ", popup " << (info.bHasPopup ? "shown" : "not shown") << ')';
  return out.str();
}

// The subscriber: told of every change, it reads the message back from inside the callback.
void TIDINGS_CALLBACK OnMessageChange(int32_t dwMsgID, int32_t nAddType) {
  const char* kind = nAddType == ADDTYPE_NEW      ? "new"
                     : nAddType == ADDTYPE_DELETE ? "deleted"
                     : nAddType == ADDTYPE_CHANGE ? "changed"
                                                  : "changed in an unknown way";
  _Message_GetInfo info;
  if (g_tidings.Get(dwMsgID, &info) == 1) {
    std::printf("  [notice] message %d %s: %s\n", static_cast<int>(dwMsgID), kind, Describe(info).c_str());
  } else {
    std::printf("  [notice] message %d %s; NBX_GetMessage finds nothing\n", static_cast<int>(dwMsgID), kind);
  }
  if (nAddType != ADDTYPE_DELETE) g_lastAnnouncedId = dwMsgID;
  if (dwMsgID < 0) return;  // a default message: those never change
  if (nAddType == ADDTYPE_DELETE) {
    g_knownIds.erase(dwMsgID);
  } else {
    g_knownIds.insert(dwMsgID);
  }
}

// A _Message_AddInfo with room for an echo path of any length: the library reads strMsgEchoPath up to its
// terminator, so a path longer than the declared 260 units needs a larger record.
class AddInfoRecord {
 public:
  AddInfoRecord(const char* name, const char* info, int32_t showType, int32_t popShowTimeout,
                bool saveAfterClose, const Text& echoPath) {
    const size_t bytes =
        std::max(sizeof(_Message_AddInfo),
                 offsetof(_Message_AddInfo, strMsgEchoPath) + (echoPath.size() + 1) * sizeof(TIDINGS_WCHAR));
    m_storage.assign(bytes / sizeof(uint64_t) + 1, 0);
    _Message_AddInfo* p = get();
    CopyBounded(Ascii(name), p->wszMsgName, 256);
    CopyBounded(Ascii(info), p->strMsgSInfo, 1024);
    p->ShowType = showType;
    p->dwPopShowTimeout = popShowTimeout;
    p->bSaveAfterClose = saveAfterClose ? 1 : 0;
    TIDINGS_WCHAR* path = p->strMsgEchoPath;
    std::copy(echoPath.begin(), echoPath.end(), path);
    path[echoPath.size()] = 0;
  }

  _Message_AddInfo* get() { return reinterpret_cast<_Message_AddInfo*>(m_storage.data()); }

 private:
  static void CopyBounded(const Text& text, TIDINGS_WCHAR* field, size_t capacity) {
    const size_t n = std::min(text.size(), capacity - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), field);
    field[n] = 0;
  }

  std::vector<uint64_t> m_storage;  // zero-filled, aligned for the record's 32-bit fields
};

// Prints one list, visiting each message once: from `start`, NBX_GetNextMessage steps on until the walk
// comes back to where it began. `previousIds` (info text to ID), when given, notes a message's earlier ID.
// Returns the info text and ID of each message visited.
std::map<std::string, int32_t> WalkList(const char* title, int32_t start,
                                        const std::map<std::string, int32_t>* previousIds = nullptr) {
  std::map<std::string, int32_t> seen;
  std::printf("%s, walked from %d:\n", title, static_cast<int>(start));
  _Message_GetInfo info;
  if (g_tidings.Get(start, &info) != 1) {
    std::printf("  (empty)\n");
    return seen;
  }
  int32_t id = start;
  for (;;) {
    const std::string text = Utf8(info.strMsgSInfo);
    std::printf("  %3d  %s", static_cast<int>(id), Describe(info).c_str());
    if (previousIds != nullptr) {
      const auto it = previousIds->find(text);
      if (it != previousIds->end()) std::printf(", was %d", static_cast<int>(it->second));
    }
    std::printf("\n");
    seen[text] = id;
    int32_t next = -1;
    if (g_tidings.GetNext(id, &next, &info) != 1 || next == start) break;
    // A walk of the dynamic list whose start has gone meanwhile would continue in the default list.
    if ((start >= 0) != (next >= 0)) break;
    id = next;
  }
  return seen;
}

void WalkDynamicList(const char* title, const std::map<std::string, int32_t>* previousIds,
                     std::map<std::string, int32_t>* seen) {
  if (g_knownIds.empty()) {
    std::printf("%s: empty\n", title);
    return;
  }
  std::map<std::string, int32_t> visited = WalkList(title, *g_knownIds.begin(), previousIds);
  if (seen != nullptr) *seen = visited;
}

// Prints what the example handler module wrote beside itself: one tab-separated line per echo.
void ShowHandlerLog(const fs::path& logFile) {
  std::ifstream in(logFile, std::ios::binary);
  std::string line;
  bool any = false;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string span, name, param;
    std::getline(fields, span, '\t');
    std::getline(fields, name, '\t');
    std::getline(fields, param, '\t');
    std::printf("  EchoHandler was called with span \"%s\", name \"%s\", dwEchoParam %s\n", span.c_str(),
                name.c_str(), param.c_str());
    any = true;
  }
  if (!any) std::printf("  EchoHandler was not called\n");
}

// The library, loaded by path; unloaded again when this goes.
class TidingsLibrary {
 public:
  explicit TidingsLibrary(const fs::path& file) {
    std::string error;
    m_module = LoadModuleFile(file, &error);
    if (m_module == nullptr) {
      std::fprintf(stderr, "tidings-demo: cannot load %s: %s\n", file.string().c_str(), error.c_str());
      return;
    }
    TidingsApi api;
    bool ok = true;
    ok &= Bind("MsgGovInitial", &api.Initial);
    ok &= Bind("MsgGovFinish", &api.Finish);
    ok &= Bind("MSGGOV_Subscribe", &api.Subscribe);
    ok &= Bind("MSGGOV_UNSubscribe", &api.Unsubscribe);
    ok &= Bind("MSGGOV_EchoMsg", &api.Echo);
    ok &= Bind("NBX_AddMessage", &api.Add);
    ok &= Bind("NBX_DeleteMessage", &api.Delete);
    ok &= Bind("NBX_DeleteMessageFromID", &api.DeleteById);
    ok &= Bind("NBX_GetMessage", &api.Get);
    ok &= Bind("NBX_GetNextMessage", &api.GetNext);
    ok &= Bind("NBX_MessageHasPopup", &api.MarkPopup);
    if (ok) g_tidings = api;
    m_bReady = ok;
  }

  ~TidingsLibrary() {
    g_tidings = TidingsApi();
    if (m_module != nullptr) UnloadModuleFile(m_module);
  }

  TidingsLibrary(const TidingsLibrary&) = delete;
  TidingsLibrary& operator=(const TidingsLibrary&) = delete;

  bool IsReady() const { return m_bReady; }

 private:
  template <typename Fn>
  bool Bind(const char* name, Fn* pfn) {
    void* address = FindExport(m_module, name);
    if (address == nullptr) std::fprintf(stderr, "tidings-demo: the library does not export %s\n", name);
    *pfn = reinterpret_cast<Fn>(address);
    return address != nullptr;
  }

  void* m_module = nullptr;
  bool m_bReady = false;
};

// Xerces-C, which the library uses for its message file, is the host's to initialise: before
// MsgGovInitial, and terminated only after MsgGovFinish.
class XercesUse {
 public:
  XercesUse() { xercesc::XMLPlatformUtils::Initialize(); }
  ~XercesUse() { xercesc::XMLPlatformUtils::Terminate(); }
  XercesUse(const XercesUse&) = delete;
  XercesUse& operator=(const XercesUse&) = delete;
};

const char* const kDemoSpan = "Demo";

// Starts the library and subscribes; the library announces the first dynamic message it loaded, whose
// ID is returned (-1 when there is none).
int32_t Start() {
  g_knownIds.clear();
  g_lastAnnouncedId = -1;
  g_tidings.Initial();
  std::printf("MsgGovInitial: read Config/Msg.xml\n");
  std::printf("MSGGOV_Subscribe with bSubscribeOld set; the first message is announced:\n");
  g_tidings.Subscribe(Ascii(kDemoSpan).c_str(), OnMessageChange, 1);
  return g_lastAnnouncedId;
}

// Ends the subscription (the first of a loaded library has handle 1) and saves.
void Finish() {
  std::printf("MSGGOV_UNSubscribe 1\n");
  g_tidings.Unsubscribe(1);
  g_tidings.Finish();
  std::printf("MsgGovFinish: saved the messages kept after close to Config/Msg.xml\n");
}

bool FirstSession(const fs::path& dir, std::map<std::string, int32_t>* savedIds) {
  TidingsLibrary library(dir / TIDINGS_DEMO_LIBRARY);
  if (!library.IsReady()) return false;
  std::printf("Loaded the library and found its 11 exports\n");
  XercesUse xerces;
  const int32_t loadedId = Start();
  WalkList("Default list", -2);
  WalkDynamicList("Dynamic list", nullptr, nullptr);

  const Text handler = PathText(dir / TIDINGS_DEMO_HANDLER);
  const Text none;
  struct NewMessage {
    const char* span;
    const char* name;
    const char* info;
    int32_t showType;
    int32_t timeout;
    bool keep;
  };
  const NewMessage added[] = {
      {"Mail", "Inbox", "You have 3 new mails.", 1, 15, true},
      {"Calendar", "Standup", "Standup in 10 minutes.", 1, 30, false},
      {"Chat", "Alice", "Alice: are you there?", 0, 5, true},
      {"Chat", "Bob", "Bob: lunch at noon?", 0, 5, true},
  };
  int32_t mailId = -1;
  for (const NewMessage& m : added) {
    std::printf("NBX_AddMessage %s/%s%s:\n", m.span, m.name, m.keep ? "" : " (not kept after close)");
    const bool mail = std::string(m.span) == "Mail";
    AddInfoRecord record(m.name, m.info, m.showType, m.timeout, m.keep, mail ? handler : none);
    g_tidings.Add(Ascii(m.span).c_str(), record.get());
    if (mail) mailId = g_lastAnnouncedId;  // NBX_AddMessage returns 1; the ID comes with the notice
  }

  std::printf("NBX_AddMessage MAIL/inbox (the same span and name in another case) updates it:\n");
  AddInfoRecord update("inbox", "You have 4 new mails.", 1, 15, true, handler);
  g_tidings.Add(Ascii("MAIL").c_str(), update.get());

  std::printf("NBX_MessageHasPopup %d:\n", static_cast<int>(mailId));
  g_tidings.MarkPopup(mailId);

  std::printf("MSGGOV_EchoMsg %d with dwEchoParam 42:\n", static_cast<int>(mailId));
  g_tidings.Echo(0, mailId, 42);
  ShowHandlerLog(dir / "EchoHandler.log");

  std::printf("NBX_DeleteMessage Chat/Alice:\n");
  g_tidings.Delete(Ascii("Chat").c_str(), Ascii("Alice").c_str());
  std::printf("NBX_DeleteMessageFromID %d:\n", static_cast<int>(loadedId));
  g_tidings.DeleteById(loadedId);

  WalkList("Default list", -2);
  WalkDynamicList("Dynamic list", nullptr, savedIds);
  Finish();
  return true;
}

bool SecondSession(const fs::path& dir, const std::map<std::string, int32_t>& savedIds) {
  TidingsLibrary library(dir / TIDINGS_DEMO_LIBRARY);
  if (!library.IsReady()) return false;
  std::printf("Loaded the library again\n");
  XercesUse xerces;
  Start();
  WalkList("Default list", -2);
  WalkDynamicList("Dynamic list", &savedIds, nullptr);
  Finish();
  return true;
}

// Lays a fresh copy of the sample message file and clears what earlier runs left.
bool PrepareDemoDirectory(const fs::path& dir) {
  std::error_code ec;
  // Removed first: overwriting with copy_file is unreliable with some runtimes (MinGW's among them).
  fs::remove(dir / "Config" / "Msg.xml", ec);
  fs::copy_file(dir / "Config" / "Msg.sample.xml", dir / "Config" / "Msg.xml", ec);
  if (ec) {
    std::fprintf(stderr, "tidings-demo: cannot lay Config/Msg.xml in %s: %s\n", dir.string().c_str(),
                 ec.message().c_str());
    return false;
  }
  fs::remove(dir / "Config" / "UILogTrace.txt", ec);
  fs::remove(dir / "EchoHandler.log", ec);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? fs::absolute(argv[1]) : ProgramFile().parent_path();
  std::printf("Tidings demo\n");
  if (!PrepareDemoDirectory(dir)) return 1;
  std::printf("Config/Msg.xml laid fresh from the sample\n");
  TraceSwitch traceSwitch;
  std::string error;
  if (traceSwitch.TurnOn(&error)) {
    std::printf("Trace switch turned on for this run\n");
  } else {
    std::fprintf(stderr, "tidings-demo: %s; the trace log stays off\n", error.c_str());
  }

  bool ok = false;
  try {
    std::map<std::string, int32_t> savedIds;
    std::printf("\n== First run of the library\n");
    ok = FirstSession(dir, &savedIds);
    if (ok) {
      std::printf("Unloaded the library\n");
      std::printf("\n== Second run: the saved messages come back with new IDs\n");
      ok = SecondSession(dir, savedIds);
      if (ok) std::printf("Unloaded the library\n\n");
    }
  } catch (const xercesc::XMLException&) {
    std::fprintf(stderr, "tidings-demo: Xerces-C could not be initialised\n");
    ok = false;
  }
  traceSwitch.Restore();
  if (!ok) return 1;
  std::printf("Trace log: %s\n", (dir / "Config" / "UILogTrace.txt").string().c_str());
  return 0;
}
