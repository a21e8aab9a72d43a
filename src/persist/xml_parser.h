// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The parser under the message file: Xerces-C's load-and-save parser with additions of its own
// (xml_parser.cc), each limit below with its reason.
// - It stops before the document would build more than its budget (kBuiltUnitsPerByte), at an element
//   with more than kMaxAttributes attributes or an element type declaring more, at the first node nested
//   deeper than kMaxDepth (elements, entity references and what they hold, as the document would nest
//   them), and at the declaration of an entity the file refers to whose replacement text is longer than
//   kMaxEntityText, or of a parameter entity whose text holds a percent sign (those grow as entities do,
//   and the scanner counts none of their expansions). An entity the file never refers to is kept.
// - It notes what a save needs of the file (XmlParsedFacts): where DynamicMsg and its messages end in the
//   file's bytes, the encoding, the attributes the DTD declares for Message with a tokenized type, and
//   the entities it declares.
// - Asked to, it builds no document: it tells the messages of DefaultMsg and DynamicMsg, as it reads
//   them, to a load's readers (XmlSectionReader) or a save's check (XmlSectionCheck). The document cost
//   more than the rest of a save, and twenty to a hundred times the file's size in memory. The file is
//   scanned in full and refused for the same faults either way; the sections are those FindChildElement
//   finds (an entity reference's content is no child of the element around the reference).

#ifndef TIDINGS_PERSIST_XML_PARSER_H_
#define TIDINGS_PERSIST_XML_PARSER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <xercesc/parsers/DOMLSParserImpl.hpp>
#include <xercesc/sax/Locator.hpp>

#include "persist/xml_doc.h"

namespace tidings {

// The limits on what a message file may make the parser do.

// Entity references one document may expand, however they nest: the security manager's limit, which the
// parser's owner sets.
constexpr XMLSize_t kMaxEntityExpansions = 10000;

// Nodes nested deeper than this make a file unusable, and no message file needs more than a handful. The
// parser stops at the first one rather than after the parse: the scanner's work per start tag grows with
// the depth (it looks up namespace prefixes through every open element), so a file of some hundred
// thousand nested elements would keep it busy for minutes first.
constexpr size_t kMaxDepth = 256;

// The longest replacement text of an entity of the document's own that the document may refer to. Every
// expansion inserts one replacement text, and an attribute value is built whole before the parser hears
// of it, so with the cap on expansions this bounds what entities can add to one (some ten million units);
// the cap on expansions alone does not: one long entity, referenced a few thousand times, makes a file of
// a hundred kilobytes expand to gigabytes. An entity the file never refers to costs nothing but its
// declaration and may be as long as it likes.
constexpr XMLSize_t kMaxEntityText = 1024;

// Attributes one element may have, given or defaulted, and attributes one element type may declare: the
// DOM adds each attribute to its element with a search through those it already has, so an element's
// cost grows with the square of its attributes (160,000 of them took minutes).
constexpr XMLSize_t kMaxAttributes = 256;

// What a document may build, counted in text units: every name, value, text, comment and instruction,
// each node as kNodeUnits more, every attribute an element type declares once per element of that type,
// and every declaration of the DTD (a parameter entity's declarations once per reference). A document
// may build kBuiltUnitsPerByte units for every byte of its file, and kBuiltUnitsBase beside: an ordinary
// file builds two to four units a byte, while defaulted attributes and entities can make a small file
// build gigabytes.
constexpr uint64_t kNodeUnits = 8;
constexpr uint64_t kBuiltUnitsPerByte = 16;
constexpr uint64_t kBuiltUnitsBase = uint64_t{1} << 20;

class CMsgFileParser : public xercesc::DOMLSParserImpl {
 public:
  enum class Refusal {
    kNone,
    kEntityTooLong,     // the refusal names the entity
    kEntityPercent,     // it names the parameter entity
    kEntityExpansions,  // the scanner's count went past kMaxEntityExpansions
    kTooManyAttributes,
    kTooManyDeclared,  // attributes declared for one element type
    kTooLarge,
    kTooDeep,
  };

  // A new parser, released with release() as every DOMLSParser is.
  static CMsgFileParser* Create();

  // Before each parse: `bytes` (which must outlive the parse) are the file's; `pCheck` and `pDefaults`
  // (either may be null) are told of the children of DynamicMsg and of DefaultMsg. The document is built
  // only when `bBuild`.
  virtual void Reset(bool bBuild, XmlSectionReader* pCheck, XmlSectionReader* pDefaults,
                     std::string_view bytes) = 0;

  // What the last parse refused, if anything.
  virtual Refusal WhyRefused() const = 0;
  // The entity a refusal names ("&name;" or "%name;"), where it names one.
  virtual const std::u16string& RefusedEntity() const = 0;
  // Where the parse stood when it refused: line and column from 1, or 0 when unknown.
  virtual XMLFileLoc RefusedLine() const = 0;
  virtual XMLFileLoc RefusedColumn() const = 0;
  // The entity ("&name;" or "%name;") declared with this system ID, or empty.
  virtual std::u16string OutsideEntity(const std::u16string& strSystemId) const = 0;
  // What the last parse learnt of the file for a save.
  virtual const XmlParsedFacts& Facts() const = 0;
  // Where the parser is in the file it parses, or null when it cannot tell.
  virtual const xercesc::Locator* ScanLocator() const = 0;

 protected:
  CMsgFileParser();
};

}  // namespace tidings

#endif  // TIDINGS_PERSIST_XML_PARSER_H_
