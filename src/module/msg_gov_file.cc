// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// CMsgGov's side of the message file: the lists filled from it and emptied into it, and the trace lines.
// persist/msg_file.h reads and writes the file.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "module/msg_gov.h"
#include "persist/msg_file.h"
#include "platform/platform.h"

namespace tidings {

namespace {

// A directory, FIFO, device or socket at the message file's path counts as no file: the reader never
// opens it, and the file layer never writes it. Unlike a missing file, it is traced.
Status NoRegularFile(const std::u16string& path) { return Status::Failed(path + u" is no regular file"); }

}  // namespace

void CMsgGov::LoadMsgFile(const std::u16string& path) {
  if (platform::KindOfPath(path) == platform::PathKind::kOther) {
    m_trace.WriteTrace(u"--LoadMsgFile loaded nothing: %s", NoRegularFile(path).Text());
    return;
  }
  // The file's texts are read, and the store's messages compared, under the locale they always were.
  platform::UseMessageFileLocale();
  LoadedMessages loaded;
  if (!ReadMsgFile(path, m_store.NextMsgID(), &loaded)) return;
  try {
    // The messages were read in full before any enters a list: a failure midway adds nothing.
    const size_t nTaken = loaded.dynamics.size();
    m_store.AppendLoaded(std::move(loaded.defaults), std::move(loaded.dynamics), loaded.nNextMsgID);
    m_nKeepFrom = loaded.nKeptBack == 0 ? SIZE_MAX : nTaken;
    m_fileMemo = std::move(loaded.memo);
  } catch (...) {
    return;  // out of memory: nothing was loaded
  }
  if (loaded.nKeptBack != 0) {
    m_trace.WriteTrace(u"--LoadMsgFile kept back %d messages of DynamicMsg: no message ID is left for them",
                       static_cast<int32_t>(std::min<size_t>(loaded.nKeptBack, INT32_MAX)));
  }
}

void CMsgGov::SaveMsgFile(const std::u16string& path) {
  Status status;
  try {
    std::vector<_Message_Item> items = m_store.SavedMsgItems();
    const size_t nWritten = items.size();
    MsgFileWriteResult result;
    if (platform::KindOfPath(path) == platform::PathKind::kOther) {
      result.status = NoRegularFile(path);
    } else {
      platform::UseMessageFileLocale();
      result = WriteMsgFile(path, std::move(items), m_nKeepFrom, m_fileMemo.get());
    }
    if (result.status.IsNotFound()) return;
    if (result.status.ok()) {
      // The messages leave memory only once the file holding them is in place. Those kept in the file now
      // follow the ones written; the file is no longer the one the memo is of.
      m_store.ClearDynamic();
      m_fileMemo.reset();
      if (m_nKeepFrom != SIZE_MAX) m_nKeepFrom = nWritten;
      for (const auto& message : result.replaced) {
        m_trace.WriteTrace(u"--SaveMsgFile wrote message %d with U+FFFD for %d units XML cannot carry",
                           message.first, static_cast<int32_t>(message.second));
      }
      for (const auto& message : result.normalised) {
        m_trace.WriteTrace(u"--SaveMsgFile wrote message %d with %s normalised by the file's declaration",
                           message.first, message.second);
      }
      for (const std::u16string& strRef : result.droppedReferences) {
        m_trace.WriteTrace(
            u"--SaveMsgFile dropped the reference %s from DynamicMsg: the file does not "
            u"declare its entity",
            strRef);
      }
      if (result.nKeptBack != 0) {
        m_trace.WriteTrace(
            u"--SaveMsgFile left %d messages in DynamicMsg as they stood: they got no message ID",
            static_cast<int32_t>(std::min<size_t>(result.nKeptBack, INT32_MAX)));
      }
      for (const std::u16string& strNote : result.notes) m_trace.WriteTrace(u"--SaveMsgFile %s", strNote);
      return;
    }
    status = result.status;
  } catch (...) {
    status = Status::Failed(u"out of memory, or the XML library failed");
  }
  m_trace.WriteTrace(u"--SaveMsgFile failed, the messages stay in memory: %s", status.Text());
}

}  // namespace tidings
