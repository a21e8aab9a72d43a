// Loading and saving the message file.
//
// The file holds a document element of any name with a MsgList child, which holds a DefaultMsg and a
// DynamicMsg section; every element child of a section is a message, its fields in six attributes.
// Loading appends the messages of both sections to the two lists; saving rewrites DynamicMsg from the
// dynamic list and leaves everything else in the file as the parser delivered it.

#include <utility>
#include <vector>

#include "persist/msg_file.h"
#include "persist/number_text.h"
#include "persist/xml_doc.h"

namespace tidings {

using xercesc::DOMElement;
using xercesc::DOMNode;

std::vector<_Message_Item> ReadMessageList(DOMElement* pSection, int64_t* pnCounter) {
  std::vector<_Message_Item> items;
  _Message_Item item;
  item.ShowType = 0;
  std::u16string strNumber;
  // From sibling to sibling: a node list's item(i) walks from the first child every time.
  for (DOMNode* pChild = pSection->getFirstChild(); pChild != nullptr; pChild = pChild->getNextSibling()) {
    if (pChild->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    if (*pnCounter > kMaxMsgID || *pnCounter < INT32_MIN) break;
    DOMElement* pMessage = static_cast<DOMElement*>(pChild);
    GetAttributeText(pMessage, u"MsgSpan", &item.strMsgSpan);
    GetAttributeText(pMessage, u"MsgName", &item.strMsgName);
    GetAttributeText(pMessage, u"MsgSInfo", &item.strMsgSInfo);
    GetAttributeText(pMessage, u"MsgEchoPath", &item.strMsgEchoPath);
    GetAttributeText(pMessage, u"ShowType", &strNumber);
    ParseNumberText(strNumber, &item.ShowType);
    item.dwPopShowTimeout = -1;
    GetAttributeText(pMessage, u"ShowTime", &strNumber);
    ParseNumberText(strNumber, &item.dwPopShowTimeout);
    item.bSaveAfterClose = 1;
    item.bHasPopup = 0;
    item.dwMsgID = static_cast<int32_t>(*pnCounter);
    *pnCounter += *pnCounter < 0 ? -1 : 1;
    items.push_back(item);
  }
  return items;
}

}  // namespace tidings
