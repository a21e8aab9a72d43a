// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The small XML layer under the message file, on Xerces-C's DOM load-and-save interface. The message
// file is read from and written to memory here; the platform layer does the file I/O, so paths with any
// characters work and a save replaces the file in one step.

#ifndef TIDINGS_PERSIST_XML_DOC_H_
#define TIDINGS_PERSIST_XML_DOC_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include "platform/status.h"

namespace tidings {

class CMsgFileParser;

// Where the section that a save rewrites stands in the bytes of a parsed file: the first DynamicMsg child
// of the first MsgList child of the document element, as FindChildElement finds them. Offsets count from
// the first byte of the file, a byte-order mark included.
struct XmlSectionBytes {
  bool bInDocument = false;       // the section is there
  bool bFound = false;            // the section is there, and where it stands is known
  bool bEmptyTag = false;         // written as an empty-element tag
  size_t nOpenEnd = 0;            // just after its start tag
  size_t nCloseEnd = 0;           // just after its end tag (nOpenEnd for an empty-element tag)
  std::vector<size_t> childEnds;  // just after each of its element children, in order
  std::u16string strName;         // its name as the file spells it
};

// What a parse learnt of a file beside its document, for a save.
struct XmlParsedFacts {
  XmlSectionBytes section;
  std::u16string strEncoding;  // the encoding the file was read in, byte order included
  // The attributes the file's DTD declares for Message with a tokenized type (ID to NOTATION, not an
  // enumeration), whose values the parser normalises (spaces trimmed and folded).
  std::unordered_set<std::u16string> tokenizedMessageAttributes;
  std::unordered_set<std::u16string> generalEntities;  // the general entities the file declares
  // The file has a DTD the parser does not read whole (an external subset, parameter entities), and is
  // not standalone: the parser then skips references to entities it does not know, rather than fail.
  bool bSkipsUnknownEntities = false;
  bool bMsgList = false;  // the document element has a MsgList child
  // Every element name compared with a section's name was ASCII, so that the sections found do not
  // depend on the locale (ASCII letters fold alike in every one).
  bool bNamesAscii = true;
};

// What the parse of a file learnt, with a fingerprint of the file's bytes: a save that finds the same
// bytes needs no parse of them to know where to write. A load leaves one for the save.
struct XmlFileMemo {
  size_t nSize = 0;
  uint64_t nHash = 0;  // 64 bits on every platform: a size_t hash is 32 on win32
  XmlParsedFacts facts;
  bool bXml11 = false;
};

// An element's attributes, in order: names and values.
using XmlAttributes = std::initializer_list<std::pair<const char16_t*, std::u16string_view>>;

// The attributes of one element as a parse delivers them, given and defaulted: what a load finds on the
// element it builds.
class XmlAttributeSource {
 public:
  // Empties *pstrValue, then fills it with the value of the attribute named exactly `lpName`. False when
  // the element has no such attribute.
  virtual bool GetText(const char16_t* lpName, std::u16string* pstrValue) const = 0;

 protected:
  ~XmlAttributeSource() = default;
};

// Told of each element child of a section (DefaultMsg or DynamicMsg) as the parser reads it, without a
// document built.
class XmlSectionReader {
 public:
  // Each element child of the section, in order.
  virtual void Child(const XmlAttributeSource& attributes) = 0;

 protected:
  ~XmlSectionReader() = default;
};

// What a save checks of the section in the bytes it means to write.
class XmlSectionCheck : public XmlSectionReader {
 public:
  // Before each parse of the bytes.
  virtual void Begin() = 0;
  // After a parse that read the whole of the bytes: whether the children were those meant.
  virtual bool Passed() const = 0;

 protected:
  ~XmlSectionCheck() = default;
};

// One message file, for the length of one load or save: the parser, the document it built, and the bytes
// a save splices its section into. While it lives, Xerces-C is usable (persist/xml_library.h says how),
// and it releases every Xerces-C object it made before it lets go of Xerces-C.
// An exception Xerces-C throws holds its memory, so the object is made before a try that catches one,
// and goes after the exception.
class XmlDocContext : private xercesc::DOMErrorHandler, private xercesc::DOMLSResourceResolver {
 public:
  XmlDocContext();
  ~XmlDocContext();
  XmlDocContext(const XmlDocContext&) = delete;
  XmlDocContext& operator=(const XmlDocContext&) = delete;

  // Whether Xerces-C could be had; when it could not, CreateParser does nothing.
  bool IsReady() const { return m_bReady; }

  // Creates a parser that reports every error, loads nothing from outside the file (no external DTD, no
  // external entity, no network), and limits entity expansion. NotFound without Xerces-C, Failed when no
  // parser could be made; nothing else is to be called then.
  Status CreateParser();

  // Installs `pFilter`, which must outlive the parser's last parse, on the parser (made by
  // CreateParser) and returns where the parser is in the file it is parsing, for a tool that
  // reports line numbers. Null, with no filter installed, when the parser cannot tell.
  const xercesc::Locator* SetParserFilter(xercesc::DOMLSParserFilter* pFilter);

