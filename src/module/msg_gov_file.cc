// CMsgGov's side of the message file: the lists filled from it and emptied into it, and the trace lines.
// persist/msg_file.h reads and writes the file.

#include <utility>

#include "module/msg_gov.h"
#include "persist/msg_file.h"
#include "platform/platform.h"

namespace tidings {

namespace {

// A directory, FIFO, device or socket at the message file's path counts as no file: the reader never
// opens it, and the file layer never writes it. Unlike a missing file, it is traced.
std::u16string NoRegularFile(const std::u16string& path) { return path + u" is no regular file"; }

MsgFileWriteResult NotWrittenToNoRegularFile(const std::u16string& path) {
  MsgFileWriteResult result;
  result.outcome = MsgFileWriteResult::kFailed;
  result.strError = NoRegularFile(path);
  return result;
}

}  // namespace

void CMsgGov::LoadMsgFile(const std::u16string& path) {
  if (platform::KindOfPath(path) == platform::PathKind::kOther) {
    m_trace.WriteTrace(u"--LoadMsgFile loaded nothing: %s", NoRegularFile(path));
    return;
  }
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
    const MsgFileWriteResult result = platform::KindOfPath(path) == platform::PathKind::kOther
                                          ? NotWrittenToNoRegularFile(path)
                                          : WriteMsgFile(path, m_store.SavedMsgItems());
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
