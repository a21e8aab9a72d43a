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

int32_t CMsgGov::EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam) {
  // One echo at a time, from its Enter line to the unload. The current directory belongs to the whole
  // process: an echo on another thread must not save this one's switched directory as its own. And the
  // unload belongs inside too, or another thread's echo could find the module still loaded from this
  // one and run in that mapping instead of a fresh one.
  platform::LockHolder<platform::RecursiveMutex> echoLock(m_echoLock);
  // Declared after the lock and before everything else: the handler module is unloaded after the Exit
  // line, and before the lock is released.
  CDllModule module;
  m_trace.WriteTrace(kTraceLevel, u"Enter Fun EchoMsg, h is 0X%X, MsgID is %d", h, MsgID);
  std::u16string strEchoPath;
  std::u16string strMsgSpan;
  std::u16string strMsgName;
  if (GetEchoInfo(MsgID, &strEchoPath, &strMsgSpan, &strMsgName)) {
    std::u16string strDir;
    SplitPath(strEchoPath, &strDir, nullptr);
    std::u16string strSavedDir;
    const bool bSaved = platform::GetCurrentDir(&strSavedDir);
    platform::SetCurrentDir(strDir);  // a failed switch simply leaves the directory as it was
    void* pfnNBX_EchoMsg = module.GetProc(strEchoPath, u"NBX_EchoMsg");
    const TraceArg address = TraceArg::Address(reinterpret_cast<uintptr_t>(pfnNBX_EchoMsg));
    m_trace.WriteTrace(kTraceLevel, u"--Load Dll %s, Add is 0X%X", strEchoPath, address);
    if (pfnNBX_EchoMsg != nullptr) {
      m_trace.WriteTrace(kTraceLevel, u"--Begin  Call Fun pfnNBX_EchoMsg, Add is 0X%X", address);
      reinterpret_cast<ECHOMSGPROC>(pfnNBX_EchoMsg)(CallerView(strMsgSpan), CallerView(strMsgName),
                                                    dwEchoParam);
      m_trace.WriteTrace(kTraceLevel, u"--Finish Call Fun pfnNBX_EchoMsg");
    }
    if (bSaved) platform::SetCurrentDir(strSavedDir);
  }
  m_trace.WriteTrace(kTraceLevel, u"Exit Fun EchoMsg");
  return 1;
}

}  // namespace tidings
