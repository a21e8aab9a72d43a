// The small XML layer under the message file, on Xerces-C's DOM load-and-save interface. The message
// file is read from and written to memory here; the platform layer does the file I/O, so paths with any
// characters work and a save replaces the file in one step.

#ifndef TIDINGS_PERSIST_XML_DOC_H_
#define TIDINGS_PERSIST_XML_DOC_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/util/SecurityManager.hpp>

namespace tidings {

class CMsgFileParser;

enum class XmlLoadMode { kWhole, kWithoutDynamicMessages };

// One message file, for the length of one load or save: the parser, the document it built and the copy a
// save writes. While it lives, Xerces-C is usable, and it releases every Xerces-C object it made before
// it lets go of Xerces-C:
// - Where the build links the process's one shared Xerces-C (Linux), a host that initialised it keeps it
//   as it is; where it is not initialised (a host that never uses it), it is initialised here and
//   terminated again when the object goes.
// - Where the build links a copy of its own into the library (Windows), no host can have initialised that
//   copy, so it is initialised here and terminated when the object goes, every time. Xerces-C counts these
//   calls, so code that links the core and initialises the same copy itself (a tool) keeps it.
// An exception Xerces-C throws holds its memory, so the object is made before a try that catches one,
// and goes after the exception.
class XmlDocContext : private xercesc::DOMErrorHandler, private xercesc::DOMLSResourceResolver {
 public:
  XmlDocContext();
  ~XmlDocContext();
  XmlDocContext(const XmlDocContext&) = delete;
  XmlDocContext& operator=(const XmlDocContext&) = delete;

  // Whether Xerces-C could be had; when it could not, SetLocaleAndCreateParser does nothing.
  bool IsReady() const { return m_bReady; }

  // Sets the process locale (as the message file's texts have always been read), then creates a parser
  // that reports every error, loads nothing from outside the file (no external DTD, no external entity, no
  // network), and limits entity expansion. False when no parser could be made; nothing else is to be
  // called then.
  bool SetLocaleAndCreateParser();

  // Installs `pFilter`, which must outlive the parser's last parse, on the parser (made by
  // SetLocaleAndCreateParser) and returns where the parser is in the file it is parsing, for a tool that
  // reports line numbers. Null, with no filter installed, when the parser cannot tell.
  const xercesc::Locator* SetParserFilter(xercesc::DOMLSParserFilter* pFilter);

  // Parses the file at `strPath` and returns its document element. Null when the file cannot be read, is
  // not well formed (any error at all: a damaged file yields nothing, not the part before the damage),
  // refers to anything outside itself, nests deeper than the library handles, has an element with more
  // attributes than it handles, refers to an entity it does not expand, would build more than a fixed
  // multiple of its size (so that time and memory stay within one too), or has no document element. The
  // document keeps the file's internal DTD subset as its text stands in the file.
  // With kWithoutDynamicMessages the document's DynamicMsg section (as FindChildElement would find it
  // through MsgList) comes out empty: its content is checked like the rest of the file but not built.
  xercesc::DOMElement* LoadXmlFile(const std::u16string& strPath, XmlLoadMode mode = XmlLoadMode::kWhole);
  // The same for a file that holds `bytes`, which need to live only for the call.
  xercesc::DOMElement* LoadXmlBytes(std::string_view bytes, XmlLoadMode mode = XmlLoadMode::kWhole);

  // Makes the deep copy of the document (the document node cloned with all its descendants) that
  // SaveXmlFile writes, and returns its document element: what is appended to the copy from then on is
  // written too.
  xercesc::DOMElement* CopyXmlDocument();

  // Replaces, in *pstrText, every unit that the document cannot carry (for XML 1.0 the control characters
  // other than tab, line feed and carriage return, U+FFFE, U+FFFF and unpaired surrogates; for XML 1.1
  // also U+007F to U+009F and U+2028) with U+FFFD, and returns how many it replaced.
  size_t MakeCarriable(std::u16string* pstrText) const;

