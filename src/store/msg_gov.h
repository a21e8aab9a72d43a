// CMsgGov: the manager behind the exports. It holds the two message lists, the subscribers and the
// counters that number messages and subscriptions. Its operations live beside the subsystem they belong
// to: the store steps in store/, subscribers, notification and echo in notify/, the message file in
// persist/.

#ifndef TIDINGS_STORE_MSG_GOV_H_
#define TIDINGS_STORE_MSG_GOV_H_

#include <cstdint>
#include <string>
#include <vector>

#include "notify/subscriber_list.h"
#include "platform/platform.h"
#include "store/critical_section.h"
#include "store/message_list.h"
#include "tidings.h"
#include "trace/log_trace.h"

namespace tidings {

class CMsgGov {
 public:
  explicit CMsgGov(const CLogTrace& trace);
  ~CMsgGov();
  CMsgGov(const CMsgGov&) = delete;
  CMsgGov& operator=(const CMsgGov&) = delete;

  // ---- Adding, removing, marking (store/msg_gov.cc). Each writes its Enter and Exit trace lines and,
  // when it changed something, tells the subscribers once the store's lock is released. Null texts read
  // as empty. Each returns 1.

  // Updates every dynamic message with this span and name (compared without regard to case) or appends
  // a new one with the next message ID. A null record does nothing.
  int32_t AddMessage(const TIDINGS_WCHAR* lpMsgSpanName, const _Message_AddInfo* pInfo);
  int32_t DeleteMessage(const TIDINGS_WCHAR* lpMsgSpanName, const TIDINGS_WCHAR* wszMsgName);
  int32_t DeleteMessageFromID(int32_t dwMsgID);
  int32_t MessageHasPopup(int32_t dwMsgID);

  // ---- Lookup and iteration (store/msg_gov.cc). Each returns 1 when it copied a message into *pInfo,
  // else 0 with *pInfo untouched; a null record reports 0.

  int32_t GetMessage(int32_t dwMsgID, _Message_GetInfo* pInfo);
  // Also sets *pdwNewMsgID to the copied message's ID, or -1.
  int32_t GetNextMessage(int32_t dwMsgID, int32_t* pdwNewMsgID, _Message_GetInfo* pInfo);

  // ---- Subscribers and notification (notify/subscriptions.cc).

  // Registers a callback (null allowed) and returns its handle; with bSubscribeOld set, announces the
  // first existing message to every subscriber.
  uint32_t Subscribe(const TIDINGS_WCHAR* lpMsgSpanName, MSGEVENTPROC pMsgTran, int32_t bSubscribeOld);
  // The export MSGGOV_UNSubscribe: its trace lines around DelSubscribeEvent. Returns 1.
  int32_t UNSubscribe(uint32_t hHandle);
  // Calls every subscriber's callback, in subscription order, with no lock of the library held.
  void PfnEventCallback(int32_t dwMsgID, int32_t nAddType);

  // ---- Echo (notify/echo.cc).

  int32_t EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam);

  // ---- The message file (module/msg_gov_file.cc). The host must not call these while any other call runs.

  // Appends the messages of the file at `path` to the two lists.
  void LoadMsgFile(const std::u16string& path);
  // Writes the dynamic messages marked for saving into the file at `path` and empties the dynamic list.
  void SaveMsgFile(const std::u16string& path);

 private:
  friend class CMsgGovTestPeer;  // lets unit tests reach states no client can reach in reasonable time

  // The fields of a new or updated message, copied from the caller's record.
  struct MessageFields {
    std::u16string strMsgName;
    std::u16string strMsgSInfo;
    std::u16string strMsgEchoPath;
    int32_t ShowType = 0;
    int32_t dwPopShowTimeout = 0;
    int32_t bSaveAfterClose = 0;
  };

  // Store steps: each holds the lock for its whole duration and for nothing else.
  int32_t AddMsgItem(const MessageFields& fields, const std::u16string& strMsgSpanName, int32_t* pbNew)
      TIDINGS_EXCLUDES(m_cs);
  int32_t DelMsgItem(const std::u16string& strMsgSpanName, const std::u16string& strMsgName)
      TIDINGS_EXCLUDES(m_cs);
  int32_t DelMsgItemFromID(int32_t dwMsgID) TIDINGS_EXCLUDES(m_cs);
  int32_t SetMsgItemPopup(int32_t dwMsgID) TIDINGS_EXCLUDES(m_cs);
  int32_t GetMsgItem(const CMessageList& list, int32_t dwMsgID, _Message_GetInfo* pInfo)
      TIDINGS_EXCLUDES(m_cs);
  int32_t GetNextMsgItem(const CMessageList& list, int32_t dwMsgID, int32_t* pdwNewMsgID,
                         _Message_GetInfo* pInfo) TIDINGS_EXCLUDES(m_cs);
  // The ID of the first dynamic message, else of the first default message; false when both are empty.
  bool GetFirstMsgID(int32_t* pdwMsgID) TIDINGS_EXCLUDES(m_cs);

  uint32_t AddSubscribeEvent(const std::u16string& strMsgSpanName, MSGEVENTPROC pMsgTran)
      TIDINGS_EXCLUDES(m_subscriberLock);
  int32_t DelSubscribeEvent(uint32_t hEvent) TIDINGS_EXCLUDES(m_subscriberLock);

  bool GetEchoInfo(int32_t dwMsgID, std::u16string* pstrEchoPath, std::u16string* pstrMsgSpan,
                   std::u16string* pstrMsgName) TIDINGS_EXCLUDES(m_cs);

  const CLogTrace& m_trace;

  // Messages added by clients or loaded from the file's dynamic part; IDs 0 and up, increasing.
  CMessageList m_DynamicMsgList TIDINGS_GUARDED_BY(m_cs);
  // Messages loaded from the file's default part; IDs -2 and down. Only loading changes it.
  CMessageList m_DefaultMsgList TIDINGS_GUARDED_BY(m_cs);

  // The subscribers, in order of subscription, and the handle the next one gets. Their own lock, never
  // held while a callback runs.
  CSubscriberList m_SubscribeList TIDINGS_GUARDED_BY(m_subscriberLock);
  uint32_t m_nNextSubscribeHandle TIDINGS_GUARDED_BY(m_subscriberLock) = 1;

  // The ID the next new dynamic message gets; past kMaxMsgID no ID is left. Only ever grows.
  int64_t m_nNextMsgID TIDINGS_GUARDED_BY(m_cs) = 0;

  // Serialises echoes, which switch the one current directory of the process. Re-entrant, since a
  // handler module may echo again.
  platform::RecursiveMutex m_echoLock;

  platform::Mutex m_subscriberLock;
  // Guards both message lists and the next message ID. Declared last so that it is destroyed first.
  CCriticalSection m_cs;
};

}  // namespace tidings

#endif  // TIDINGS_STORE_MSG_GOV_H_
