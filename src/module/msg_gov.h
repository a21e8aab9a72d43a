// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CMsgGov: the manager behind the exports. Each operation writes its trace lines, takes its step in the
// message store and tells the subscribers of what changed, once the store's lock is released.

#ifndef TIDINGS_MODULE_MSG_GOV_H_
#define TIDINGS_MODULE_MSG_GOV_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "notify/echo.h"
#include "notify/subscriptions.h"
#include "store/message_store.h"
#include "tidings.h"
#include "trace/log_trace.h"

namespace tidings {

class CMsgGov {
 public:
  explicit CMsgGov(const CLogTrace& trace);
  CMsgGov(const CMsgGov&) = delete;
  CMsgGov& operator=(const CMsgGov&) = delete;

  // ---- Adding, removing, marking. Null texts read as empty. Each returns 1.

  // Updates every dynamic message with this span and name (compared without regard to case) or appends
  // a new one with the next message ID. A null record does nothing.
  int32_t AddMessage(const TIDINGS_WCHAR* lpMsgSpanName, const _Message_AddInfo* pInfo);
  int32_t DeleteMessage(const TIDINGS_WCHAR* lpMsgSpanName, const TIDINGS_WCHAR* wszMsgName);
  int32_t DeleteMessageFromID(int32_t dwMsgID);
  int32_t MessageHasPopup(int32_t dwMsgID);

  // ---- Lookup and iteration. Each returns 1 when it copied a message into *pInfo, else 0 with *pInfo
  // untouched; a null record reports 0.

  int32_t GetMessage(int32_t dwMsgID, _Message_GetInfo* pInfo);
  // Also sets *pdwNewMsgID to the copied message's ID, or -1.
  int32_t GetNextMessage(int32_t dwMsgID, int32_t* pdwNewMsgID, _Message_GetInfo* pInfo);

  // ---- Subscribers and echo.

  // Registers a callback (null allowed) and returns its handle; with bSubscribeOld set, announces the
  // first existing message to every subscriber.
  uint32_t Subscribe(const TIDINGS_WCHAR* lpMsgSpanName, MSGEVENTPROC pMsgTran, int32_t bSubscribeOld);
  // The export MSGGOV_UNSubscribe: its trace lines around DelSubscribeEvent. Returns 1.
  int32_t UNSubscribe(uint32_t hHandle);
  int32_t EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam);

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
};

}  // namespace tidings

#endif  // TIDINGS_MODULE_MSG_GOV_H_
