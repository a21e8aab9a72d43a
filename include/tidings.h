/* Copyright 2026 The Tidings developers */
/* SPDX-License-Identifier: Apache-2.0 */

/*
 * tidings.h: the public interface of Tidings, an in-process notification-message manager.
 *
 * Conventions
 * - Text: every text crossing this interface is a zero-terminated string of 16-bit UTF-16 code units
 *   (`TIDINGS_WCHAR`: `wchar_t` on Windows, `char16_t` in C++ elsewhere, `uint_least16_t` in C elsewhere).
 * - Ownership: the library copies every text and record it is given before the call returns and keeps
 *   no caller pointer except a subscriber's callback. A null text pointer reads as the empty text.
 * - Calling conventions: the exports are caller-cleans (`__cdecl` on 32-bit Windows); the two callback
 *   types the library calls into client code are `__stdcall` on 32-bit Windows. Elsewhere both use the
 *   platform's default convention.
 * - Results: every export returns 1, except `NBX_GetMessage` and `NBX_GetNextMessage`, which return 1 when
 *   a message was copied and 0 otherwise. What an operation found shows in the change notifications it
 *   sends and in the trace log, never in its result.
 * - Threads: every export may be called from any thread, also from inside a subscriber callback or a
 *   handler module. `MsgGovInitial` and `MsgGovFinish` must not run at the same time as any other call.
 * - No export lets an exception or error escape; no export ever fails to return.
 */
#ifndef TIDINGS_H_
#define TIDINGS_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Platform glue: text unit, calling conventions, symbol visibility. ---- */

#if defined(_WIN32)
typedef wchar_t TIDINGS_WCHAR;
#define TIDINGS_API __cdecl
#define TIDINGS_CALLBACK __stdcall
#if defined(TIDINGS_BUILDING)
#define TIDINGS_EXPORT /* the library's .def file names the exports and their ordinals */
#else
#define TIDINGS_EXPORT __declspec(dllimport)
#endif
#else
#if defined(__cplusplus)
typedef char16_t TIDINGS_WCHAR;
#else
typedef uint_least16_t TIDINGS_WCHAR;
#endif
#define TIDINGS_API
#define TIDINGS_CALLBACK
#if defined(TIDINGS_BUILDING) && defined(__GNUC__)
#define TIDINGS_EXPORT __attribute__((visibility("default")))
#else
#define TIDINGS_EXPORT
#endif
#endif

#if defined(__cplusplus)
#define TIDINGS_FIELD_SIZE(type, field) sizeof(type::field)
#else
#define TIDINGS_FIELD_SIZE(type, field) sizeof(((type*)0)->field)
#endif

#if defined(__cplusplus)
#define TIDINGS_STATIC_ASSERT(cond, name) static_assert(cond, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define TIDINGS_STATIC_ASSERT(cond, name) _Static_assert(cond, #name)
#else
/* C99: a negative array size stops the compile when the condition is false. */
#define TIDINGS_STATIC_ASSERT(cond, name) typedef char tidings_assert_##name[(cond) ? 1 : -1]
#endif

/* ---- Records. ---- */

/* The message a client hands to NBX_AddMessage. The span name is a separate argument; the store gives
 * the ID and keeps the popup flag itself. */
typedef struct _Message_AddInfo {
  /* Message name; read up to its terminator, never past the field's 256 units. */
  TIDINGS_WCHAR wszMsgName[256];
  /* Information text; read up to its terminator, never past the field's 1024 units. */
  TIDINGS_WCHAR strMsgSInfo[1024];
  int32_t ShowType;         /* kept and handed back, never interpreted */
  int32_t dwPopShowTimeout; /* kept and handed back, never interpreted */
  int32_t bSaveAfterClose;  /* non-zero: written to the message file by MsgGovFinish */
  int32_t dwReserved;       /* not read */
  /* Path of the handler module for MSGGOV_EchoMsg. Read up to its terminator with no bound: a client
   * whose path is longer than the declared 260 units allocates the record larger. */
  TIDINGS_WCHAR strMsgEchoPath[260];
} _Message_AddInfo;

