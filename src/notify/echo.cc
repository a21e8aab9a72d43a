// Echo: handing a message to the handler module its echo path names.

#include "notify/echo.h"

#include <cstring>

#include "store/caller_text.h"
#include "store/msg_gov.h"

namespace tidings {

CDllModule::~CDllModule() {
  if (m_hModule != nullptr) platform::UnloadModule(m_hModule);
  m_hModule = nullptr;
  m_pfnProc = nullptr;
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
  char szName[1024];
  std::memset(szName, 0, sizeof szName);
  for (size_t i = 0; i < strName.size() && i + 1 < sizeof szName; ++i) {
    szName[i] = static_cast<char>(strName[i] < 0x80 ? strName[i] : u'?');
  }
  m_pfnProc = platform::FindModuleSymbol(m_hModule, szName);
  return m_pfnProc;
}

std::u16string SplitPath(const std::u16string& strPath, std::u16string* pstrDir, std::u16string* pstrFile) {
  const size_t pos = strPath.rfind(platform::PathSeparator());
  std::u16string strDir = pos == std::u16string::npos ? strPath : strPath.substr(0, pos + 1);
  std::u16string strFile = pos == std::u16string::npos ? std::u16string() : strPath.substr(pos + 1);
  if (pstrDir != nullptr) *pstrDir = strDir;
  if (pstrFile != nullptr) *pstrFile = strFile;
  return strFile;
}

bool CMsgGov::GetEchoInfo(int32_t dwMsgID, std::u16string* pstrEchoPath, std::u16string* pstrMsgSpan,
                          std::u16string* pstrMsgName) {
  CAutoCriticalSection lock(m_cs);
  const size_t i = m_DynamicMsgList.FindById(dwMsgID);
  if (i == CMessageList::npos) return false;
  const _Message_Item& item = m_DynamicMsgList[i];
  // Copies, so that the rest of the echo is not disturbed when the message changes or goes meanwhile.
  std::u16string strEchoPath = item.strMsgEchoPath;
  std::u16string strMsgSpan = item.strMsgSpan;
  std::u16string strMsgName = item.strMsgName;
  pstrEchoPath->swap(strEchoPath);
  pstrMsgSpan->swap(strMsgSpan);
  pstrMsgName->swap(strMsgName);
  return true;
}

namespace {

// Writes the Exit line when it goes out of scope, whichever way the echo ends.
class CExitLine {
 public:
  explicit CExitLine(const CLogTrace& trace) : m_trace(trace) {}
  ~CExitLine() { m_trace.WriteTrace(kTraceLevel, u"Exit Fun EchoMsg"); }
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

int32_t CMsgGov::EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam) {
  // One echo at a time, from its Enter line to the unload. The current directory belongs to the whole
  // process: an echo on another thread must not save this one's switched directory as its own. And the
  // unload belongs inside too, or another thread's echo could find the module still loaded from this
  // one and run in that mapping instead of a fresh one.
  platform::LockHolder<platform::RecursiveMutex> echoLock(m_echoLock);
  // Declared in the order of their work at the end, which they do on every way out: the directory is
  // restored, the Exit line written, the handler module unloaded, and then the lock released.
  CDllModule module;
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun EchoMsg, h is 0X%X, MsgID is %d", h, MsgID);
  CExitLine exitLine(m_trace);
  CDirRestorer dirRestorer;
  std::u16string strEchoPath;
  std::u16string strMsgSpan;
  std::u16string strMsgName;
  if (!GetEchoInfo(MsgID, &strEchoPath, &strMsgSpan, &strMsgName)) return 1;
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
    std::u16string strDir;
    SplitPath(strModulePath, &strDir, nullptr);
    dirRestorer.Save();
    platform::SetCurrentDir(strDir);  // a failed switch simply leaves the directory as it was
    pfnNBX_EchoMsg = module.GetProc(strModulePath, u"NBX_EchoMsg");
  }
  const TraceArg address = TraceArg::Address(reinterpret_cast<uintptr_t>(pfnNBX_EchoMsg));
  m_trace.WriteTrace(kTraceLevel, u"--Load Dll %s, Add is 0X%X", strEchoPath, address);
  if (pfnNBX_EchoMsg == nullptr) return 1;
  m_trace.WriteTrace(kTraceLevel, u"--Begin  Call Fun pfnNBX_EchoMsg, Add is 0X%X", address);
  try {
    reinterpret_cast<ECHOMSGPROC>(pfnNBX_EchoMsg)(CallerView(strMsgSpan), CallerView(strMsgName),
                                                  dwEchoParam);
  } catch (...) {
    // The handler let an exception out. It ends here, while the module that may hold its type and its
    // destructor is still loaded; the echo then ends as any other does.
    m_trace.WriteTrace(kTraceLevel, u"--Failed Call Fun pfnNBX_EchoMsg, it threw an exception");
    return 1;
  }
  m_trace.WriteTrace(kTraceLevel, u"--Finish Call Fun pfnNBX_EchoMsg");
  return 1;
}

}  // namespace tidings
