// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CMsgGov: the manager behind the exports. Each operation writes its trace lines, takes its step in the
// message store and tells the subscribers of what changed, once the store's lock is released.

#ifndef TIDINGS_MODULE_MSG_GOV_H_
#define TIDINGS_MODULE_MSG_GOV_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "notify/echo.h"
#include "notify/subscriptions.h"
#include "store/message_store.h"
#include "tidings.h"
#include "trace/log_trace.h"

namespace tidings {

struct XmlFileMemo;

class CMsgGov {
 public:
  explicit CMsgGov(const CLogTrace& trace);
  CMsgGov(const CMsgGov&) = delete;
  CMsgGov& operator=(const CMsgGov&) = delete;

  // ---- Adding, removing, marking. Null texts read as empty.

  // Updates every dynamic message with this span and name (compared without regard to case) or appends
  // a new one with the next message ID. A null record does nothing.
  void AddMessage(const TIDINGS_WCHAR* lpMsgSpanName, const _Message_AddInfo* pInfo);
  void DeleteMessage(const TIDINGS_WCHAR* lpMsgSpanName, const TIDINGS_WCHAR* wszMsgName);
  void DeleteMessageFromID(int32_t dwMsgID);
  void MessageHasPopup(int32_t dwMsgID);

  // ---- Lookup and iteration. Each returns true when it copied a message into *pInfo, else false with
  // *pInfo untouched; a null record reports false.

  bool GetMessage(int32_t dwMsgID, _Message_GetInfo* pInfo);
  // Also sets *pdwNewMsgID to the copied message's ID, or -1.
  bool GetNextMessage(int32_t dwMsgID, int32_t* pdwNewMsgID, _Message_GetInfo* pInfo);

  // ---- Subscribers and echo.

  // Registers a callback (null allowed) and returns its handle; with bSubscribeOld set, announces the
  // first existing message to every subscriber.
  uint32_t Subscribe(const TIDINGS_WCHAR* lpMsgSpanName, MSGEVENTPROC pMsgTran, int32_t bSubscribeOld);
  // The export MSGGOV_UNSubscribe: its trace lines around DelSubscribeEvent.
  void UNSubscribe(uint32_t hHandle);
  void EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam);

  // ---- The message file (msg_gov_file.cc). The host must not call these while any other call runs.

  // Appends the messages of the file at `path` to the two lists. Messages of DynamicMsg that no ID is
  // left for stay in the file: the next save keeps them.
  void LoadMsgFile(const std::u16string& path);
  // Writes the dynamic messages marked for saving into the file at `path` and empties the dynamic list.
  void SaveMsgFile(const std::u16string& path);

 private:
  friend class CMsgGovTestPeer;  // lets tests and benchmarks reach the store

  const CLogTrace& m_trace;
  CMessageStore m_store;
  CSubscriberRegistry m_subscribers;
  CEcho m_echo;
  // The messages of the file's DynamicMsg from this one on (counted from 0) had no ID at the last load,
  // and each save keeps them, after the messages it writes; SIZE_MAX when there were none. Only the file
  // operations touch it, and they run alone.
  size_t m_nKeepFrom = SIZE_MAX;
  // What the last load learnt of the file, for the save (null when it had to parse the file anyway);
  // only the file operations touch it.
  std::shared_ptr<const XmlFileMemo> m_fileMemo;
};

}  // namespace tidings

#endif  // TIDINGS_MODULE_MSG_GOV_H_
