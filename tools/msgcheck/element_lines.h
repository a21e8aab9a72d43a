// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Where each element of a message file stands, noted while the library's parser reads it.

#ifndef TIDINGS_TOOLS_MSGCHECK_ELEMENT_LINES_H_
#define TIDINGS_TOOLS_MSGCHECK_ELEMENT_LINES_H_

#include <cstdint>
#include <unordered_map>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/dom/DOMLSParserFilter.hpp>
#include <xercesc/sax/Locator.hpp>

#include "persist/xml_doc.h"

namespace tidings {
namespace msgcheck {

// Line and column in a file, each from 1; 0 when unknown.
struct Place {
  uint64_t nLine = 0;
  uint64_t nColumn = 0;
};

// A parser filter that notes for each element the line and column in the file just after its start tag.
// It accepts every node, so the document comes out exactly as the library gets it.
class CElementLines : public xercesc::DOMLSParserFilter {
 public:
  CElementLines() = default;
  CElementLines(const CElementLines&) = delete;
  CElementLines& operator=(const CElementLines&) = delete;

  // Installs the filter on the parser of `pDocument`. False, and no line is ever known, when the parser
  // does not tell its position. The filter must outlive the parser's last parse.
  bool Attach(XmlDocContext* pDocument);

  // Where the start tag of `pNode` ends in the last file parsed; inside an entity, where its reference
  // ends. Nothing known for a node that is no element.
  Place PlaceOf(const xercesc::DOMNode* pNode) const;

  FilterAction startElement(xercesc::DOMElement* pElement) override;
  FilterAction acceptNode(xercesc::DOMNode* pNode) override;
  xercesc::DOMNodeFilter::ShowType getWhatToShow() const override;

 private:
  const xercesc::Locator* m_pLocator = nullptr;
  std::unordered_map<const xercesc::DOMNode*, Place> m_places;
};

}  // namespace msgcheck
}  // namespace tidings

#endif  // TIDINGS_TOOLS_MSGCHECK_ELEMENT_LINES_H_
