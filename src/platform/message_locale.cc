// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include <clocale>

#include "platform/platform.h"

namespace tidings {
namespace platform {

void UseMessageFileLocale() { std::setlocale(LC_ALL, "chinese-simplified"); }

}  // namespace platform
}  // namespace tidings