  // Parses the file at `strPath` and sets *ppRoot to its document element, null when it fails. Failed,
  // with the reason, when the file cannot be read, is not well formed (any error at all: a damaged file
  // yields nothing, not the part before the damage), refers to anything outside itself, nests deeper than
  // the library handles, has an element with more attributes than it handles, refers to an entity it does
  // not expand, would build more than a fixed multiple of its size (so that time and memory stay within
  // one too), or has no document element. A file the parser refused on purpose is said to be "refused: ",
  // with what it refused and the limit it reached.
  Status LoadXmlFile(const std::u16string& strPath, xercesc::DOMElement** ppRoot);
  // The same for a file that holds `bytes`, which need to live only for the call.
  Status LoadXmlBytes(std::string_view bytes, xercesc::DOMElement** ppRoot);

  // LoadXmlFile, refusing the file for the same faults, but building no document: `pDefaults` and
  // `pDynamics` are told of the element children of DefaultMsg and DynamicMsg (those FindChildElement finds
  // through MsgList) as the parser reads them, so that a load holds the file's bytes and the messages read,
  // not a document. NotFound when the file has no MsgList.
  Status ReadXmlSections(const std::u16string& strPath, XmlSectionReader* pDefaults,
                         XmlSectionReader* pDynamics);

  // What the parse of the file LoadXmlFile or ReadXmlSections read last learnt of it, for a later ScanXmlFile
  // of the same file; null when the parse failed, or when what it learnt may depend on the locale.
  std::shared_ptr<const XmlFileMemo> Memo() const;

  // ---- Saving: what follows works on the file ScanXmlFile, ScanXmlBytes, LoadXmlFile or LoadXmlBytes
  // read last.

  // LoadXmlFile, refusing the file for the same faults, but building no document: a save needs only what
  // the parse learns of the file. A memo (`pMemo`, may be null) of the bytes the file holds now stands for
  // the parse: the same bytes parse alike.
  Status ScanXmlFile(const std::u16string& strPath, const XmlFileMemo* pMemo = nullptr);
  // The same for a file that holds `bytes`, which need to live only for the call.
  Status ScanXmlBytes(std::string_view bytes);

  // Whether the file has the section a save rewrites (see XmlSectionBytes).
  bool HasSection() const { return m_facts.section.bInDocument; }

  // Replaces, in *pstrText, every unit that the document cannot carry with U+FFFD, and returns how many it
  // replaced: U+FFFE, U+FFFF and unpaired surrogates, and in an XML 1.0 document also the control
  // characters other than tab, line feed and carriage return (XML 1.1 carries them as references).
  size_t MakeCarriable(std::u16string* pstrText) const;

  // Does to *pstrValue what the parser does to the value of attribute `lpName` of a Message element where
  // the file's DTD declares it of a tokenized type: trims white space and folds each run of it into
  // one space (Xerces-C does so to white space written as references too). Whether it changed the value.
  bool NormaliseAsDeclared(const char16_t* lpName, std::u16string* pstrValue) const;

  // Appends to *pstrMarkup an empty element `lpName` with these attributes in this order, each value
  // written so that it reads back as it is once MakeCarriable has been applied.
  void AppendElementText(std::u16string* pstrMarkup, const char16_t* lpName,
                         const XmlAttributes& attributes) const;

  // The element children of the section (see XmlSectionBytes) in the file.
  size_t SectionChildren() const { return m_facts.section.childEnds.size(); }

  // The references to entities the file does not declare, which the parser skipped, in the part of the
  // section that SaveSection with `nKeepFrom` replaces: each "&name;" once, in the order they stand.
  std::vector<std::u16string> UndeclaredReferences(size_t nKeepFrom) const;

  // Replaces the section's content with `markup`, followed by its content from the end of its
  // `nKeepFrom`-th element child on as the file has it (none of it when nKeepFrom >= SectionChildren()),
  // and leaves every other byte of the file as it stands. The markup is written in the file's encoding,
  // characters it has no bytes for as references. The bytes replace the file at `strPath` in one step once
  // they load again under the same limits, with the section where it was put (so that everything outside
  // it reads as before), and `pCheck` passes the section's children as the parser reads them. Where the
  // file's own encoding cannot write the markup, or the bytes do not pass, a file in an encoding other
  // than UTF-8 and UTF-16 is written whole as UTF-8, its declaration saying so, and checked alike.
  // Failed, with the file untouched, when nothing passes or the write fails; ok, with SaveNotes() as the
  // file layer gave them (platform::ReplaceFileContents), when the file holds the new bytes. The check
  // parses with the same parser, building no document, and releases every document parsed before, unless
  // the bytes are those of a file LoadXmlFile or LoadXmlBytes read: that document is theirs, and `pCheck`
  // is told of its section's children.
  Status SaveSection(const std::u16string& strPath, std::u16string_view markup, size_t nKeepFrom,
                     XmlSectionCheck* pCheck);
  // Every step of SaveSection short of the file's replacement: whether a save would come that far.
  Status CheckSection(std::u16string_view markup, size_t nKeepFrom, XmlSectionCheck* pCheck);

