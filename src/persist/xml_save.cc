// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Saving into a message file: the new content of its section is spliced into the file's own bytes, and
// every other byte stays as it stood. Rewriting the whole document from its DOM lost what the DOM does not
// hold (references to entities the file does not declare, the file's layout and declaration), wrote
// namespace declarations that made the document read back otherwise, and took time that grew with the
// square of a run of sibling comments.

#include <algorithm>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "persist/number_text.h"
#include "persist/xml_doc.h"
#include "persist/xml_text.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace tidings {

using namespace xercesc;

namespace {

// Whether text[i] is a unit that no document of that XML version can carry, even as a reference.
bool IsUncarried(std::u16string_view text, size_t i, bool bXml11) {
  const char16_t unit = text[i];
  if (unit < 0x20) return unit == 0 || (!bXml11 && unit != 0x9 && unit != 0xA && unit != 0xD);
  if (unit == 0xFFFE || unit == 0xFFFF) return true;
  return platform::IsUnpairedSurrogate(text, i);
}

// Whether an attribute value must hold this unit as a reference to read back as it: tab, line feed and
// carriage return would read as spaces, and in XML 1.1 the control characters may stand only as
// references, and U+0085 and U+2028 would read as line ends.
bool NeedsReference(char16_t unit, bool bXml11) {
  if (unit == 0x9 || unit == 0xA || unit == 0xD) return true;
  return bXml11 && (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028);
}

// White space as the parser sees it: XML 1.1 has two line ends more.
bool IsWhiteSpace(char16_t unit, bool bXml11) {
  return unit == u' ' || unit == 0x9 || unit == 0xA || unit == 0xD ||
         (bXml11 && (unit == 0x85 || unit == 0x2028));
}

bool IsUtf8OrUtf16(const std::u16string& strEncoding) {
  return XMLString::compareIString(X(strEncoding), XMLUni::fgUTF8EncodingString) == 0 ||
         XMLString::startsWithI(X(strEncoding), XMLUni::fgUTF16EncodingString);
}

// In a document's text that begins with an XML declaration naming an encoding, names UTF-8 instead.
void DeclareUtf8(std::u16string* pstrText) {
  if (pstrText->compare(0, 5, u"<?xml") != 0) return;  // no declaration: UTF-8 is what it reads as
  const size_t nEnd = pstrText->find(u"?>");
  const size_t nName = pstrText->find(u"encoding", 5);
  if (nEnd == std::u16string::npos || nName == std::u16string::npos || nName > nEnd) return;
  const size_t nQuote = pstrText->find_first_of(u"\"'", nName);
  if (nQuote == std::u16string::npos || nQuote > nEnd) return;
  const size_t nClose = pstrText->find((*pstrText)[nQuote], nQuote + 1);
  if (nClose == std::u16string::npos || nClose > nEnd) return;
  pstrText->replace(nQuote + 1, nClose - nQuote - 1, u"UTF-8");
}

// Where what a save keeps of the section's content begins, in the file's bytes: after the element child
// before the `nKeepFrom`-th, or `nNone` when no child is kept.
size_t KeptFrom(const XmlSectionBytes& section, size_t nKeepFrom, size_t nNone) {
  if (nKeepFrom >= section.childEnds.size()) return nNone;
  return nKeepFrom == 0 ? section.nOpenEnd : section.childEnds[nKeepFrom - 1];
}

}  // namespace

// A new file: its bytes, and where the section's start and end tags must end in them.
struct XmlDocContext::Splice {
  std::string bytes;
  size_t nOpenEnd = 0;
  size_t nCloseEnd = 0;
};

size_t XmlDocContext::MakeCarriable(std::u16string* pstrText) const {
  size_t nReplaced = 0;
  for (size_t i = 0; i < pstrText->size(); ++i) {
    if (!IsUncarried(*pstrText, i, m_bXml11)) continue;
    (*pstrText)[i] = u'\uFFFD';
    ++nReplaced;
  }
  return nReplaced;
}

bool XmlDocContext::NormaliseAsDeclared(const char16_t* lpName, std::u16string* pstrValue) const {
  if (m_facts.tokenizedMessageAttributes.count(lpName) == 0) return false;
  // The parser takes for a space every white-space character the value holds, as a reference too.
  std::u16string strFolded;
  for (char16_t unit : *pstrValue) {
    if (IsWhiteSpace(unit, m_bXml11)) {
      if (!strFolded.empty() && strFolded.back() != u' ') strFolded.push_back(u' ');
    } else {
      strFolded.push_back(unit);
    }
  }
  if (!strFolded.empty() && strFolded.back() == u' ') strFolded.pop_back();
  if (strFolded == *pstrValue) return false;
  pstrValue->swap(strFolded);
  return true;
}

