// CMessageList: one of the store's two lists of messages, in insertion order.

#ifndef TIDINGS_STORE_MESSAGE_LIST_H_
#define TIDINGS_STORE_MESSAGE_LIST_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "store/message_item.h"

namespace tidings {

class CMessageList {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  size_t size() const { return m_items.size(); }
  bool empty() const { return m_items.empty(); }
  const _Message_Item& operator[](size_t i) const { return m_items[i]; }
  _Message_Item& operator[](size_t i) { return m_items[i]; }

  // The position of the first message with this ID, or npos.
  size_t FindById(int32_t dwMsgID) const;

  // Appends a message at the end. On failure (out of memory) the list is unchanged.
  void Append(_Message_Item item);

  // Removes the message at position i; those behind it move up one place.
  void RemoveAt(size_t i);

  void Clear() { m_items.clear(); }
  void Reserve(size_t n) { m_items.reserve(n); }

 private:
  std::vector<_Message_Item> m_items;
};

}  // namespace tidings

#endif  // TIDINGS_STORE_MESSAGE_LIST_H_
