// CMsgGov's side of the message file: the lists filled from it and emptied into it, and the trace lines.
// persist/msg_file.h reads and writes the file.

#include <utility>
#include <vector>

#include "persist/msg_file.h"
#include "store/msg_gov.h"

namespace tidings {

void CMsgGov::LoadMsgFile(const std::u16string& path) {
  int64_t nFirstDynamicID;
  {
    CAutoCriticalSection lock(m_cs);
    nFirstDynamicID = m_nNextMsgID;
  }
  LoadedMessages loaded;
  if (!ReadMsgFile(path, nFirstDynamicID, &loaded)) return;
  try {
    // The messages were read in full before any enters a list: a failure midway adds nothing.
    CAutoCriticalSection lock(m_cs);
    m_DefaultMsgList.Reserve(m_DefaultMsgList.size() + loaded.defaults.size());
    m_DynamicMsgList.Reserve(m_DynamicMsgList.size() + loaded.dynamics.size());
    for (_Message_Item& item : loaded.defaults) m_DefaultMsgList.Append(std::move(item));
    for (_Message_Item& item : loaded.dynamics) m_DynamicMsgList.Append(std::move(item));
    m_nNextMsgID = loaded.nNextMsgID;
  } catch (...) {
    // Out of memory: nothing was loaded.
  }
}

void CMsgGov::SaveMsgFile(const std::u16string& path) {
  std::u16string strError;
  try {
    std::vector<_Message_Item> items;
    {
      CAutoCriticalSection lock(m_cs);
      for (size_t i = 0; i < m_DynamicMsgList.size(); ++i) {
        if (m_DynamicMsgList[i].bSaveAfterClose != 0) items.push_back(m_DynamicMsgList[i]);
      }
    }
    const MsgFileWriteResult result = WriteMsgFile(path, items);
    if (result.outcome == MsgFileWriteResult::kNotWritten) return;
    if (result.outcome == MsgFileWriteResult::kWritten) {
      // The messages leave memory only once the file holding them is in place.
      {
        CAutoCriticalSection lock(m_cs);
        m_DynamicMsgList.Clear();
      }
      for (const auto& message : result.replaced) {
        m_trace.WriteTrace(kTraceLevel,
                           u"--SaveMsgFile wrote message %d with U+FFFD for %d units XML cannot carry",
                           message.first, static_cast<int32_t>(message.second));
      }
      if (result.nReplacedOutside != 0) {
        m_trace.WriteTrace(kTraceLevel,
                           u"--SaveMsgFile wrote U+FFFD for %d units XML cannot carry outside DynamicMsg",
                           static_cast<int32_t>(result.nReplacedOutside));
      }
      for (const std::u16string& strNote : result.notes)
        m_trace.WriteTrace(kTraceLevel, u"--SaveMsgFile %s", strNote);
      return;
    }
    strError = result.strError;
  } catch (...) {
    strError = u"out of memory, or the XML library failed";
  }
  m_trace.WriteTrace(kTraceLevel, u"--SaveMsgFile failed, the messages stay in memory: %s", strError);
}

}  // namespace tidings
