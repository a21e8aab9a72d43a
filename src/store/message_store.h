// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CMessageStore: the library's messages. It owns the two message lists, the next message ID and the lock
// that guards all three; every step takes the lock for its whole duration and for nothing else, so no
// caller's code (a subscriber's callback, a handler module) ever runs under it.

#ifndef TIDINGS_STORE_MESSAGE_STORE_H_
#define TIDINGS_STORE_MESSAGE_STORE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/critical_section.h"
#include "store/message_item.h"
#include "store/message_list.h"

namespace tidings {

// The fields of a new or updated message, as a client gives them.
struct MessageFields {
  std::u16string strMsgName;
  std::u16string strMsgSInfo;
  std::u16string strMsgEchoPath;
  int32_t ShowType = 0;
  int32_t dwPopShowTimeout = 0;
  int32_t bSaveAfterClose = 0;
};

class CMessageStore {
 public:
  CMessageStore() = default;
  CMessageStore(const CMessageStore&) = delete;
  CMessageStore& operator=(const CMessageStore&) = delete;

  // Updates every dynamic message with this span and name (compared without regard to case), keeping
  // their span, name and ID, or appends a new one with the next message ID. Returns the ID of the last
  // message updated or of the new one, and sets *pbNew; none when no ID is left for a new message.
  std::optional<int32_t> AddMsgItem(const MessageFields& fields, const std::u16string& strMsgSpanName,
                                    int32_t* pbNew) TIDINGS_EXCLUDES(m_cs);
  // Removes every dynamic message with this span and name; the ID of the last of them, if any.
  std::optional<int32_t> DelMsgItem(const std::u16string& strMsgSpanName, const std::u16string& strMsgName)
      TIDINGS_EXCLUDES(m_cs);
  // Removes the dynamic message with this ID (a default message is never removed); whether there was one.
  bool DelMsgItemFromID(int32_t dwMsgID) TIDINGS_EXCLUDES(m_cs);
  // Marks the dynamic message with this ID as shown in a popup; whether there was one.
  bool SetMsgItemPopup(int32_t dwMsgID) TIDINGS_EXCLUDES(m_cs);

  // Calls visit(const _Message_Item&) with the message of this ID, from the dynamic list for an ID of 0
  // and up, from the default list for a negative one, while the lock is held. False when there is none.
  template <typename Visit>
  bool GetMsgItem(int32_t dwMsgID, Visit visit) TIDINGS_EXCLUDES(m_cs) {
    CAutoCriticalSection lock(m_cs);
    const CMessageList& list = dwMsgID >= 0 ? m_DynamicMsgList : m_DefaultMsgList;
    const size_t i = list.FindById(dwMsgID);
    if (i == CMessageList::npos) return false;
    visit(list[i]);
    return true;
  }

  // Likewise with the message after the one with this ID in its list, the first one after the last.
  // An ID of the dynamic list that is not there goes on in the default list, after -2. Sets
  // *pdwNewMsgID to the ID of the message visited, or -1.
  template <typename Visit>
  bool GetNextMsgItem(int32_t dwMsgID, int32_t* pdwNewMsgID, Visit visit) TIDINGS_EXCLUDES(m_cs) {
    CAutoCriticalSection lock(m_cs);
    const _Message_Item* pNext = nullptr;
    if (dwMsgID >= 0) {
      pNext = NextItem(m_DynamicMsgList, dwMsgID);
      if (pNext == nullptr) pNext = NextItem(m_DefaultMsgList, -2);
    } else {
      pNext = NextItem(m_DefaultMsgList, dwMsgID);
    }
    *pdwNewMsgID = pNext == nullptr ? -1 : pNext->dwMsgID;
    if (pNext == nullptr) return false;
    visit(*pNext);
    return true;
  }

  // The ID of the first dynamic message, else of the first default message; false when both are empty.
  bool GetFirstMsgID(int32_t* pdwMsgID) TIDINGS_EXCLUDES(m_cs);

  // Copies of the echo path, span and name of the dynamic message with this ID; false when there is none.
  bool GetEchoInfo(int32_t dwMsgID, std::u16string* pstrEchoPath, std::u16string* pstrMsgSpan,
                   std::u16string* pstrMsgName) TIDINGS_EXCLUDES(m_cs);

  // ---- Loading and saving.

  // The ID the next new dynamic message gets.
  int64_t NextMsgID() TIDINGS_EXCLUDES(m_cs);
  // Appends loaded messages to the two lists and moves the next message ID on to nNextMsgID.
  void AppendLoaded(std::vector<_Message_Item> defaults, std::vector<_Message_Item> dynamics,
                    int64_t nNextMsgID) TIDINGS_EXCLUDES(m_cs);
  // Copies of the dynamic messages marked for saving, in list order.
  std::vector<_Message_Item> SavedMsgItems() TIDINGS_EXCLUDES(m_cs);
  // Empties the dynamic list; the next message ID stays.
  void ClearDynamic() TIDINGS_EXCLUDES(m_cs);

 private:
  friend class CMessageStoreTestPeer;  // lets tests and benchmarks look inside

  // The message after the one with this ID, or null when the list has no such ID.
  static const _Message_Item* NextItem(const CMessageList& list, int32_t dwMsgID);

  // Messages added by clients or loaded from the file's dynamic part; IDs 0 and up, increasing.
  CMessageList m_DynamicMsgList TIDINGS_GUARDED_BY(m_cs);
  // Messages loaded from the file's default part; IDs -2 and down. Only loading changes it.
  CMessageList m_DefaultMsgList TIDINGS_GUARDED_BY(m_cs);
  // The ID the next new dynamic message gets; past kMaxMsgID no ID is left. Only ever grows.
  int64_t m_nNextMsgID TIDINGS_GUARDED_BY(m_cs) = 0;
  // Guards both lists and the next message ID. Declared last, so that it is destroyed first.
  CCriticalSection m_cs;
};

}  // namespace tidings

#endif  // TIDINGS_STORE_MESSAGE_STORE_H_
