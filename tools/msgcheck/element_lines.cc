// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "element_lines.h"

namespace tidings {
namespace msgcheck {

using namespace xercesc;

bool CElementLines::Attach(XmlDocContext* pDocument) {
  m_lines.clear();
  m_pLocator = pDocument->SetParserFilter(this);
  return m_pLocator != nullptr;
}

uint64_t CElementLines::LineOf(const DOMNode* pNode) const {
  const auto found = m_lines.find(pNode);
  return found == m_lines.end() ? 0 : found->second;
}

DOMLSParserFilter::FilterAction CElementLines::startElement(DOMElement* pElement) {
  // The scanner has just read the start tag; inside an entity the line is the one of its reference.
  m_lines[pElement] = static_cast<uint64_t>(m_pLocator->getLineNumber());
  return FILTER_ACCEPT;
}

DOMLSParserFilter::FilterAction CElementLines::acceptNode(DOMNode* /*pNode*/) { return FILTER_ACCEPT; }

// No node is shown to acceptNode; startElement sees every element whatever this says.
DOMNodeFilter::ShowType CElementLines::getWhatToShow() const { return 0; }

}  // namespace msgcheck
}  // namespace tidings
