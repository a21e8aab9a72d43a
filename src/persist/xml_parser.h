// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The parser under the message file: Xerces-C's load-and-save parser with additions of its own
// (xml_parser.cc).

// - It counts what the document builds against a budget that grows with the file's size (see
//   kBuiltUnitsPerByte) and stops at the first element with more than kMaxAttributes attributes or the
//   first element type declaring more. It stops before the DOM builds what would go over.
// - It stops at the declaration of an entity whose replacement text is longer than kMaxEntityText, and
//   at that of a parameter entity whose replacement text holds a percent sign (parameter entities
//   referring to others grow as entities do, and the scanner counts none of their expansions), when the
//   file or an entity's text refers to it: before the entity can be expanded. One it never refers to is
//   kept as it is.
// - It stops at the first node nested deeper than kMaxDepth, counting elements, entity references and
//   the text, comments and processing instructions inside them, as the document would nest them. It
//   stops there rather than after the parse: the scanner's work per start tag grows with the depth (it
//   looks up namespace prefixes through every open element), so a file of some hundred thousand nested
//   elements would keep it busy for minutes first.
// - It notes what a save needs of the file (XmlParsedFacts): where the DynamicMsg section (the one
//   FindChildElement finds through MsgList) and its messages end in the file's bytes, the encoding, the
//   attributes the DTD declares for Message with a tokenized type, and the entities it declares.
// - Asked to, it builds no document at all: a save needs only those facts, and it checks what it writes
//   by the messages the parser reads (XmlSectionCheck), which it is told of as they are read; a load
//   likewise reads the messages of both sections as they are read (XmlSectionReader). Building the
//   document cost more than the rest of the save together, and memory some twenty to a hundred times
//   the file's size. The file is still scanned in full and refused for the same faults as ever, the limits
//   included. The section is the one FindChildElement finds: the first element named MsgList (in any
//   case) among the document element's children, and the first element named DynamicMsg among its
//   children, where an entity reference's content is not a child of the element around the reference,
//   just as in the document.

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

// Nodes nested deeper than this make a file unusable: the scanner's work per start tag grows with the
// depth (see CMsgFileParser), and no message file needs more than a handful.
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
