// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Echo: handing a message to the handler module its echo path names.

#include "notify/echo.h"

#include "tidings.h"

namespace tidings {

CDllModule::~CDllModule() {
  if (m_hModule != nullptr) platform::UnloadModule(m_hModule);
}

void* CDllModule::GetProc(const std::u16string& strPath, const std::u16string& strName) {
  if (m_hModule == nullptr) {
    // An empty path names no module. (dlopen would hand back the main program for it, and the lookup
    // would then find any entry point that the process exports globally.)
    if (strPath.empty()) return nullptr;
    m_hModule = platform::LoadModule(strPath);
    if (m_hModule == nullptr) return nullptr;
  }
  // Symbol names are 8-bit: each unit is narrowed on its own, in a buffer that always ends in a zero.
  char szName[1024] = {};
  for (size_t i = 0; i < strName.size() && i + 1 < sizeof szName; ++i) {
    szName[i] = static_cast<char>(strName[i] < 0x80 ? strName[i] : u'?');
  }
  return platform::FindModuleSymbol(m_hModule, szName);
}

std::u16string SplitPath(const std::u16string& strPath) {
  const size_t pos = strPath.rfind(platform::PathSeparator());
  return pos == std::u16string::npos ? strPath : strPath.substr(0, pos + 1);
}

namespace {

// Writes the Exit line when it goes out of scope, whichever way the echo ends.
class CExitLine {
 public:
  explicit CExitLine(const CLogTrace& trace) : m_trace(trace) {}
  ~CExitLine() { m_trace.WriteTrace(u"Exit Fun EchoMsg"); }
  CExitLine(const CExitLine&) = delete;
  CExitLine& operator=(const CExitLine&) = delete;

 private:
  const CLogTrace& m_trace;
};

// Makes a saved directory current again when it goes out of scope, once one has been saved.
class CDirRestorer {
 public:
  CDirRestorer() = default;
  ~CDirRestorer() {
    if (m_bSaved) platform::SetCurrentDir(m_strSavedDir);
  }
  CDirRestorer(const CDirRestorer&) = delete;
  CDirRestorer& operator=(const CDirRestorer&) = delete;

  void Save() { m_bSaved = platform::GetCurrentDir(&m_strSavedDir); }

 private:
  std::u16string m_strSavedDir;
  bool m_bSaved = false;
};

}  // namespace

void CEcho::EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam,
                    const std::function<bool(EchoTarget*)>& findTarget) {
  // One echo at a time, from its Enter line to the unload. The current directory belongs to the whole
  // process: an echo on another thread must not save this one's switched directory as its own. And the
  // unload belongs inside too, or another thread's echo could find the module still loaded from this
  // one and run in that mapping instead of a fresh one.
  platform::LockHolder<platform::RecursiveMutex> echoLock(m_echoLock);
  // Declared in the order of their work at the end, which they do on every way out: the directory is
  // restored, the Exit line written, the handler module unloaded, and then the lock released.
  CDllModule module;
  m_trace.WriteTrace(u"Enter Fun EchoMsg, h is 0X%X, MsgID is %d", h, MsgID);
  CExitLine exitLine(m_trace);
  CDirRestorer dirRestorer;
  EchoTarget target;
  if (!findTarget(&target)) return;
  const std::u16string& strEchoPath = target.strEchoPath;
  // A relative path with a directory in it names a module below the directory current now, both for the
  // switch and for the load: taken as it stands after the switch, it would name one below the handler's
  // directory instead. A bare file name is left to the platform's search for modules, as it always was.
  std::u16string strModulePath = strEchoPath;
  bool bResolved = true;
  if (strEchoPath.find(platform::PathSeparator()) != std::u16string::npos) {
    bResolved = platform::AbsolutePath(strEchoPath, &strModulePath);
  }
  void* pfnNBX_EchoMsg = nullptr;
  if (bResolved) {
    dirRestorer.Save();
    platform::SetCurrentDir(
        SplitPath(strModulePath));  // a failed switch simply leaves the directory as it was
    pfnNBX_EchoMsg = module.GetProc(strModulePath, u"NBX_EchoMsg");
  }
  const TraceArg address = TraceArg::Address(reinterpret_cast<uintptr_t>(pfnNBX_EchoMsg));
  m_trace.WriteTrace(u"--Load Dll %s, Add is 0X%X", strEchoPath, address);
  if (pfnNBX_EchoMsg == nullptr) return;
  m_trace.WriteTrace(u"--Begin  Call Fun pfnNBX_EchoMsg, Add is 0X%X", address);
  try {
    static_assert(sizeof(TIDINGS_WCHAR) == sizeof(char16_t), "text units must be 16 bits");
    reinterpret_cast<ECHOMSGPROC>(pfnNBX_EchoMsg)(
        reinterpret_cast<const TIDINGS_WCHAR*>(target.strMsgSpan.c_str()),
        reinterpret_cast<const TIDINGS_WCHAR*>(target.strMsgName.c_str()), dwEchoParam);
  } catch (...) {
    // The handler let an exception out. It ends here, while the module that may hold its type and its
    // destructor is still loaded; the echo then ends as any other does.
    m_trace.WriteTrace(u"--Failed Call Fun pfnNBX_EchoMsg, it threw an exception");
    return;
  }
  m_trace.WriteTrace(u"--Finish Call Fun pfnNBX_EchoMsg");
}

}  // namespace tidings