void XmlDocContext::AppendElementText(std::u16string* pstrMarkup, const char16_t* lpName,
                                      const XmlAttributes& attributes) const {
  pstrMarkup->append(u"<").append(lpName);
  for (const auto& attribute : attributes) {
    pstrMarkup->append(u" ").append(attribute.first).append(u"=\"");
    const std::u16string_view value = attribute.second;
    size_t nRun = 0;  // where the units that stand as they are, not yet appended, begin
    for (size_t i = 0; i < value.size(); ++i) {
      const char16_t unit = value[i];
      if (unit != u'&' && unit != u'<' && unit != u'"' && !NeedsReference(unit, m_bXml11)) continue;
      pstrMarkup->append(value.substr(nRun, i - nRun));
      nRun = i + 1;
      if (unit == u'&') {
        pstrMarkup->append(u"&amp;");
      } else if (unit == u'<') {
        pstrMarkup->append(u"&lt;");
      } else if (unit == u'"') {
        pstrMarkup->append(u"&quot;");
      } else {
        AppendCharReference(unit, pstrMarkup);
      }
    }
    pstrMarkup->append(value.substr(nRun));
    pstrMarkup->push_back(u'"');
  }
  pstrMarkup->append(u"/>");
}

std::vector<std::u16string> XmlDocContext::UndeclaredReferences(size_t nKeepFrom) const {
  std::vector<std::u16string> refs;
  const XmlSectionBytes& section = m_facts.section;
  if (!section.bFound || section.bEmptyTag || !m_facts.bSkipsUnknownEntities) return refs;
  const size_t nEnd = KeptFrom(section, nKeepFrom, section.nCloseEnd);
  DecodedBytes content;
  if (!DecodeBytes(std::string_view(m_fileBytes).substr(section.nOpenEnd, nEnd - section.nOpenEnd),
                   X(m_facts.strEncoding), &content)) {
    return refs;
  }
  // A reference is an ampersand outside comments, CDATA sections and processing instructions.
  const std::u16string& text = content.text;
  static const std::pair<std::u16string_view, std::u16string_view> kSkipped[] = {
      {u"<!--", u"-->"}, {u"<![CDATA[", u"]]>"}, {u"<?", u"?>"}};
  for (size_t i = 0; i < text.size(); ++i) {
    for (const auto& skipped : kSkipped) {
      if (text.compare(i, skipped.first.size(), skipped.first) != 0) continue;
      const size_t nClose = text.find(skipped.second, i + skipped.first.size());
      i = nClose == std::u16string::npos ? text.size() : nClose + skipped.second.size();
      break;
    }
    if (i >= text.size() || text[i] != u'&' || (i + 1 < text.size() && text[i + 1] == u'#')) continue;
    const size_t nSemicolon = text.find(u';', i);
    if (nSemicolon == std::u16string::npos) break;
    const std::u16string strName = text.substr(i + 1, nSemicolon - i - 1);
    static const std::u16string_view kPredefined[] = {u"amp", u"lt", u"gt", u"quot", u"apos"};
    bool bKnown = m_facts.generalEntities.count(strName) != 0;
    for (std::u16string_view predefined : kPredefined) bKnown = bKnown || strName == predefined;
    const std::u16string strRef = u"&" + strName + u";";
    if (!bKnown && std::find(refs.begin(), refs.end(), strRef) == refs.end()) refs.push_back(strRef);
    i = nSemicolon;
  }
  return refs;
}

