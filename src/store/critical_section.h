// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The store's lock and its scoped holder.

#ifndef TIDINGS_STORE_CRITICAL_SECTION_H_
#define TIDINGS_STORE_CRITICAL_SECTION_H_

#include "platform/platform.h"

namespace tidings {

// A lock that is only ever taken through a CAutoCriticalSection, so that it is released on every way out
// of the operation that took it. Not re-entrant.
class TIDINGS_CAPABILITY("mutex") CCriticalSection {
 public:
  CCriticalSection() = default;
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

 private:
  friend class CAutoCriticalSection;
  void Lock() TIDINGS_ACQUIRE() { m_mutex.Lock(); }
  void Unlock() TIDINGS_RELEASE() { m_mutex.Unlock(); }

  platform::Mutex m_mutex;
};

// Takes the lock on construction, waiting as long as another thread holds it, and releases it when it
// goes out of scope.
class TIDINGS_SCOPED_CAPABILITY CAutoCriticalSection {
 public:
  explicit CAutoCriticalSection(CCriticalSection& cs) TIDINGS_ACQUIRE(cs) : m_pcs(&cs) { m_pcs->Lock(); }
  ~CAutoCriticalSection() TIDINGS_RELEASE() { m_pcs->Unlock(); }
  CAutoCriticalSection(const CAutoCriticalSection&) = delete;
  CAutoCriticalSection& operator=(const CAutoCriticalSection&) = delete;

 private:
  CCriticalSection* m_pcs;
};

}  // namespace tidings

#endif  // TIDINGS_STORE_CRITICAL_SECTION_H_
