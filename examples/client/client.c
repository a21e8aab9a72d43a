/* Copyright 2026 The Tidings developers */
/* SPDX-License-Identifier: Apache-2.0 */

/* A minimal client: it adds a message with UTF-16 texts, reads it back, and lets MsgGovFinish save it. */
#include <stdio.h>
#include <string.h>

#include "tidings.h"

#if defined(_WIN32)
#define TEXT16(s) L##s /* wchar_t is UTF-16 on Windows */
#else
#define TEXT16(s) u##s /* C11's UTF-16 literals elsewhere */
#endif

static const TIDINGS_WCHAR kSpan[] = TEXT16("Mail");
static const TIDINGS_WCHAR kName[] = TEXT16("Inbox");
static const TIDINGS_WCHAR kInfo[] = TEXT16("3 new mails \u2709");
static int32_t g_dwMsgID = -1;

/* Told of every change: the ID of the message added (or updated, when the file already held it). */
static void TIDINGS_CALLBACK OnChange(int32_t dwMsgID, int32_t nAddType) {
  if (nAddType != ADDTYPE_DELETE) g_dwMsgID = dwMsgID;
}

int main(void) {
  static _Message_AddInfo add; /* static: zeroed, so every other text is empty */
  static _Message_GetInfo got;
  int bSame;
  memcpy(add.wszMsgName, kName, sizeof kName);
  memcpy(add.strMsgSInfo, kInfo, sizeof kInfo);
  add.ShowType = 1;
  add.dwPopShowTimeout = 15;
  add.bSaveAfterClose = 1; /* MsgGovFinish writes it into Msg.xml */
  MsgGovInitial();         /* reads Msg.xml */
  MSGGOV_Subscribe(kSpan, OnChange, 0);
  NBX_AddMessage(kSpan, &add);
  bSame = NBX_GetMessage(g_dwMsgID, &got) == 1 && memcmp(got.strMsgSInfo, kInfo, sizeof kInfo) == 0;
  printf("message %d read back %s\n", (int)g_dwMsgID, bSame ? "as added" : "WRONG");
  MsgGovFinish();
  return bSame ? 0 : 1;
}
