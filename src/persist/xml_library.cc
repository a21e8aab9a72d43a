// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "persist/xml_library.h"

#include <xercesc/util/PlatformUtils.hpp>

#include "tidings_config.h"

namespace tidings {

using xercesc::XMLPlatformUtils;

namespace {

// Whether the Xerces-C linked here is the process's shared one.
constexpr bool kXercesSharedWithHost = TIDINGS_XERCES_SHARED_WITH_HOST != 0;

enum class HoldState { kNone, kHeld, kFailed };

// Written only while the library loads and unloads, when no load or save can run.
HoldState g_holdState = HoldState::kNone;

void TerminateXerces() {
  try {
    XMLPlatformUtils::Terminate();
  } catch (...) {
  }
}

}  // namespace

XmlLibraryHold::XmlLibraryHold() {
  if (!kXercesSharedWithHost) return;
  try {
    XMLPlatformUtils::Initialize();
    g_holdState = HoldState::kHeld;
  } catch (...) {
    // The library still loads; its loads and saves find no Xerces-C. They do not try to initialise it
    // themselves, which would bring back the race between copies.
    g_holdState = HoldState::kFailed;
  }
}

XmlLibraryHold::~XmlLibraryHold() {
  const bool bHeld = g_holdState == HoldState::kHeld;
  g_holdState = HoldState::kNone;
  if (bHeld) TerminateXerces();
}

bool BeginXmlLibraryUse(bool* pbInitializedHere) {
  *pbInitializedHere = false;
  if (g_holdState != HoldState::kNone) return g_holdState == HoldState::kHeld;
  if (kXercesSharedWithHost && XMLPlatformUtils::fgMemoryManager != nullptr) return true;
  try {
    XMLPlatformUtils::Initialize();
  } catch (...) {
    return false;
  }
  *pbInitializedHere = true;
  return true;
}

void EndXmlLibraryUse() { TerminateXerces(); }

}  // namespace tidings
