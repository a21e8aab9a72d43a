#include "file_fault.h"

#include <windows.h>

#include <string>

namespace tidings {
namespace test {

namespace {

class WinHeldFile : public HeldFile {
 public:
  explicit WinHeldFile(HANDLE h) : m_h(h) {}
  ~WinHeldFile() override { ::CloseHandle(m_h); }

 private:
  HANDLE m_h;
};

}  // namespace

std::unique_ptr<SmallVolume> MountSmallVolume(const std::filesystem::path& /*dir*/, size_t /*cbSize*/,
                                              std::string* pstrWhyNot) {
  *pstrWhyNot = "no small volumes to mount on Windows";
  return nullptr;
}

std::unique_ptr<HeldFile> HoldFileAgainstReplacement(const std::filesystem::path& file,
                                                     std::string* pstrWhyNot) {
  // Sharing read only: whoever comes next may read the file, but not write, delete or rename over it.
  HANDLE h = ::CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *pstrWhyNot = "CreateFileW failed with error " + std::to_string(::GetLastError());
    return nullptr;
  }
  return std::unique_ptr<HeldFile>(new WinHeldFile(h));
}

}  // namespace test
}  // namespace tidings
