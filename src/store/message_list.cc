#include "store/message_list.h"

#include <utility>

namespace tidings {

size_t CMessageList::FindById(int32_t dwMsgID) const {
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (m_items[i].dwMsgID == dwMsgID) return i;
  }
  return npos;
}

void CMessageList::Append(_Message_Item item) { m_items.push_back(std::move(item)); }

void CMessageList::RemoveAt(size_t i) { m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(i)); }

}  // namespace tidings
