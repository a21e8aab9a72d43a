/* Copyright 2026 The Tidings developers */
/* SPDX-License-Identifier: Apache-2.0 */

/* A minimal client: it adds a message with UTF-16 texts, reads it back, and lets MsgGovFinish save it. */
#include <stdio.h>
#include <string.h>
#include "tidings.h"

#if defined(_WIN32)
#define TEXT16(s) L##s /* TIDINGS_WCHAR is wchar_t, UTF-16 on Windows */
#else
#define TEXT16(s) u##s /* C11's UTF-16 literals elsewhere */
#endif

static const TIDINGS_WCHAR kInfo[] = TEXT16("3 new mails \u2709");
static int32_t g_dwMsgID = -1;

static void TIDINGS_CALLBACK OnChange(int32_t dwMsgID, int32_t nAddType) { /* told of every change */
  if (nAddType != ADDTYPE_DELETE) g_dwMsgID = dwMsgID; /* added, or updated if Msg.xml held it */
}

int main(void) {
  static _Message_AddInfo add; /* static: zeroed, so the echo path is empty */
  static _Message_GetInfo got;
  memcpy(add.wszMsgName, TEXT16("Inbox"), sizeof TEXT16("Inbox"));
  memcpy(add.strMsgSInfo, kInfo, sizeof kInfo);
  add.ShowType = 1;
  add.dwPopShowTimeout = 15;
  add.bSaveAfterClose = 1; /* MsgGovFinish writes it into Msg.xml */
  MsgGovInitial();         /* reads Msg.xml */
  MSGGOV_Subscribe(TEXT16("Mail"), OnChange, 0);
  NBX_AddMessage(TEXT16("Mail"), &add);
  int bSame = NBX_GetMessage(g_dwMsgID, &got) == 1 && memcmp(got.strMsgSInfo, kInfo, sizeof kInfo) == 0;
  printf("message %d read back %s\n", (int)g_dwMsgID, bSame ? "as added" : "WRONG");
  MsgGovFinish();
  return bSame ? 0 : 1;
}
