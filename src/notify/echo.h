// The pieces of an echo: the module holder and the path splitter.

#ifndef TIDINGS_NOTIFY_ECHO_H_
#define TIDINGS_NOTIFY_ECHO_H_

#include <string>

#include "platform/platform.h"

namespace tidings {

// Holds one loaded module and the entry point last looked up in it; unloads the module when it goes out
// of scope, so every load made through it is matched by exactly one unload.
class CDllModule {
 public:
  CDllModule() = default;
  ~CDllModule();
  CDllModule(const CDllModule&) = delete;
  CDllModule& operator=(const CDllModule&) = delete;

  // Loads the module at `strPath` unless one is loaded already, then looks up the entry point exported
  // under `strName` (ASCII). Returns its address, or null when the load or the lookup fails. An empty
  // path loads nothing.
  void* GetProc(const std::u16string& strPath, const std::u16string& strName);

 private:
  void* m_hModule = nullptr;
  void* m_pfnProc = nullptr;
};

// Splits `strPath` at its last directory separator ('\\' on Windows, '/' elsewhere): the directory part
// is everything up to and including it, the file part the rest. Without a separator the directory part
// is the whole path and the file part is empty. Writes the parts that are asked for and returns the file
// part.
std::u16string SplitPath(const std::u16string& strPath, std::u16string* pstrDir, std::u16string* pstrFile);

}  // namespace tidings

#endif  // TIDINGS_NOTIFY_ECHO_H_
