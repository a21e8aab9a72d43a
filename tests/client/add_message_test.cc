// Adding and updating messages, seen through the exports and the trace log.

#include <cstring>

#include "client_fixture.h"

namespace tidings {
namespace test {
namespace {

class AddMessageTest : public ClientTest {};

TEST_F(AddMessageTest, NewMessagesGetIdsInOrderAndSameSpanAndNameUpdatesInPlace) {
  LoadLibrary();
  Add(u"Mail", u"Inbox", u"3 new");
  Add(u"Mail", u"Outbox", u"1 queued");
  Add(u"Chat", u"Inbox", u"hello");
  // Same span and name in other letter cases: the first message is updated, not added.
  Add(u"MAIL", u"inBOX", u"4 new", 7, 99, 0);

  const std::vector<std::string> expected = {
      "Enter Fun AddMessage, lpMsgSpanName is Mail, wszMsgName is Inbox,strMsgSInfo is 3 new, "
      "strMsgEchoPath is , ShowType is 1, bSaveAfterClose is 1,dwPopShowTimeout is 30",
      "Enter Fun PfnEventCallback, dwMsgID is 0, nAddType is 0",
      "Exit Fun PfnEventCallback",
      "Exit  Fun AddMessage, ID is 0, Is New Msg?1",
      "Enter Fun AddMessage, lpMsgSpanName is Mail, wszMsgName is Outbox,strMsgSInfo is 1 queued, "
      "strMsgEchoPath is , ShowType is 1, bSaveAfterClose is 1,dwPopShowTimeout is 30",
      "Enter Fun PfnEventCallback, dwMsgID is 1, nAddType is 0",
      "Exit Fun PfnEventCallback",
      "Exit  Fun AddMessage, ID is 1, Is New Msg?1",
      "Enter Fun AddMessage, lpMsgSpanName is Chat, wszMsgName is Inbox,strMsgSInfo is hello, "
      "strMsgEchoPath is , ShowType is 1, bSaveAfterClose is 1,dwPopShowTimeout is 30",
      "Enter Fun PfnEventCallback, dwMsgID is 2, nAddType is 0",
      "Exit Fun PfnEventCallback",
      "Exit  Fun AddMessage, ID is 2, Is New Msg?1",
      "Enter Fun AddMessage, lpMsgSpanName is MAIL, wszMsgName is inBOX,strMsgSInfo is 4 new, "
      "strMsgEchoPath is , ShowType is 7, bSaveAfterClose is 0,dwPopShowTimeout is 99",
      "Enter Fun PfnEventCallback, dwMsgID is 0, nAddType is 2",
      "Exit Fun PfnEventCallback",
      "Exit  Fun AddMessage, ID is 0, Is New Msg?0",
  };
  EXPECT_EQ(TraceTexts(), expected);

  // The update replaced the fields and kept the ID.
  _Message_GetInfo got;
  std::memset(&got, 0, sizeof got);
  ASSERT_EQ(api.GetMessage(0, &got), 1);
  EXPECT_EQ(got.dwMsgID, 0);
  EXPECT_EQ(std::u16string(got.strMsgSInfo, got.strMsgSInfo + 5), u"4 new");
  EXPECT_EQ(got.strMsgSInfo[5], 0);
  EXPECT_EQ(got.ShowType, 7);
  EXPECT_EQ(got.dwPopShowTimeout, 99);
}

}  // namespace
}  // namespace test
}  // namespace tidings
