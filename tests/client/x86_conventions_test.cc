// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The calling conventions on 32-bit Windows: the exports are caller-cleans (cdecl), the callbacks the
// library calls are callee-cleans (stdcall). Every export is called here from assembly exactly as a cdecl
// caller calls it: the arguments pushed from right to left, the call, and the caller's own removal of the
// arguments. An export that removed its arguments itself, or a library that cleaned up after a stdcall
// callback, would move the stack pointer; the assembly measures it around each call and then puts it
// back, so that a wrong convention fails the test instead of corrupting it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "client_fixture.h"

namespace tidings {
namespace test {
namespace {

struct CdeclCall {
  const void* pfn;   // offset 0
  uint32_t nArgs;    // 4
  uint32_t args[4];  // 8
  uint32_t result;   // 24
  int32_t nDrift;    // 28: ESP after the removal of the arguments minus ESP before the first push
  uint32_t cbPad;    // 32: so that ESP is 16-byte aligned at the call
};

static_assert(sizeof(void*) == 4, "these conventions exist on 32-bit x86 only");
static_assert(offsetof(CdeclCall, nArgs) == 4 && offsetof(CdeclCall, args) == 8 &&
                  offsetof(CdeclCall, result) == 24 && offsetof(CdeclCall, nDrift) == 28 &&
                  offsetof(CdeclCall, cbPad) == 32,
              "the assembly below knows these offsets");

void CallAsCdeclCaller(CdeclCall* pCall) {
  __asm__ __volatile__(
      "movl %%esp, %%edi\n\t"  // the compiler's stack pointer, put back at the end
      "andl $-16, %%esp\n\t"
      "subl 32(%%esi), %%esp\n\t"
      "movl %%esp, %%ebx\n\t"  // ESP before the first push
      "movl 4(%%esi), %%ecx\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl 4(%%esi,%%ecx,4)\n\t"  // args[ecx - 1]: the last argument first
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *(%%esi)\n\t"
      "movl 4(%%esi), %%ecx\n\t"
      "leal (%%esp,%%ecx,4), %%esp\n\t"  // the caller removes the arguments
      "movl %%eax, 24(%%esi)\n\t"
      "movl %%esp, %%eax\n\t"
      "subl %%ebx, %%eax\n\t"
      "movl %%eax, 28(%%esi)\n\t"
      "movl %%edi, %%esp\n\t"
      :
      : "S"(pCall)
      : "eax", "ebx", "ecx", "edx", "edi", "memory", "cc");
}

uint32_t Arg(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
uint32_t Arg(int32_t n) { return static_cast<uint32_t>(n); }

// One notification as a subscriber received it, with ESP inside the callback.
struct Received {
  int nSubscriber;
  int32_t dwMsgID;
  int32_t nAddType;
  uint32_t esp;
  int nSite;  // which export was running
};

std::vector<Received> g_received;
int g_nSite = 0;

template <int N>
void TIDINGS_CALLBACK Subscriber(int32_t dwMsgID, int32_t nAddType) {
  uint32_t esp;
  __asm__ __volatile__("movl %%esp, %0" : "=r"(esp));
  g_received.push_back({N, dwMsgID, nAddType, esp, g_nSite});
}

std::string Hex(uint32_t n) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789ABCDEF"[n % 16]);
    n /= 16;
  } while (n != 0);
  return digits;
}

class X86ConventionsTest : public ClientTest {
 protected:
  // Calls the export at `pfn` as a cdecl caller, expecting the stack pointer back where it was.
  template <typename Fn>
  uint32_t Call(Fn pfn, std::initializer_list<uint32_t> args) {
    CdeclCall call;
    std::memset(&call, 0, sizeof call);
    call.pfn = reinterpret_cast<const void*>(pfn);
    call.nArgs = static_cast<uint32_t>(args.size());
    size_t i = 0;
    for (uint32_t a : args) call.args[i++] = a;
    call.cbPad = (16 - (4 * call.nArgs) % 16) % 16;
    call.nDrift = 12345;
    CallAsCdeclCaller(&call);
    if (call.nDrift != 0) ++m_nDrifts;
    EXPECT_EQ(call.nDrift, 0) << "ESP moved by " << call.nDrift << " bytes across the call";
    return call.result;
  }

