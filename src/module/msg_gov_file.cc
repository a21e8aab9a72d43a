// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CMsgGov's side of the message file: the lists filled from it and emptied into it, and the trace lines.
// persist/msg_file.h reads and writes the file.

#include <utility>

#include "module/msg_gov.h"
#include "persist/msg_file.h"

namespace tidings {

void CMsgGov::LoadMsgFile(const std::u16string& path) {
  LoadedMessages loaded;
  if (!ReadMsgFile(path, m_store.NextMsgID(), &loaded)) return;
  try {
    // The messages were read in full before any enters a list: a failure midway adds nothing.
    m_store.AppendLoaded(std::move(loaded.defaults), std::move(loaded.dynamics), loaded.nNextMsgID);
  } catch (...) {
    // Out of memory: nothing was loaded.
  }
}

void CMsgGov::SaveMsgFile(const std::u16string& path) {
  std::u16string strError;
  try {
    const MsgFileWriteResult result = WriteMsgFile(path, m_store.SavedMsgItems());
    if (result.outcome == MsgFileWriteResult::kNotWritten) return;
    if (result.outcome == MsgFileWriteResult::kWritten) {
      // The messages leave memory only once the file holding them is in place.
      m_store.ClearDynamic();
      for (const auto& message : result.replaced) {
        m_trace.WriteTrace(u"--SaveMsgFile wrote message %d with U+FFFD for %d units XML cannot carry",
                           message.first, static_cast<int32_t>(message.second));
      }
      if (result.nReplacedOutside != 0) {
        m_trace.WriteTrace(u"--SaveMsgFile wrote U+FFFD for %d units XML cannot carry outside DynamicMsg",
                           static_cast<int32_t>(result.nReplacedOutside));
      }
      for (const std::u16string& strNote : result.notes) m_trace.WriteTrace(u"--SaveMsgFile %s", strNote);
      return;
    }
    strError = result.strError;
  } catch (...) {
    strError = u"out of memory, or the XML library failed";
  }
  m_trace.WriteTrace(u"--SaveMsgFile failed, the messages stay in memory: %s", strError);
}

}  // namespace tidings