  // Serialises the deep copy of the document, made now unless CopyXmlDocument made it before, with the
  // serializer's defaults, checks that the bytes load again into what the copy holds, and replaces the file
  // at `strPath` with them in one step. A document read as UTF-16 is written with a byte-order mark; one
  // whose declared encoding does not load back as written is written as UTF-8, its declaration saying so.
  // In an XML 1.1 document every unit MakeCarriable would replace is written as U+FFFD (UnitsReplaced
  // counts them). False, with the reason in Error() and the file untouched, when the serializer, the check
  // or the write fails; true, with SaveNotes() as the file layer gave them (platform::ReplaceFileContents),
  // when the file holds the new bytes. The check parses with the same parser, which releases the parsed
  // document: what LoadXmlFile returned is not to be used afterwards.
  bool SaveXmlFile(const std::u16string& strPath);
  // Every step of SaveXmlFile short of the file's replacement: whether a save would come that far, and
  // when it would not, why, in Error().
  bool CheckXmlSave();

  // Why the last step failed, for the trace; empty when nothing failed. A file the parser refused on
  // purpose (see LoadXmlFile) is said to be "refused: ", with what it refused and the limit it reached.
  const std::u16string& Error() const { return m_strError; }
  // Where in the file the last load failed, line and column from 1, as the parser told; 0 when it did not.
  uint64_t ErrorLine() const { return m_nErrorLine; }
  uint64_t ErrorColumn() const { return m_nErrorColumn; }
  // Units that the last SaveXmlFile wrote as U+FFFD, outside what MakeCarriable had made carriable.
  size_t UnitsReplaced() const { return m_nUnitsReplaced; }
  // What the last save that succeeded did beyond a plain replacement of the file, for the trace.
  const std::vector<std::u16string>& SaveNotes() const { return m_saveNotes; }

 private:
  // The parser's: counts the errors, the first one's text saying why a file was refused; answers every
  // request for an outside resource (external entity, DTD, schema) with nothing, and counts them too.
  bool handleError(const xercesc::DOMError& error) override;
  xercesc::DOMLSInput* resolveResource(const XMLCh* resourceType, const XMLCh* namespaceUri,
                                       const XMLCh* publicId, const XMLCh* systemId,
                                       const XMLCh* baseURI) override;
  xercesc::DOMElement* ParseXmlBytes(std::string_view bytes, XmlLoadMode mode);
  std::u16string RefusalText(size_t nBytes) const;
  // The bytes SaveXmlFile writes, checked; false, with the reason in m_strError, when there are none.
  bool SavedBytes(std::string* pBytes);
  bool ReadsBackAs(std::string_view bytes, const xercesc::DOMDocument* pWritten);

  bool m_bReady = false;
  bool m_bInitializedHere = false;

  xercesc::DOMDocument* m_pDocument = nullptr;  // owned by the parser
  // The deep copy of the document that SaveXmlFile writes, once made; owned here.
  xercesc::DOMDocument* m_pCopy = nullptr;
  CMsgFileParser* m_pParser = nullptr;
  xercesc::DOMImplementationLS* m_pImplementation = nullptr;  // process-wide; never released

  std::u16string m_strError;
  uint64_t m_nErrorLine = 0;
  uint64_t m_nErrorColumn = 0;
  size_t m_nUnitsReplaced = 0;
  std::vector<std::u16string> m_saveNotes;

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

// Appends a new element `lpName` with these attributes, set in this order, as the last child of
// `pParent`, in the document of `pParent`.
using XmlAttributes = std::vector<std::pair<const char16_t*, std::u16string>>;
xercesc::DOMElement* AppendElement(xercesc::DOMElement* pParent, const char16_t* lpName,
                                   const XmlAttributes& attributes);

}  // namespace tidings

#endif  // TIDINGS_PERSIST_XML_DOC_H_
