// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "element_lines.h"

namespace tidings {
namespace msgcheck {

using namespace xercesc;

bool CElementLines::Attach(XmlDocContext* pDocument) {
  m_places.clear();
  m_pLocator = pDocument->SetParserFilter(this);
  return m_pLocator != nullptr;
}

Place CElementLines::PlaceOf(const DOMNode* pNode) const {
  const auto found = m_places.find(pNode);
  return found == m_places.end() ? Place() : found->second;
}

DOMLSParserFilter::FilterAction CElementLines::startElement(DOMElement* pElement) {
  // The scanner has just read the start tag; inside an entity it tells where the reference ends.
  m_places[pElement] = Place{static_cast<uint64_t>(m_pLocator->getLineNumber()),
                             static_cast<uint64_t>(m_pLocator->getColumnNumber())};
  return FILTER_ACCEPT;
}

DOMLSParserFilter::FilterAction CElementLines::acceptNode(DOMNode* /*pNode*/) { return FILTER_ACCEPT; }

// No node is shown to acceptNode; startElement sees every element whatever this says.
DOMNodeFilter::ShowType CElementLines::getWhatToShow() const { return 0; }

}  // namespace msgcheck
}  // namespace tidings
