// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// The line each element of a message file starts on, noted while the library's parser reads it.

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

// A parser filter that notes for each element the line in the file on which its start tag ends. It
// accepts every node, so the document comes out exactly as the library gets it.
class CElementLines : public xercesc::DOMLSParserFilter {
 public:
  CElementLines() = default;
  CElementLines(const CElementLines&) = delete;
  CElementLines& operator=(const CElementLines&) = delete;

  // Installs the filter on the parser of `pDocument`. False, and no line is ever known, when the parser
  // does not tell its position. The filter must outlive the parser's last parse.
  bool Attach(XmlDocContext* pDocument);

  // The line of `pNode` in the last file parsed; 0 when unknown.
  uint64_t LineOf(const xercesc::DOMNode* pNode) const;

  FilterAction startElement(xercesc::DOMElement* pElement) override;
  FilterAction acceptNode(xercesc::DOMNode* pNode) override;
  xercesc::DOMNodeFilter::ShowType getWhatToShow() const override;

 private:
  const xercesc::Locator* m_pLocator = nullptr;
  std::unordered_map<const xercesc::DOMNode*, uint64_t> m_lines;
};

}  // namespace msgcheck
}  // namespace tidings

#endif  // TIDINGS_TOOLS_MSGCHECK_ELEMENT_LINES_H_