// The splice in the file's own encoding: its bytes before and after the section's content as they stand.
bool XmlDocContext::SpliceInEncoding(std::u16string_view markup, size_t nKeepFrom, Splice* pSplice) const {
  const XmlSectionBytes& section = m_facts.section;
  const XMLCh* encoding = X(m_facts.strEncoding);
  const std::string_view file(m_fileBytes);
  std::string strMarkup;
  if (!EncodeText(markup, encoding, &strMarkup)) return false;
  if (section.bEmptyTag && markup.empty()) {
    // Nothing to write into an empty-element tag: the file stays as it is.
    pSplice->bytes.assign(file);
    pSplice->nOpenEnd = pSplice->nCloseEnd = section.nOpenEnd;
    return true;
  }
  if (section.bEmptyTag) {
    // <DynamicMsg .../> becomes <DynamicMsg ...>markup</DynamicMsg>.
    std::string strEmptyEnd, strOpenEnd, strEndTag;
    if (!EncodeText(u"/>", encoding, &strEmptyEnd) || !EncodeText(u">", encoding, &strOpenEnd) ||
        !EncodeText(u"</" + section.strName + u">", encoding, &strEndTag) ||
        section.nOpenEnd < strEmptyEnd.size() ||
        file.substr(section.nOpenEnd - strEmptyEnd.size(), strEmptyEnd.size()) != strEmptyEnd) {
      return false;
    }
    pSplice->bytes.assign(file.substr(0, section.nOpenEnd - strEmptyEnd.size())).append(strOpenEnd);
    pSplice->nOpenEnd = pSplice->bytes.size();
    pSplice->bytes.append(strMarkup).append(strEndTag);
    pSplice->nCloseEnd = pSplice->bytes.size();
    pSplice->bytes.append(file.substr(section.nOpenEnd));
    return true;
  }
  // The end tag begins at the last '<' before its end, after the last message.
  const size_t nFrom = section.childEnds.empty() ? section.nOpenEnd : section.childEnds.back();
  DecodedBytes tail;
  if (!DecodeBytes(file.substr(nFrom, section.nCloseEnd - nFrom), encoding, &tail)) return false;
  const size_t nLast = tail.text.rfind(u'<');
  if (nLast == std::u16string::npos) return false;
  const size_t nEndTag = nFrom + tail.OffsetOf(nLast);
  const size_t nKept = KeptFrom(section, nKeepFrom, nEndTag);
  pSplice->bytes.assign(file.substr(0, section.nOpenEnd));
  pSplice->nOpenEnd = section.nOpenEnd;
  pSplice->bytes.append(strMarkup).append(file.substr(nKept, nEndTag - nKept));
  pSplice->nCloseEnd = pSplice->bytes.size() + (section.nCloseEnd - nEndTag);
  pSplice->bytes.append(file.substr(nEndTag));
  return true;
}

// The same splice made in the file's text, which is written whole as UTF-8.
bool XmlDocContext::SpliceAsUtf8(std::u16string_view markup, size_t nKeepFrom, Splice* pSplice) const {
  const XmlSectionBytes& section = m_facts.section;
  const std::string_view bytes(m_fileBytes);
  const size_t nMark = ByteOrderMarkSize(bytes);
  // The parser reads an XML declaration in ASCII before it knows the encoding the declaration names: one
  // written in ASCII stays as it stands, unit for byte (bytes that encoding would not decode included),
  // and what follows is decoded in the file's encoding.
  size_t nFrom = nMark;
  if (bytes.compare(nMark, 5, "<?xml") == 0) {
    const size_t nEnd = bytes.find("?>", nMark);
    if (nEnd != std::string_view::npos &&
        std::all_of(bytes.begin() + nMark, bytes.begin() + nEnd, [](char c) { return (c & 0x80) == 0; })) {
      nFrom = nEnd + 2;
    }
  }
  DecodedBytes file;
  if (section.nOpenEnd < nFrom || !DecodeBytes(bytes.substr(nFrom), X(m_facts.strEncoding), &file)) {
    return false;
  }
  const std::u16string text = std::u16string(bytes.begin() + nMark, bytes.begin() + nFrom) + file.text;
  auto unitAt = [&](size_t nOffset) {
    const size_t nUnit = file.UnitAt(nOffset - nFrom);
    return nUnit == DecodedBytes::npos ? nUnit : nFrom - nMark + nUnit;
  };
  const size_t nOpenEnd = unitAt(section.nOpenEnd);
  const size_t nCloseEnd = unitAt(section.nCloseEnd);
  if (nOpenEnd == DecodedBytes::npos || nCloseEnd == DecodedBytes::npos) return false;
  std::u16string strHead, strMiddle(markup), strEndTag, strTail;
  if (section.bEmptyTag && markup.empty()) {
    strHead = text.substr(0, nOpenEnd);
    strTail = text.substr(nOpenEnd);
  } else if (section.bEmptyTag) {
    if (nOpenEnd < 2 || text.compare(nOpenEnd - 2, 2, u"/>") != 0) return false;
    strHead = text.substr(0, nOpenEnd - 2) + u">";
    strEndTag = u"</" + section.strName + u">";
    strTail = text.substr(nOpenEnd);
  } else {
    const size_t nEndTag = nCloseEnd == 0 ? std::u16string::npos : text.rfind(u'<', nCloseEnd - 1);
    if (nEndTag == std::u16string::npos || nEndTag < nOpenEnd) return false;
    size_t nKept = nEndTag;
    if (nKeepFrom < section.childEnds.size()) {
      nKept = unitAt(KeptFrom(section, nKeepFrom, 0));
      if (nKept == DecodedBytes::npos || nKept > nEndTag) return false;
    }
    strHead = text.substr(0, nOpenEnd);
    strMiddle.append(text, nKept, nEndTag - nKept);
    strEndTag = text.substr(nEndTag, nCloseEnd - nEndTag);
    strTail = text.substr(nCloseEnd);
  }
  DeclareUtf8(&strHead);
  std::string strBytes;
  for (const std::u16string* pPart : {&strHead, &strMiddle, &strEndTag, &strTail}) {
    if (!EncodeText(*pPart, XMLUni::fgUTF8EncodingString, &strBytes)) return false;
    pSplice->bytes.append(strBytes);
    if (pPart == &strHead) pSplice->nOpenEnd = pSplice->bytes.size();
    if (pPart == &strEndTag) pSplice->nCloseEnd = pSplice->bytes.size();
  }
  return true;
}

