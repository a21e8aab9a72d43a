// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Echo: handing a message to the handler module its echo path names.

#ifndef TIDINGS_NOTIFY_ECHO_H_
#define TIDINGS_NOTIFY_ECHO_H_

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "trace/log_trace.h"

namespace tidings {

// Holds one loaded module; unloads the module when it goes out
// of scope, so every load made through it is matched by exactly one unload.
class CDllModule {
 public:
  CDllModule() = default;
  ~CDllModule();
  CDllModule(const CDllModule&) = delete;
  CDllModule& operator=(const CDllModule&) = delete;

  // Loads the module at `strPath` unless one is loaded already, then looks up the entry point exported
  // under `strName` (ASCII). Returns its address, or null when the load or the lookup fails. An empty
  // path loads nothing.
  void* GetProc(const std::u16string& strPath, const std::u16string& strName);

 private:
  void* m_hModule = nullptr;
};

// The directory part of `strPath`: everything up to and including its last directory separator ('\\' on
// Windows, '/' elsewhere); without a separator, the whole path.
std::u16string SplitPath(const std::u16string& strPath);

// What an echo needs of its message: copies, so that the rest of the echo is not disturbed when the
// message changes or goes meanwhile.
struct EchoTarget {
  std::u16string strEchoPath;
  std::u16string strMsgSpan;
  std::u16string strMsgName;
};

// Runs echoes one at a time.
class CEcho {
 public:
  explicit CEcho(const CLogTrace& trace) : m_trace(trace) {}
  CEcho(const CEcho&) = delete;
  CEcho& operator=(const CEcho&) = delete;

  // Between its Enter and Exit lines, asks `findTarget` for the message, loads the handler module its
  // echo path names, calls the module's NBX_EchoMsg with the message's span and name and dwEchoParam, in
  // the module's directory, and unloads it. Nothing happens past the Enter line when findTarget returns
  // false.
  void EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam,
               const std::function<bool(EchoTarget*)>& findTarget);

 private:
  const CLogTrace& m_trace;
  // Serialises echoes, which switch the one current directory of the process. Re-entrant, since a
  // handler module may echo again.
  platform::RecursiveMutex m_echoLock;
};

}  // namespace tidings

#endif  // TIDINGS_NOTIFY_ECHO_H_