  // Where in the file the last load failed, line and column from 1, as the parser told; 0 when it did not.
  uint64_t ErrorLine() const { return m_nErrorLine; }
  uint64_t ErrorColumn() const { return m_nErrorColumn; }
  // What the last save that succeeded did beyond a plain replacement of the file, for the trace.
  const std::vector<std::u16string>& SaveNotes() const { return m_saveNotes; }

 private:
  // The parser's: counts the errors, the first one's text saying why a file was refused; answers every
  // request for an outside resource (external entity, DTD, schema) with nothing, and counts them too.
  bool handleError(const xercesc::DOMError& error) override;
  xercesc::DOMLSInput* resolveResource(const XMLCh* resourceType, const XMLCh* namespaceUri,
                                       const XMLCh* publicId, const XMLCh* systemId,
                                       const XMLCh* baseURI) override;
  // Parses `bytes` (which must outlive what the parse returns) as a load does into m_pDocument, which is
  // empty unless `bBuild` (the parser still tells `pCheck`, if given, of the section's children), and null
  // when the parse fails. `pDefaults` (may be null) is told of DefaultMsg's children alike.
  Status ParseXmlBytes(std::string_view bytes, bool bBuild, XmlSectionReader* pCheck,
                       XmlSectionReader* pDefaults = nullptr);
  // Reads the file at `strPath` into m_fileBytes.
  Status ReadXmlFile(const std::u16string& strPath);
  // Parses m_fileBytes and notes what the parse learnt; the readers as ParseXmlBytes has them.
  Status ParseFileBytes(bool bBuild, XmlSectionReader* pDynamics = nullptr,
                        XmlSectionReader* pDefaults = nullptr);
  std::u16string RefusalText(size_t nBytes) const;
  // Parses whole what a save means to write, building nothing, after releasing every document parsed
  // before; sets *pSection to where the section stands in `bytes`. Bytes that are those of the file
  // loaded whole are not parsed again: the document loaded is theirs.
  Status ParseWritten(std::string_view bytes, XmlSectionCheck* pCheck, XmlSectionBytes* pSection);
  struct Splice;
  bool SpliceInEncoding(std::u16string_view markup, size_t nKeepFrom, Splice* pSplice) const;
  bool SpliceAsUtf8(std::u16string_view markup, size_t nKeepFrom, Splice* pSplice) const;
  Status ReadsBackAsMeant(const Splice& splice, XmlSectionCheck* pCheck);
  // The bytes SaveSection writes, checked.
  Status SplicedBytes(std::u16string_view markup, size_t nKeepFrom, XmlSectionCheck* pCheck, Splice* pSplice);

  bool m_bReady = false;
  bool m_bInitializedHere = false;

  xercesc::DOMDocument* m_pDocument = nullptr;  // owned by the parser
  CMsgFileParser* m_pParser = nullptr;
  xercesc::DOMImplementationLS* m_pImplementation = nullptr;  // process-wide; never released

  uint64_t m_nErrorLine = 0;
  uint64_t m_nErrorColumn = 0;
  std::vector<std::u16string> m_saveNotes;

  // The file read last: its bytes, what the parse learnt of them, and its XML version.
  std::string m_fileBytes;
  XmlParsedFacts m_facts;
  bool m_bXml11 = false;
  bool m_bFileParsedWhole = false;  // m_pDocument is the file's, built whole

  // What the parser reported of the file it parsed last.
  size_t m_nErrors = 0;
  std::u16string m_strFirstError;
  uint64_t m_nFirstErrorLine = 0;
  uint64_t m_nFirstErrorColumn = 0;
  size_t m_nRequests = 0;  // for outside resources
  std::u16string m_strFirstRequest;
  uint64_t m_nFirstRequestLine = 0;
  uint64_t m_nFirstRequestColumn = 0;
  xercesc::SecurityManager m_security;  // holds no memory of Xerces-C's
};

// The first element child of `pParent` (which may be null) whose name equals `lpName` without regard to
// case; null when there is none.
xercesc::DOMElement* FindChildElement(xercesc::DOMNode* pParent, const char16_t* lpName);

// Empties *pstrValue, then fills it with the value of the attribute named exactly `lpName`. False when
// the element is null or has no such attribute.
bool GetAttributeText(xercesc::DOMElement* pElement, const char16_t* lpName, std::u16string* pstrValue);

// The attributes of an element of a built document.
class ElementAttributes final : public XmlAttributeSource {
 public:
  explicit ElementAttributes(xercesc::DOMElement* pElement) : m_pElement(pElement) {}
  bool GetText(const char16_t* lpName, std::u16string* pstrValue) const override {
    return GetAttributeText(m_pElement, lpName, pstrValue);
  }

 private:
  xercesc::DOMElement* m_pElement;
};

}  // namespace tidings

#endif  // TIDINGS_PERSIST_XML_DOC_H_