/* What NBX_GetMessage and NBX_GetNextMessage copy out of a message: 2064 bytes. */
typedef struct _Message_GetInfo {
  int32_t dwMsgID;
  /* Information text with its terminator, cut to 1023 units when longer; the units after the
   * terminator keep what the caller's buffer held. */
  TIDINGS_WCHAR strMsgSInfo[1024];
  int32_t ShowType;
  int32_t dwPopShowTimeout;
  int32_t bHasPopup; /* 1 once NBX_MessageHasPopup marked the message, 0 after an add or update */
} _Message_GetInfo;

TIDINGS_STATIC_ASSERT(sizeof(TIDINGS_WCHAR) == 2, text_unit_is_16_bits);
TIDINGS_STATIC_ASSERT(offsetof(_Message_AddInfo, wszMsgName) == 0, addinfo_name_offset);
TIDINGS_STATIC_ASSERT(TIDINGS_FIELD_SIZE(_Message_AddInfo, wszMsgName) == 512, addinfo_name_size);
TIDINGS_STATIC_ASSERT(offsetof(_Message_AddInfo, strMsgSInfo) == 512, addinfo_info_offset);
TIDINGS_STATIC_ASSERT(TIDINGS_FIELD_SIZE(_Message_AddInfo, strMsgSInfo) == 2048, addinfo_info_size);
TIDINGS_STATIC_ASSERT(offsetof(_Message_AddInfo, ShowType) == 2560, addinfo_showtype_offset);
TIDINGS_STATIC_ASSERT(offsetof(_Message_AddInfo, dwPopShowTimeout) == 2564, addinfo_timeout_offset);
TIDINGS_STATIC_ASSERT(offsetof(_Message_AddInfo, bSaveAfterClose) == 2568, addinfo_save_offset);
TIDINGS_STATIC_ASSERT(offsetof(_Message_AddInfo, dwReserved) == 2572, addinfo_reserved_offset);
TIDINGS_STATIC_ASSERT(offsetof(_Message_AddInfo, strMsgEchoPath) == 2576, addinfo_echopath_offset);
TIDINGS_STATIC_ASSERT(sizeof(_Message_GetInfo) == 2064, getinfo_size);
TIDINGS_STATIC_ASSERT(offsetof(_Message_GetInfo, dwMsgID) == 0, getinfo_id_offset);
TIDINGS_STATIC_ASSERT(offsetof(_Message_GetInfo, strMsgSInfo) == 4, getinfo_info_offset);
TIDINGS_STATIC_ASSERT(TIDINGS_FIELD_SIZE(_Message_GetInfo, strMsgSInfo) == 2048, getinfo_info_size);
TIDINGS_STATIC_ASSERT(offsetof(_Message_GetInfo, ShowType) == 2052, getinfo_showtype_offset);
TIDINGS_STATIC_ASSERT(offsetof(_Message_GetInfo, dwPopShowTimeout) == 2056, getinfo_timeout_offset);
TIDINGS_STATIC_ASSERT(offsetof(_Message_GetInfo, bHasPopup) == 2060, getinfo_popup_offset);

/* ---- Callbacks and change codes. ---- */

/* The kinds of change a subscriber is told of. */
#define ADDTYPE_NEW 0    /* a message was added (also the one announcement of bSubscribeOld) */
#define ADDTYPE_DELETE 1 /* a message was removed; it is gone when the callback runs */
#define ADDTYPE_CHANGE 2 /* a message was updated in place, or its popup was marked */

/* A subscriber's callback, called synchronously on the thread of the export that made the change,
 * after the change is complete and with no lock of the library held: it may call any export. */
typedef void(TIDINGS_CALLBACK* MSGEVENTPROC)(int32_t dwMsgID, int32_t nAddType);

/* The entry point "NBX_EchoMsg" of a handler module. The two texts are valid for the call only. */
typedef void(TIDINGS_CALLBACK* ECHOMSGPROC)(const TIDINGS_WCHAR* lpMsgSpanName,
                                            const TIDINGS_WCHAR* lpMsgName, uint32_t dwEchoParam);

