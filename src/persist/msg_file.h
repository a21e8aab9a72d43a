// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The message file, read and written by plain functions. The file holds a document element of any name
// with a MsgList child, which holds a DefaultMsg and a DynamicMsg section; every element child of a
// section is a message, its fields in six attributes. The store reads a file with ReadMsgFile, as the
// parser meets its messages; the message-file checker (tools/) with ReadMessages, from the document it
// builds. Both read each message with the same reader and find the sections alike (the message-file
// fuzzer holds them to the same result).

#ifndef TIDINGS_PERSIST_MSG_FILE_H_
#define TIDINGS_PERSIST_MSG_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <xercesc/dom/DOM.hpp>

#include "platform/status.h"
#include "store/message_item.h"

namespace tidings {

struct XmlFileMemo;
class XmlDocContext;

struct LoadedMessages {
  std::vector<_Message_Item> defaults;  // IDs -2, -3, ...
  std::vector<_Message_Item> dynamics;  // IDs from nFirstDynamicID on
  int64_t nNextMsgID = 0;               // the ID after the last dynamic message (else nFirstDynamicID)
  size_t nKeptBack = 0;                 // messages of DynamicMsg after the last ID, left unread
  // What the parse learnt of the file, so that a save of the file as it was read need not parse it
  // again; null when it must (see XmlDocContext::Memo).
  std::shared_ptr<const XmlFileMemo> memo;
};

// Reads the messages of the parsed file whose document element is `pRoot` (null allowed); a section's
// messages past the last 32-bit ID are not read. One working record serves a whole section: a message whose
// ShowType holds no number keeps the ShowType of the message before it, and the section's first message then
// gets 0. ShowTime defaults to -1 for each message; bSaveAfterClose is 1 and bHasPopup 0 for all. False, and
// *pOut untouched, when there is no MsgList.
bool ReadMessages(xercesc::DOMElement* pRoot, int64_t nFirstDynamicID, LoadedMessages* pOut);

// Reads the file at `path`. False, and *pOut untouched, when there is nothing to load: no Xerces-C, no
// parser, the file unreadable or refused, no MsgList, or out of memory. Never throws.
bool ReadMsgFile(const std::u16string& path, int64_t nFirstDynamicID, LoadedMessages* pOut);

struct MsgFileWriteResult {
  // ok: written. NotFound: no Xerces-C, no parser, no usable file or no DynamicMsg in it; nothing to say.
  // Failed: the file is untouched, for the reason told.
  Status status = Status::NotFound();
  // Written: message ID and units written as U+FFFD, in order.
  std::vector<std::pair<int32_t, size_t>> replaced;
  // Message ID and attribute whose value was written as the file's DTD makes the parser read it (spaces
  // trimmed and folded), in order.
  std::vector<std::pair<int32_t, std::u16string>> normalised;
  // References ("&name;") to entities the file does not declare that stood in the part of DynamicMsg the
  // save replaced: the parser had skipped them, and they are gone.
  std::vector<std::u16string> droppedReferences;
  size_t nKeptBack = 0;               // messages of the file left in DynamicMsg as they stood
  std::vector<std::u16string> notes;  // the file layer's
};

// Writes exactly `items` into DynamicMsg of the file at `path`, read again from the disk (what an admin
// changed meanwhile is kept, the messages it held are not), and leaves every other byte of the file as
// it stands. The messages of DynamicMsg from the `nKeepFrom`-th on (counted from 0; none when there are
// not that many) stay after them as they stand: those a load could give no ID. A unit the file cannot
// carry is written as U+FFFD. `pMemo` (may be null) is a load's memo of the file, which saves the parse of
// it when the file is as that load read it. Never throws.
MsgFileWriteResult WriteMsgFile(const std::u16string& path, std::vector<_Message_Item> items,
                                size_t nKeepFrom = SIZE_MAX, const XmlFileMemo* pMemo = nullptr);

// Whether a save would succeed: what WriteMsgFile would come to with `items` and `nKeepFrom` and a file
// that holds `fileBytes`, every step taken but the replacement of the file: ok (no notes) when the save
// would replace the file, Failed with the reason when it would fail, NotFound when there is nothing to
// save into. For a tool that tells beforehand whatever the library would refuse to save.
MsgFileWriteResult CheckMsgFileWrite(std::string_view fileBytes, std::vector<_Message_Item> items,
                                     size_t nKeepFrom = SIZE_MAX);

// The same for the file that `*pDocument` loaded last (made ready with CreateParser), its
// document element `pRoot`, so that a tool which parsed the file already need not parse it again. The
// check parses what the save would write with the same parser, which may release the document loaded.
MsgFileWriteResult CheckMsgFileWrite(XmlDocContext* pDocument, xercesc::DOMElement* pRoot,
                                     std::vector<_Message_Item> items, size_t nKeepFrom = SIZE_MAX);

}  // namespace tidings

#endif  // TIDINGS_PERSIST_MSG_FILE_H_
