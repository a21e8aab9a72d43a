// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// When the library initialises and terminates Xerces-C.
//
// Where the build links the process's one shared Xerces-C (Linux), the host and every copy of the
// library loaded into the process share it: two copies of libTidings.so from two directories use the same
// libxerces-c.so. Had each load and save initialised it and terminated it again, one copy's terminate
// would free Xerces-C under the other copy's parse, and Xerces-C's Initialize and Terminate are no safer
// against each other on two threads. So the shared library holds Xerces-C (an XmlLibraryHold) from its load
// to its unload instead:
// - Xerces-C counts Initialize and Terminate: it is terminated by the last Terminate, so each copy's
//   hold keeps it for that copy and a host's own pair of calls, before or after, changes nothing for us.
// - The hold is taken and given back by the dynamic loader's constructors and destructors, which it runs
//   for one library at a time (glibc holds its load lock across them), so no two copies ever call
//   Initialize or Terminate at the same moment, and no lock of our own has to be found by both copies.
// - Leak checkers see nothing: the unload (or the process's exit) terminates Xerces-C again, and a host
//   that loads and unloads the library many times leaks nothing either.
// The price: a host that never uses Xerces-C has it initialised while the library is loaded (about 2 ms
// at load), and a host that initialises Xerces-C with a memory manager of its own before it loads the
// library must keep that manager until the library is unloaded, since the last Terminate is then ours.
//
// Where the library links a copy of its own (Windows: each Tidings.dll carries a static Xerces-C), no
// other copy or host can reach it, and Xerces-C must not be initialised while the loader holds its lock
// (DllMain): there each load and save initialises it and terminates it again. Code that links the core
// into an executable (the checker, the unit tests) does the same, and leaves a Xerces-C that it finds
// initialised as it is.

#ifndef TIDINGS_PERSIST_XML_LIBRARY_H_
#define TIDINGS_PERSIST_XML_LIBRARY_H_

namespace tidings {

// Holds Xerces-C initialised for as long as it lives, where the build shares the process's Xerces-C; does
// nothing elsewhere. The shared library has one, made when it loads; there is never more than one.
class XmlLibraryHold {
 public:
  XmlLibraryHold();
  ~XmlLibraryHold();
  XmlLibraryHold(const XmlLibraryHold&) = delete;
  XmlLibraryHold& operator=(const XmlLibraryHold&) = delete;
};

// Makes Xerces-C usable for one load or save: the hold's, the host's, or initialised now, in which case
// *pbInitializedHere is set and EndXmlLibraryUse must follow once every Xerces-C object of the use is
// gone. False when Xerces-C cannot be had.
bool BeginXmlLibraryUse(bool* pbInitializedHere);
void EndXmlLibraryUse();

}  // namespace tidings

#endif  // TIDINGS_PERSIST_XML_LIBRARY_H_