/* ---- Exports. ---- */

/* Echoes dynamic message MsgID: loads the module its echo path names, calls its NBX_EchoMsg with the
 * message's span name, name and dwEchoParam, and unloads it. The current directory is the module's own
 * directory during the call. h is written to the trace only. Returns 1. */
TIDINGS_EXPORT int32_t TIDINGS_API MSGGOV_EchoMsg(uint32_t h, int32_t MsgID, uint32_t dwEchoParam);

/* Registers pMsgTran (null allowed, never called) to be told of every change. The n-th subscription of
 * the process gets handle n, which shows only in the trace. With bSubscribeOld non-zero, all subscribers
 * are told ADDTYPE_NEW for the first message of the dynamic list, or else of the default list, if any.
 * Returns 1. */
TIDINGS_EXPORT int32_t TIDINGS_API MSGGOV_Subscribe(const TIDINGS_WCHAR* lpMsgSpanName, MSGEVENTPROC pMsgTran,
                                                    int32_t bSubscribeOld);

/* Removes the subscription with handle hHandle, if any. Returns 1. */
TIDINGS_EXPORT int32_t TIDINGS_API MSGGOV_UNSubscribe(uint32_t hHandle);

/* Writes the dynamic messages whose bSaveAfterClose is set into the message file beside the library,
 * then empties the dynamic list. Returns 1. */
TIDINGS_EXPORT int32_t TIDINGS_API MsgGovFinish(void);

/* Appends the messages of the message file beside the library to the two lists. Returns 1. */
TIDINGS_EXPORT int32_t TIDINGS_API MsgGovInitial(void);

/* Updates every dynamic message with this span and name (compared without regard to case) or, when
 * there is none, adds a new one with the next ID. Subscribers are told ADDTYPE_CHANGE or ADDTYPE_NEW.
 * Returns 1. */
TIDINGS_EXPORT int32_t TIDINGS_API NBX_AddMessage(const TIDINGS_WCHAR* lpMsgSpanName,
                                                  const _Message_AddInfo* pInfo);

/* Removes every dynamic message with this span and name; subscribers are told ADDTYPE_DELETE once,
 * with the ID of the last one removed. Returns 1. */
TIDINGS_EXPORT int32_t TIDINGS_API NBX_DeleteMessage(const TIDINGS_WCHAR* lpMsgSpanName,
                                                     const TIDINGS_WCHAR* wszMsgName);

/* Removes the dynamic message dwMsgID; subscribers are told ADDTYPE_DELETE if it existed. Returns 1. */
TIDINGS_EXPORT int32_t TIDINGS_API NBX_DeleteMessageFromID(int32_t dwMsgID);

/* Copies message dwMsgID (dynamic list for 0 and up, default list below 0) into *pInfo. Returns 1 when
 * found; 0 otherwise, leaving *pInfo untouched. */
TIDINGS_EXPORT int32_t TIDINGS_API NBX_GetMessage(int32_t dwMsgID, _Message_GetInfo* pInfo);

/* Copies the message after dwMsgID in its list (the last is followed by the first) into *pInfo and its
 * ID into *pdwNewMsgID. An ID of 0 or more that is not in the dynamic list continues in the default list
 * after -2. Returns 1 when a message was copied; 0 otherwise, with *pdwNewMsgID -1 and *pInfo
 * untouched. */
TIDINGS_EXPORT int32_t TIDINGS_API NBX_GetNextMessage(int32_t dwMsgID, int32_t* pdwNewMsgID,
                                                      _Message_GetInfo* pInfo);

/* Marks that dynamic message dwMsgID's popup was shown; subscribers are told ADDTYPE_CHANGE if it
 * exists. Returns 1. */
TIDINGS_EXPORT int32_t TIDINGS_API NBX_MessageHasPopup(int32_t dwMsgID);

#ifdef __cplusplus
}
#endif

#endif /* TIDINGS_H_ */
