/* Copyright 2026 The Tidings developers */
/* SPDX-License-Identifier: Apache-2.0 */

/* A C client of the installed Tidings, built with the flags pkg-config gives for it. It adds two
 * messages, reads one back, steps from one to the other, deletes one by span and name, and exits 0 only
 * when every check holds. */

#include <tidings.h>

#include <stdio.h>
#include <string.h>

static int g_failures = 0;
static int32_t g_lastId = -1;
static int32_t g_lastType = -1;
static int g_notices = 0;

static void Check(int ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "FAILED: %s\n", what);
  ++g_failures;
}

/* Widens an ASCII text into a zero-terminated UTF-16 field. */
static void SetField(TIDINGS_WCHAR* field, const char* text) {
  size_t i = 0;
  for (; text[i] != '\0'; ++i) field[i] = (TIDINGS_WCHAR)text[i];
  field[i] = 0;
}

static int SameText(const TIDINGS_WCHAR* field, const char* text) {
  size_t i = 0;
  for (; text[i] != '\0'; ++i) {
    if (field[i] != (TIDINGS_WCHAR)text[i]) return 0;
  }
  return field[i] == 0;
}

static void TIDINGS_CALLBACK OnChange(int32_t dwMsgID, int32_t nAddType) {
  g_lastId = dwMsgID;
  g_lastType = nAddType;
  ++g_notices;
}

static void AddMessage(const char* span, const char* name, const char* info, int32_t showType) {
  _Message_AddInfo add;
  TIDINGS_WCHAR spanText[64];
  memset(&add, 0, sizeof add);
  SetField(spanText, span);
  SetField(add.wszMsgName, name);
  SetField(add.strMsgSInfo, info);
  add.ShowType = showType;
  add.dwPopShowTimeout = -1;
  Check(NBX_AddMessage(spanText, &add) == 1, "NBX_AddMessage returns 1");
}

int main(void) {
  _Message_GetInfo got;
  int32_t next = 12345;
  TIDINGS_WCHAR span[16];
  TIDINGS_WCHAR name[16];

  Check(MSGGOV_Subscribe(NULL, OnChange, 0) == 1, "MSGGOV_Subscribe returns 1");

  AddMessage("Disk", "Full", "The disk is 95% full.", 2);
  Check(g_notices == 1 && g_lastId == 0 && g_lastType == ADDTYPE_NEW,
        "the first message is announced new with ID 0");
  AddMessage("Disk", "Backup", "Backup done.", 1);
  Check(g_notices == 2 && g_lastId == 1 && g_lastType == ADDTYPE_NEW,
        "the second message is announced new with ID 1");

  memset(&got, 0, sizeof got);
  Check(NBX_GetMessage(1, &got) == 1, "NBX_GetMessage finds message 1");
  Check(got.dwMsgID == 1 && SameText(got.strMsgSInfo, "Backup done.") && got.ShowType == 1 &&
            got.dwPopShowTimeout == -1 && got.bHasPopup == 0,
        "the record holds message 1");
  Check(NBX_GetMessage(-1, &got) == 0, "no message has ID -1");

  Check(NBX_GetNextMessage(0, &next, &got) == 1 && next == 1 && got.dwMsgID == 1,
        "message 1 follows message 0");
  Check(NBX_GetNextMessage(1, &next, &got) == 1 && next == 0 &&
            SameText(got.strMsgSInfo, "The disk is 95% full."),
        "the walk comes back to message 0");

  SetField(span, "disk");
  SetField(name, "full");
  Check(NBX_DeleteMessage(span, name) == 1, "NBX_DeleteMessage returns 1");
  Check(g_notices == 3 && g_lastId == 0 && g_lastType == ADDTYPE_DELETE,
        "the deletion of message 0 is announced");
  Check(NBX_GetMessage(0, &got) == 0, "a deleted message is not found");
  Check(NBX_GetNextMessage(1, &next, &got) == 1 && next == 1, "message 1 is left alone in the list");

  if (g_failures != 0) return 1;
  printf("consumer-pkgconfig: all checks passed\n");
  return 0;
}
