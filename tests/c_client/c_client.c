/* Copyright 2026 The Tidings developers */
/* SPDX-License-Identifier: Apache-2.0 */

/*
 * A client written in plain C: it includes the public header alone, links the library directly and
 * calls each of the eleven exports, checking what each gives back. Built once as C99 and once as C11.
 * Exits with 1 after printing every check that failed.
 */

#include <stdio.h>
#include <string.h>

#include "tidings.h"

static int g_nFailures = 0;

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++g_nFailures;                                                           \
    }                                                                          \
  } while (0)

static int g_nChanges = 0;
static int32_t g_dwLastMsgID = -100;
static int32_t g_nLastAddType = -100;

static void TIDINGS_CALLBACK OnChange(int32_t dwMsgID, int32_t nAddType) {
  ++g_nChanges;
  g_dwLastMsgID = dwMsgID;
  g_nLastAddType = nAddType;
}

/* Widens an ASCII text into a buffer of text units. */
static const TIDINGS_WCHAR* Widen(TIDINGS_WCHAR* buffer, size_t nUnits, const char* text) {
  size_t i = 0;
  for (; text[i] != '\0' && i + 1 < nUnits; ++i) buffer[i] = (TIDINGS_WCHAR)text[i];
  buffer[i] = 0;
  return buffer;
}

/* 1 when the zero-terminated units equal the ASCII text. */
static int SameText(const TIDINGS_WCHAR* units, const char* text) {
  size_t i = 0;
  for (; text[i] != '\0'; ++i) {
    if (units[i] != (TIDINGS_WCHAR)text[i]) return 0;
  }
  return units[i] == 0;
}

static void FillRecord(_Message_AddInfo* pInfo, const char* name, const char* info, int32_t nShowType) {
  memset(pInfo, 0, sizeof *pInfo);
  Widen(pInfo->wszMsgName, 256, name);
  Widen(pInfo->strMsgSInfo, 1024, info);
  pInfo->ShowType = nShowType;
  pInfo->dwPopShowTimeout = 30;
  pInfo->bSaveAfterClose = 0;
}

/* Expects exactly one notification since the last call, with this ID and change code. */
static void ExpectOneChange(int nBefore, int32_t dwMsgID, int32_t nAddType, int nLine) {
  if (g_nChanges != nBefore + 1 || g_dwLastMsgID != dwMsgID || g_nLastAddType != nAddType) {
    fprintf(stderr, "line %d: expected one change (%d, %d), got %d changes, the last (%d, %d)\n", nLine,
            (int)dwMsgID, (int)nAddType, g_nChanges - nBefore, (int)g_dwLastMsgID, (int)g_nLastAddType);
    ++g_nFailures;
  }
}

int main(void) {
  TIDINGS_WCHAR span[16];
  TIDINGS_WCHAR name[16];
  _Message_AddInfo add;
  _Message_GetInfo got;
  int32_t dwNewMsgID = 0;
  int nBefore;

  Widen(span, 16, "Mail");
  CHECK(MsgGovInitial() == 1);
  CHECK(MSGGOV_Subscribe(span, OnChange, 0) == 1);

  nBefore = g_nChanges;
  FillRecord(&add, "Inbox", "3 new", 7);
  CHECK(NBX_AddMessage(span, &add) == 1);
  ExpectOneChange(nBefore, 0, ADDTYPE_NEW, __LINE__);

  nBefore = g_nChanges;
  FillRecord(&add, "Outbox", "1 queued", 8);
  CHECK(NBX_AddMessage(span, &add) == 1);
  ExpectOneChange(nBefore, 1, ADDTYPE_NEW, __LINE__);

  memset(&got, 0, sizeof got);
  CHECK(NBX_GetMessage(0, &got) == 1);
  CHECK(got.dwMsgID == 0);
  CHECK(SameText(got.strMsgSInfo, "3 new"));
  CHECK(got.ShowType == 7);
  CHECK(got.dwPopShowTimeout == 30);
  CHECK(got.bHasPopup == 0);
  CHECK(NBX_GetMessage(2, &got) == 0);
  CHECK(NBX_GetMessage(-1, &got) == 0);

  /* The walk: 0, 1, then round to 0 again. */
  CHECK(NBX_GetNextMessage(0, &dwNewMsgID, &got) == 1);
  CHECK(dwNewMsgID == 1);
  CHECK(got.dwMsgID == 1);
  CHECK(SameText(got.strMsgSInfo, "1 queued"));
  CHECK(NBX_GetNextMessage(1, &dwNewMsgID, &got) == 1);
  CHECK(dwNewMsgID == 0);
  CHECK(NBX_GetNextMessage(7, &dwNewMsgID, &got) == 0);
  CHECK(dwNewMsgID == -1);

  nBefore = g_nChanges;
  CHECK(NBX_MessageHasPopup(1) == 1);
  ExpectOneChange(nBefore, 1, ADDTYPE_CHANGE, __LINE__);
  CHECK(NBX_GetMessage(1, &got) == 1);
  CHECK(got.bHasPopup == 1);

  /* No handler module: the echo does nothing and still returns 1. */
  nBefore = g_nChanges;
  CHECK(MSGGOV_EchoMsg(0, 0, 0) == 1);
  CHECK(MSGGOV_EchoMsg(0, 99, 0) == 1);
  CHECK(g_nChanges == nBefore);

  nBefore = g_nChanges;
  CHECK(NBX_DeleteMessageFromID(1) == 1);
  ExpectOneChange(nBefore, 1, ADDTYPE_DELETE, __LINE__);
  CHECK(NBX_GetMessage(1, &got) == 0);

  nBefore = g_nChanges;
  CHECK(NBX_DeleteMessage(Widen(span, 16, "MAIL"), Widen(name, 16, "inbox")) == 1);
  ExpectOneChange(nBefore, 0, ADDTYPE_DELETE, __LINE__);
  CHECK(NBX_GetMessage(0, &got) == 0);

  /* The first subscription of the process has handle 1; once it is gone nobody is told. */
  CHECK(MSGGOV_UNSubscribe(1) == 1);
  nBefore = g_nChanges;
  FillRecord(&add, "Inbox", "again", 1);
  CHECK(NBX_AddMessage(span, &add) == 1);
  CHECK(g_nChanges == nBefore);
  CHECK(NBX_GetMessage(2, &got) == 1);

  CHECK(MsgGovFinish() == 1);

  if (g_nFailures != 0) {
    fprintf(stderr, "%d check(s) failed\n", g_nFailures);
    return 1;
  }
  printf("all checks passed\n");
  return 0;
}