// Whether the splice loads under the same limits, its section where it was put and holding what `pCheck`
// passes. Nothing outside the section changed, and the section is parsed where it stood: whatever stands
// outside it reads as before.
Status XmlDocContext::ReadsBackAsMeant(const Splice& splice, XmlSectionCheck* pCheck) {
  XmlSectionBytes written;
  pCheck->Begin();
  const Status loads = ParseWritten(splice.bytes, pCheck, &written);
  if (!loads.ok()) {
    std::u16string strWhere;
    if (m_nErrorLine != 0) strWhere = u" (line " + DecimalText(m_nErrorLine) + u")";
    return Status::Failed(u"what was written would not load: " + loads.Text() + strWhere);
  }
  if (!written.bFound || written.nOpenEnd != splice.nOpenEnd || written.nCloseEnd != splice.nCloseEnd)
    return Status::Failed(u"what was written would load differently: DynamicMsg moved");
  if (!pCheck->Passed())
    return Status::Failed(u"what was written would load differently: its messages differ");
  return Status();
}

Status XmlDocContext::SplicedBytes(std::u16string_view markup, size_t nKeepFrom, XmlSectionCheck* pCheck,
                                   Splice* pSplice) {
  if (!m_facts.section.bFound) return Status::Failed(u"where DynamicMsg stands in the file is not known");
  const Status status = SpliceInEncoding(markup, nKeepFrom, pSplice)
                            ? ReadsBackAsMeant(*pSplice, pCheck)
                            : Status::Failed(u"the file's encoding cannot write the messages");
  // An encoding that is not written as it is read (UTF-7), or that a transcoder cannot write, gives way to
  // UTF-8, the declaration with it. When that fails too, the first reason is the one told.
  if (!status.ok() && !IsUtf8OrUtf16(m_facts.strEncoding)) {
    *pSplice = Splice();
    if (SpliceAsUtf8(markup, nKeepFrom, pSplice) && ReadsBackAsMeant(*pSplice, pCheck).ok()) return Status();
  }
  return status;
}

Status XmlDocContext::SaveSection(const std::u16string& strPath, std::u16string_view markup, size_t nKeepFrom,
                                  XmlSectionCheck* pCheck) {
  m_saveNotes.clear();
  Splice splice;
  Status status = SplicedBytes(markup, nKeepFrom, pCheck, &splice);
  if (status.ok()) status = platform::ReplaceFileContents(strPath, splice.bytes, &m_saveNotes);
  return status;
}

Status XmlDocContext::CheckSection(std::u16string_view markup, size_t nKeepFrom, XmlSectionCheck* pCheck) {
  m_saveNotes.clear();
  Splice splice;
  return SplicedBytes(markup, nKeepFrom, pCheck, &splice);
}

}  // namespace tidings
