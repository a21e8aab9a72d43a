// The message file, read and written as plain functions. The file holds a document element of any name
// with a MsgList child, which holds a DefaultMsg and a DynamicMsg section; every element child of a
// section is a message, its fields in six attributes. The store (CMsgGov::LoadMsgFile and SaveMsgFile)
// and the message-file checker (tools/) read a file through these, so all read it exactly alike.

#ifndef TIDINGS_PERSIST_MSG_FILE_H_
#define TIDINGS_PERSIST_MSG_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <xercesc/dom/DOM.hpp>

#include "store/message_item.h"

namespace tidings {

struct LoadedMessages {
  std::vector<_Message_Item> defaults;  // IDs -2, -3, ...
  std::vector<_Message_Item> dynamics;  // IDs from nFirstDynamicID on
  int64_t nNextMsgID = 0;               // the ID after the last dynamic message read (else nFirstDynamicID)
};

// Reads the messages of the parsed file whose document element is `pRoot` (which may be null). Each
// section's messages are numbered one step away from zero per message: -2, -3, ... for DefaultMsg, from
// nFirstDynamicID on for DynamicMsg; an ID past the 32-bit ones ends the section.
//
// One working record serves a whole section: a message whose ShowType holds no number keeps the ShowType
// of the message before it, and the section's first message then gets 0. ShowTime defaults to -1 for each
// message; bSaveAfterClose is 1 and bHasPopup 0 for all. False, and *pOut untouched, when there is no
// MsgList.
bool ReadMessages(xercesc::DOMElement* pRoot, int64_t nFirstDynamicID, LoadedMessages* pOut);

// Reads the message file at `path` (ReadMessages). False, and *pOut untouched, when there is nothing to
// load: Xerces-C cannot be had, no parser can be made, the file is unreadable or refused, it has no
// MsgList, or memory runs out. Never throws.
bool ReadMsgFile(const std::u16string& path, int64_t nFirstDynamicID, LoadedMessages* pOut);

struct MsgFileWriteResult {
  enum Outcome {
    kNotWritten,  // no Xerces-C, no parser, no usable file or no DynamicMsg in it: nothing to say
    kFailed,      // the file is untouched, for the reason in strError
    kWritten,
  };
  Outcome outcome = kNotWritten;
  std::u16string strError;
  // Once written: the messages that had units XML cannot carry, with how many were written as U+FFFD,
  // in the order written; the units so replaced outside DynamicMsg; the file layer's notes.
  std::vector<std::pair<int32_t, size_t>> replaced;
  size_t nReplacedOutside = 0;
  std::vector<std::u16string> notes;
};

// Writes exactly `items` into DynamicMsg of the file at `path`, which is read again from the disk (what
// an admin changed meanwhile is kept; the messages the file held are not), and leaves everything else in
// the file as the parser delivered it. A unit the file cannot carry is written as U+FFFD. Never throws.
MsgFileWriteResult WriteMsgFile(const std::u16string& path, const std::vector<_Message_Item>& items);

}  // namespace tidings

#endif  // TIDINGS_PERSIST_MSG_FILE_H_
