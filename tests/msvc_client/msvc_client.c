/* Copyright 2026 The Tidings developers */
/* SPDX-License-Identifier: Apache-2.0 */

/* A client built as an MSVC project builds one, with no C runtime at all (see run-msvc-client.sh, which
 * lays out Config\Msg.xml: the default message "Welcome", and the dynamic message 0 "Echo me" whose echo
 * path names the example handler). Exit status: 0, or the number of the first check that failed. */
#include "tidings.h"

/* Static, so that no stack frame needs the runtime's stack probe. */
static _Message_AddInfo g_add = {L"Added", L"from an MSVC client", 3, 25, 1, 0, L""};
static _Message_GetInfo g_get;
static int g_nChanges = 0;
static int32_t g_dwLastMsgID = -100, g_nLastAddType = -100;

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

static int Run(void) {
  int32_t dwNext = 0;
  if (MsgGovInitial() != 1) return 1;
  if (NBX_GetMessage(-2, &g_get) != 1 || !SameText(g_get.strMsgSInfo, L"Welcome")) return 2;
  if (NBX_GetMessage(0, &g_get) != 1 || !SameText(g_get.strMsgSInfo, L"Echo me")) return 3;
  if (MSGGOV_Subscribe(L"Client", OnChange, 0) != 1 || NBX_AddMessage(L"Client", &g_add) != 1) return 4;
  if (g_nChanges != 1 || g_dwLastMsgID != 1 || g_nLastAddType != ADDTYPE_NEW) return 5;
  if (NBX_GetMessage(1, &g_get) != 1 || g_get.dwMsgID != 1 ||
      !SameText(g_get.strMsgSInfo, L"from an MSVC client") || g_get.ShowType != 3 ||
      g_get.dwPopShowTimeout != 25 || g_get.bHasPopup != 0)
    return 6;
  if (NBX_GetNextMessage(1, &dwNext, &g_get) != 1 || dwNext != 0) return 7;
  if (NBX_MessageHasPopup(1) != 1 || g_nChanges != 2 || g_nLastAddType != ADDTYPE_CHANGE) return 8;
  /* The handler appends "Mail<TAB>Inbox<TAB>7" to EchoHandler.log beside itself. */
  if (MSGGOV_EchoMsg(0, 0, 7) != 1 || MSGGOV_UNSubscribe(1) != 1) return 9;
  return MsgGovFinish() == 1 ? 0 : 10;
}

/* The entry point lld-link is given: there is no C runtime to call main. */
int __stdcall ClientEntry(void) { return Run(); }
