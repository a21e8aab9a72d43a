// Loading and saving the message file.

#include "store/msg_gov.h"

namespace tidings {

// Reading and writing the file come with the XML layer; until then the lists are left as they are.
void CMsgGov::LoadMsgFile(const std::u16string& /*path*/) {}

void CMsgGov::SaveMsgFile(const std::u16string& /*path*/) {}

}  // namespace tidings