  int m_nDrifts = 0;
};

TEST_F(X86ConventionsTest, ExportsLeaveTheStackToTheCallerAndCallbacksCleanTheirOwn) {
  LoadLibrary();
  g_received.clear();
  const std::basic_string<TIDINGS_WCHAR> span = T(u"Mail");
  const MSGEVENTPROC subscribers[] = {&Subscriber<0>, &Subscriber<1>, &Subscriber<2>};
  for (MSGEVENTPROC pfn : subscribers) {
    ASSERT_EQ(Call(api.Subscribe, {Arg(span.c_str()), Arg(reinterpret_cast<const void*>(pfn)), 0}), 1u);
  }
  ClearTrace();

  constexpr int kRounds = 1000;
  enum { kSiteAdd = 1, kSitePopup, kSiteUpdate, kSiteDeleteById, kSiteDeleteByName };
  std::vector<std::string> expectedTexts;
  auto expect = [&expectedTexts](std::initializer_list<std::string> texts) {
    expectedTexts.insert(expectedTexts.end(), texts.begin(), texts.end());
  };
  auto notify = [&expect](int id, int type) {
    expect({"Enter Fun PfnEventCallback, dwMsgID is " + std::to_string(id) + ", nAddType is " +
            std::to_string(type)});
    for (int k = 0; k < 3; ++k) {
      expect({"--Begin  Call " + std::to_string(k) + "'s pEventCallback",
              "--Finish Call " + std::to_string(k) + "'s pEventCallback"});
    }
    expect({"Exit Fun PfnEventCallback"});
  };
  std::vector<Received> expectedReceived;
  auto received = [&expectedReceived](int32_t id, int32_t type, int nSite) {
    for (int k = 0; k < 3; ++k) expectedReceived.push_back({k, id, type, 0, nSite});
  };

  for (int i = 0; i < kRounds; ++i) {
    const std::string n = std::to_string(i);
    const std::u16string name = u"M" + std::u16string(n.begin(), n.end());

    g_nSite = kSiteAdd;
    _Message_AddInfo info = MakeAddInfo(name, name, u"", i, -i, i % 2);
    ASSERT_EQ(Call(api.AddMessage, {Arg(span.c_str()), Arg(&info)}), 1u);
    expect({"Enter Fun AddMessage, lpMsgSpanName is Mail, wszMsgName is M" + n + ",strMsgSInfo is M" + n +
            ", strMsgEchoPath is , ShowType is " + n + ", bSaveAfterClose is " + std::to_string(i % 2) +
            ",dwPopShowTimeout is " + std::to_string(-i)});
    notify(i, ADDTYPE_NEW);
    expect({"Exit  Fun AddMessage, ID is " + n + ", Is New Msg?1"});
    received(i, ADDTYPE_NEW, kSiteAdd);

    _Message_GetInfo got;
    std::memset(&got, 0, sizeof got);
    ASSERT_EQ(Call(api.GetMessage, {Arg(i), Arg(&got)}), 1u);
    EXPECT_EQ(got.dwMsgID, i);
    EXPECT_EQ(std::u16string(got.strMsgSInfo, got.strMsgSInfo + name.size() + 1), name + u'\0');
    EXPECT_EQ(got.ShowType, i);
    EXPECT_EQ(got.dwPopShowTimeout, -i);
    expect({"Enter Fun GetMessage, dwMsgID is " + n, "Exit  Fun GetMessage, bRet is 1"});

    int32_t dwNewMsgID = -7;
    ASSERT_EQ(Call(api.GetNextMessage, {Arg(i), Arg(&dwNewMsgID), Arg(&got)}), 1u);
    EXPECT_EQ(dwNewMsgID, 0);  // the last message is followed by the first
    EXPECT_EQ(got.dwMsgID, 0);
    expect({"Enter Fun GetNextMessage, dwMsgID is " + n,
            "Exit  Fun GetNextMessage, bRet is 1, dwNewMsgID is 0"});

    g_nSite = kSitePopup;
    ASSERT_EQ(Call(api.MessageHasPopup, {Arg(i)}), 1u);
    expect({"Enter Fun MessageHasPopup, dwMsgID is " + n + ","});
    notify(i, ADDTYPE_CHANGE);
    expect({"Exit  Fun MessageHasPopup, bDel is 1"});
    received(i, ADDTYPE_CHANGE, kSitePopup);

    g_nSite = kSiteUpdate;
    info = MakeAddInfo(name, u"updated", u"", 7, 8, 0);
    ASSERT_EQ(Call(api.AddMessage, {Arg(span.c_str()), Arg(&info)}), 1u);
    expect({"Enter Fun AddMessage, lpMsgSpanName is Mail, wszMsgName is M" + n +
            ",strMsgSInfo is updated, strMsgEchoPath is , ShowType is 7, bSaveAfterClose is "
            "0,dwPopShowTimeout is 8"});
    notify(i, ADDTYPE_CHANGE);
    expect({"Exit  Fun AddMessage, ID is " + n + ", Is New Msg?0"});
    received(i, ADDTYPE_CHANGE, kSiteUpdate);

    const uint32_t h = 0x80000000u + static_cast<uint32_t>(i);
    ASSERT_EQ(Call(api.EchoMsg, {h, Arg(-5 - i), 0xDEADBEEFu}), 1u);
    expect(
        {"Enter Fun EchoMsg, h is 0X" + Hex(h) + ", MsgID is " + std::to_string(-5 - i), "Exit Fun EchoMsg"});

    const uint32_t hHandle = static_cast<uint32_t>(4 + i);
    ASSERT_EQ(Call(api.Subscribe, {Arg(nullptr), Arg(nullptr), 0}), 1u);
    expect({"Enter Fun Subscribe, bSubscribeOld is 0",
            "Enter Fun AddSubscribeEvent, strMsgSpanName is , pMsgTran is 0X0",
            "Exit  Fun AddSubscribeEvent, Handle is 0X" + Hex(hHandle),
            "Exit  Fun Subscribe, hHandle is 0X" + Hex(hHandle)});
    ASSERT_EQ(Call(api.UNSubscribe, {hHandle}), 1u);
    expect({"Enter Fun UNSubscribe, hHandle is 0X" + Hex(hHandle),
            "Enter Fun DelSubscribeEvent, hEvent is 0X" + Hex(hHandle), "--Item is Delete, Index is 3",
            "Exit  Fun DelSubscribeEvent, bRet is 1", "Exit  Fun UNSubscribe, Ret is 1"});
    if (m_nDrifts > 0) break;
  }

  for (int i = 0; i < kRounds && m_nDrifts == 0; ++i) {
    const std::string n = std::to_string(i);
    g_nSite = i % 2 == 0 ? kSiteDeleteById : kSiteDeleteByName;
    if (i % 2 == 0) {
      ASSERT_EQ(Call(api.DeleteMessageFromID, {Arg(i)}), 1u);
      expect({"Enter Fun DeleteMessageFromID, dwMsgID is " + n + ","});
      notify(i, ADDTYPE_DELETE);
      expect({"Exit  Fun DeleteMessageFromID, bDel is 1"});
    } else {
      const std::u16string name = u"M" + std::u16string(n.begin(), n.end());
      ASSERT_EQ(Call(api.DeleteMessage, {Arg(T(u"MAIL").c_str()), Arg(T(name).c_str())}), 1u);
      expect({"Enter Fun DeleteMessage, lpMsgSpanName is MAIL, wszMsgName is M" + n + ","});
      notify(i, ADDTYPE_DELETE);
      expect({"Exit  Fun DeleteMessage, MsgID is " + n});
    }
    received(i, ADDTYPE_DELETE, g_nSite);
  }
  for (int i = 0; i < 100 && m_nDrifts == 0; ++i) {
    ASSERT_EQ(Call(api.Initial, {}), 1u);
    ASSERT_EQ(Call(api.Finish, {}), 1u);
  }
  ASSERT_EQ(m_nDrifts, 0);

  // Every argument arrived as it was pushed: the library traced each one.
  EXPECT_EQ(TraceTexts(), expectedTexts);

  // Each subscriber got exactly its notifications, and every call of a callback from the same place of
  // the library found the stack pointer at the same depth: no call left anything behind or took too much.
  ASSERT_EQ(g_received.size(), expectedReceived.size());
  std::map<int, uint32_t> espBySite;
  for (size_t i = 0; i < g_received.size(); ++i) {
    const Received& got = g_received[i];
    const Received& want = expectedReceived[i];
    ASSERT_EQ(got.nSubscriber, want.nSubscriber) << "notification " << i;
    ASSERT_EQ(got.dwMsgID, want.dwMsgID) << "notification " << i;
    ASSERT_EQ(got.nAddType, want.nAddType) << "notification " << i;
    ASSERT_EQ(got.nSite, want.nSite) << "notification " << i;
    auto first = espBySite.emplace(got.nSite, got.esp).first;
    ASSERT_EQ(got.esp, first->second) << "notification " << i << ": ESP inside the callback moved";
  }
}

}  // namespace
}  // namespace test
}  // namespace tidings
