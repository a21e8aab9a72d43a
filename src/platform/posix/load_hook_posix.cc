// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "platform/load_hook.h"

namespace tidings {
namespace platform {

// The caller is itself a constructor run by the dynamic loader, after the objects before it.
void RunAtLibraryLoad(void (*pfn)()) { pfn(); }

}  // namespace platform
}  // namespace tidings
