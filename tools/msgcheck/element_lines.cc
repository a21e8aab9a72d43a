#include "element_lines.h"

namespace tidings {
namespace msgcheck {

using namespace xercesc;

bool CElementLines::Attach(XmlDocContext* pContext) {
  m_lines.clear();
  m_pLocator = XmlParserLocator(pContext);
  if (m_pLocator == nullptr) return false;
  DOMLSParser* pParser = pContext->pParser;
  // The parser hands out its filter as const only; it is the library's own object, not a constant.
  m_pInner = const_cast<DOMLSParserFilter*>(pParser->getFilter());
  pParser->setFilter(this);
  return true;
}

uint64_t CElementLines::LineOf(const DOMNode* pNode) const {
  const auto found = m_lines.find(pNode);
  return found == m_lines.end() ? 0 : found->second;
}

DOMLSParserFilter::FilterAction CElementLines::startElement(DOMElement* pElement) {
  // The scanner has just read the start tag; inside an entity the line is the one of its reference.
  m_lines[pElement] = static_cast<uint64_t>(m_pLocator->getLineNumber());
  return m_pInner == nullptr ? FILTER_ACCEPT : m_pInner->startElement(pElement);
}

DOMLSParserFilter::FilterAction CElementLines::acceptNode(DOMNode* pNode) {
  return m_pInner == nullptr ? FILTER_ACCEPT : m_pInner->acceptNode(pNode);
}

// startElement is called for every element whatever this says; other nodes only matter to the filter
// handed on to.
DOMNodeFilter::ShowType CElementLines::getWhatToShow() const {
  return m_pInner == nullptr ? 0 : m_pInner->getWhatToShow();
}

}  // namespace msgcheck
}  // namespace tidings
