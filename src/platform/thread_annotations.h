// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Lock annotations for clang's -Wthread-safety analysis; they expand to nothing elsewhere.

#ifndef TIDINGS_PLATFORM_THREAD_ANNOTATIONS_H_
#define TIDINGS_PLATFORM_THREAD_ANNOTATIONS_H_

#if defined(__clang__)
#define TIDINGS_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TIDINGS_THREAD_ANNOTATION(x)
#endif

#define TIDINGS_CAPABILITY(x) TIDINGS_THREAD_ANNOTATION(capability(x))
#define TIDINGS_SCOPED_CAPABILITY TIDINGS_THREAD_ANNOTATION(scoped_lockable)
#define TIDINGS_GUARDED_BY(x) TIDINGS_THREAD_ANNOTATION(guarded_by(x))
#define TIDINGS_ACQUIRE(...) TIDINGS_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define TIDINGS_RELEASE(...) TIDINGS_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TIDINGS_REQUIRES(...) TIDINGS_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define TIDINGS_EXCLUDES(...) TIDINGS_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

#endif  // TIDINGS_PLATFORM_THREAD_ANNOTATIONS_H_
