// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "persist/xml_text.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>

#include "platform/utf.h"

namespace tidings {

using namespace xercesc;

namespace {

constexpr XMLSize_t kBlock = 16 * 1024;

std::unique_ptr<XMLTranscoder> MakeTranscoder(const XMLCh* encoding) {
  if (encoding == nullptr) return nullptr;
  XMLTransService::Codes result = XMLTransService::Ok;
  std::unique_ptr<XMLTranscoder> pTranscoder(XMLPlatformUtils::fgTransService->makeNewTranscoderFor(
      encoding, result, kBlock, XMLPlatformUtils::fgMemoryManager));
  if (result != XMLTransService::Ok) pTranscoder.reset();
  return pTranscoder;
}

}  // namespace

void AppendCharReference(char32_t c, std::u16string* pOut) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  pOut->append(u"&#x");
  int nShift = 28;
  while (nShift > 0 && ((c >> nShift) & 0xF) == 0) nShift -= 4;
  for (; nShift >= 0; nShift -= 4) pOut->push_back(kHex[(c >> nShift) & 0xF]);
  pOut->push_back(u';');
}

size_t ByteOrderMarkSize(std::string_view bytes) {
  for (std::string_view mark :
       {std::string_view("\xEF\xBB\xBF"), std::string_view("\xFF\xFE\0\0", 4),
        std::string_view("\0\0\xFE\xFF", 4), std::string_view("\xFF\xFE"), std::string_view("\xFE\xFF")}) {
    if (bytes.substr(0, mark.size()) == mark) return mark.size();
  }
  return 0;
}

size_t DecodedBytes::UnitAt(size_t nOffset) const {
  size_t nAt = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    // The second unit of a pair starts no character, whichever unit the pair's bytes were counted to.
    const bool bSecond = i > 0 && platform::IsSurrogatePair(text[i - 1], text[i]);
    if (nAt == nOffset && !bSecond) return i;
    if (nAt > nOffset) return npos;
    nAt += sizes[i];
  }
  return nAt == nOffset ? sizes.size() : npos;
}

size_t DecodedBytes::OffsetOf(size_t nUnit) const {
  size_t nAt = 0;
  for (size_t i = 0; i < nUnit && i < sizes.size(); ++i) nAt += sizes[i];
  return nAt;
}

bool DecodeBytes(std::string_view bytes, const XMLCh* encoding, DecodedBytes* pDecoded) {
  pDecoded->text.clear();
  pDecoded->sizes.clear();
  std::unique_ptr<XMLTranscoder> pTranscoder = MakeTranscoder(encoding);
  if (!pTranscoder) return false;
  std::vector<XMLCh> units(kBlock);
  std::vector<unsigned char> sizes(kBlock);
  const XMLByte* pNext = reinterpret_cast<const XMLByte*>(bytes.data());
  XMLSize_t nLeft = bytes.size();
  try {
    while (nLeft != 0) {
      XMLSize_t nEaten = 0;
      const XMLSize_t nMade =
          pTranscoder->transcodeFrom(pNext, nLeft, units.data(), kBlock, nEaten, sizes.data());
      if (nEaten == 0 || nEaten > nLeft || nMade > kBlock) return false;
      pDecoded->text.append(U(units.data()), nMade);
      pDecoded->sizes.insert(pDecoded->sizes.end(), sizes.begin(),
                             sizes.begin() + static_cast<std::ptrdiff_t>(nMade));
      pNext += nEaten;
      nLeft -= nEaten;
    }
  } catch (...) {
    return false;
  }
  return true;
}

bool EncodeText(std::u16string_view text, const XMLCh* encoding, std::string* pBytes) {
  pBytes->clear();
  std::unique_ptr<XMLTranscoder> pTranscoder = MakeTranscoder(encoding);
  if (!pTranscoder) return false;
  // The text with a reference for each character the encoding has no bytes for, made only once there is
  // one: till then the text is written as it is.
  std::u16string carried;
  bool bAsItIs = true;
  // Whether the encoding writes a character, asked once per character: in a table for ASCII, in one for
  // the rest of the BMP, made when such a character first comes, and in a map beyond.
  signed char ascii[0x80] = {};
  std::vector<signed char> bmp;
  std::unordered_map<char32_t, bool> beyond;
  try {
    auto canWrite = [&](char32_t c) {
      if (c < 0x10000) {
        if (bmp.empty()) bmp.resize(0x10000);
        signed char& known = bmp[c];
        if (known == 0) known = pTranscoder->canTranscodeTo(static_cast<unsigned int>(c)) ? 1 : -1;
        return known > 0;
      }
      const auto found = beyond.find(c);
      if (found != beyond.end()) return found->second;
      return beyond[c] = pTranscoder->canTranscodeTo(static_cast<unsigned int>(c));
    };
    for (size_t i = 0; i < text.size(); ++i) {
      const char16_t unit = text[i];
      if (unit < 0x80) {
        if (ascii[unit] == 0) ascii[unit] = pTranscoder->canTranscodeTo(unit) ? 1 : -1;
        if (ascii[unit] < 0) return false;  // the markup itself cannot be written
        if (!bAsItIs) carried.push_back(unit);
        continue;
      }
      const bool bPair = i + 1 < text.size() && platform::IsSurrogatePair(unit, text[i + 1]);
      const char32_t c = bPair ? 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00) : unit;
      if (canWrite(c)) {
        if (!bAsItIs) carried.append(text.substr(i, bPair ? 2 : 1));
      } else {
        if (bAsItIs) carried.assign(text.substr(0, i));
        bAsItIs = false;
        AppendCharReference(c, &carried);
      }
      if (bPair) ++i;
    }
    // Written straight into *pBytes, with room for the longest a block can come out as.
    const std::u16string_view source = bAsItIs ? text : std::u16string_view(carried);
    constexpr size_t kMostBytesPerUnit = 8;
    size_t nDone = 0;
    while (nDone < source.size()) {
      // A block never ends between the two units of a pair.
      size_t nCount = std::min<size_t>(kBlock, source.size() - nDone);
      if (nDone + nCount < source.size() && platform::IsHighSurrogate(source[nDone + nCount - 1])) --nCount;
      const size_t nAt = pBytes->size();
      pBytes->resize(nAt + nCount * kMostBytesPerUnit);
      XMLSize_t nEaten = 0;
      const XMLSize_t nMade = pTranscoder->transcodeTo(
          X(source.data()) + nDone, nCount, reinterpret_cast<XMLByte*>(&(*pBytes)[nAt]),
          nCount * kMostBytesPerUnit, nEaten, XMLTranscoder::UnRep_Throw);
      if (nEaten == 0 || nEaten > nCount || nMade > nCount * kMostBytesPerUnit) return false;
      pBytes->resize(nAt + nMade);
      nDone += nEaten;
    }
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace tidings
