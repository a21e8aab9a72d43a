// Reading the message sections of a parsed message file. CMsgGov::LoadMsgFile and the message-file
// checker (tools/) share it, so both read a file exactly alike.

#ifndef TIDINGS_PERSIST_MSG_FILE_H_
#define TIDINGS_PERSIST_MSG_FILE_H_

#include <cstdint>
#include <vector>

#include <xercesc/dom/DOM.hpp>

#include "store/message_item.h"

namespace tidings {

// Reads the messages of one section (DefaultMsg or DynamicMsg): every element child is a message, whatever
// its name. They are numbered from *pnCounter, which moves one step away from zero per message: -2, -3,
// ... for the default section, the next message IDs for the dynamic one. A counter that has run out of
// 32-bit IDs ends the section.
//
// One working record serves the whole section: a message whose ShowType holds no number keeps the
// ShowType of the message before it, and the section's first message then gets 0. ShowTime defaults to
// -1 for each message; bSaveAfterClose is 1 and bHasPopup 0 for all.
std::vector<_Message_Item> ReadMessageList(xercesc::DOMElement* pSection, int64_t* pnCounter);

}  // namespace tidings

#endif  // TIDINGS_PERSIST_MSG_FILE_H_
