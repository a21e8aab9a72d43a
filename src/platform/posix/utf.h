// Conversions between UTF-8 and UTF-16, for the POSIX edge of the platform interface.

#ifndef TIDINGS_PLATFORM_POSIX_UTF_H_
#define TIDINGS_PLATFORM_POSIX_UTF_H_

#include <string>

namespace tidings {
namespace platform {

// UTF-16 to UTF-8. An unpaired surrogate becomes '?', the narrow default character.
std::string Utf16ToUtf8(const std::u16string& text);

// UTF-8 to UTF-16. A byte that does not start or continue a valid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace platform
}  // namespace tidings

#endif  // TIDINGS_PLATFORM_POSIX_UTF_H_
