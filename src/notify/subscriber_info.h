// One subscription to change notifications.

#ifndef TIDINGS_NOTIFY_SUBSCRIBER_INFO_H_
#define TIDINGS_NOTIFY_SUBSCRIBER_INFO_H_

#include <cstdint>
#include <string>

#include "tidings.h"

namespace tidings {

struct _SubscribeEventInfo {
  MSGEVENTPROC pEventCallback = nullptr;  // stored as given; a null callback is passed over
  uint32_t hEvent = 0;                    // unique; increasing along the subscriber list
  std::u16string strMsgSpanName;          // traced, never used to select anything
};

}  // namespace tidings

#endif  // TIDINGS_NOTIFY_SUBSCRIBER_INFO_H_
