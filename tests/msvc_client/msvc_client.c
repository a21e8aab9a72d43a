/*
 * A Windows client built as MSVC builds one: compiled in MSVC ABI mode against the public header, linked
 * with lld-link against the import library Tidings.lib, with no C runtime at all (so it proves that the
 * client needs nothing but Tidings.dll and Config\ beside it). run-msvc-client.sh lays out its directory
 * with a Config\Msg.xml that holds the default message System/Welcome "Welcome" and one dynamic message
 * whose echo path names the example handler in a directory of its own.
 *
 * Exit status: 0 when every check held, else the number of the first check that failed.
 */

#include "tidings.h"

/* The compiler may turn the zeroing of a record into a call; with no C runtime it is ours. */
void* memset(void* p, int c, size_t n) {
  volatile unsigned char* q = (volatile unsigned char*)p;
  while (n-- > 0) *q++ = (unsigned char)c;
  return p;
}

/* Records live outside the stack, so that no frame needs the runtime's stack probe. */
static _Message_AddInfo g_add;
static _Message_GetInfo g_get;

static int g_nChanges = 0;
static int32_t g_dwLastMsgID = -100;
static int32_t g_nLastAddType = -100;

static void TIDINGS_CALLBACK OnChange(int32_t dwMsgID, int32_t nAddType) {
  ++g_nChanges;
  g_dwLastMsgID = dwMsgID;
  g_nLastAddType = nAddType;
}

static int SameText(const wchar_t* a, const wchar_t* b) {
  for (; *a != 0 && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

static void CopyText(wchar_t* to, const wchar_t* from) {
  while ((*to++ = *from++) != 0) {
  }
}

static int Run(void) {
  int32_t dwNext = 0;
  if (MsgGovInitial() != 1) return 1;
  /* The file's default message, and its one dynamic message as ID 0. */
  if (NBX_GetMessage(-2, &g_get) != 1 || !SameText(g_get.strMsgSInfo, L"Welcome")) return 2;
  if (NBX_GetMessage(0, &g_get) != 1 || !SameText(g_get.strMsgSInfo, L"Echo me")) return 3;

  if (MSGGOV_Subscribe(L"Client", OnChange, 0) != 1) return 4;
  memset(&g_add, 0, sizeof g_add);
  CopyText(g_add.wszMsgName, L"Added");
  CopyText(g_add.strMsgSInfo, L"from an MSVC client");
  g_add.ShowType = 3;
  g_add.dwPopShowTimeout = 25;
  g_add.bSaveAfterClose = 1;
  if (NBX_AddMessage(L"Client", &g_add) != 1) return 5;
  if (g_nChanges != 1 || g_dwLastMsgID != 1 || g_nLastAddType != ADDTYPE_NEW) return 6;

  if (NBX_GetMessage(1, &g_get) != 1 || g_get.dwMsgID != 1 ||
      !SameText(g_get.strMsgSInfo, L"from an MSVC client") || g_get.ShowType != 3 ||
      g_get.dwPopShowTimeout != 25 || g_get.bHasPopup != 0)
    return 7;
  if (NBX_GetNextMessage(1, &dwNext, &g_get) != 1 || dwNext != 0) return 8;
  if (NBX_MessageHasPopup(1) != 1 || g_nChanges != 2 || g_nLastAddType != ADDTYPE_CHANGE) return 9;

  /* The handler appends "Mail<TAB>Inbox<TAB>7" to EchoHandler.log beside itself. */
  if (MSGGOV_EchoMsg(0, 0, 7) != 1) return 10;
  if (MSGGOV_UNSubscribe(1) != 1) return 11;
  if (MsgGovFinish() != 1) return 12;
  return 0;
}

/* The entry point the linker is told of: there is no C runtime to call main. */
int __stdcall ClientEntry(void) { return Run(); }
