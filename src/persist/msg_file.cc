// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// Reading and writing the message file. Saving rewrites DynamicMsg from the messages given and leaves
// everything else in the file as the parser delivered it.

#include "persist/msg_file.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "persist/number_text.h"
#include "persist/xml_doc.h"

namespace tidings {

using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

// Reads the six fields of one message into the section's working record *pItem: a ShowType that holds no
// number leaves the one before.
void ReadMessageFields(const XmlAttributeSource& attributes, _Message_Item* pItem,
                       std::u16string* pstrNumber) {
  attributes.GetText(u"MsgSpan", &pItem->strMsgSpan);
  attributes.GetText(u"MsgName", &pItem->strMsgName);
  attributes.GetText(u"MsgSInfo", &pItem->strMsgSInfo);
  attributes.GetText(u"MsgEchoPath", &pItem->strMsgEchoPath);
  attributes.GetText(u"ShowType", pstrNumber);
  ParseNumberText(*pstrNumber, &pItem->ShowType);
  pItem->dwPopShowTimeout = -1;
  attributes.GetText(u"ShowTime", pstrNumber);
  ParseNumberText(*pstrNumber, &pItem->dwPopShowTimeout);
}

// Reads the messages of one section (DefaultMsg or DynamicMsg) as the parser or a document tells of its
// element children, whatever their names. They are numbered from *pnCounter, which moves one step away
// from zero per message. Messages past the last 32-bit ID are not read; *pnKeptBack (if given) counts them.
class SectionReader final : public XmlSectionReader {
 public:
  SectionReader(int64_t* pnCounter, size_t* pnKeptBack, std::vector<_Message_Item>* pItems)
      : m_pnCounter(pnCounter), m_pnKeptBack(pnKeptBack), m_pItems(pItems) {
    m_item.ShowType = 0;
  }

  void Child(const XmlAttributeSource& attributes) override {
    if (m_bFull) return;
    if (*m_pnCounter > kMaxMsgID || *m_pnCounter < INT32_MIN) {
      if (m_pnKeptBack == nullptr) {
        m_bFull = true;
      } else {
        ++*m_pnKeptBack;
      }
      return;
    }
    ReadMessageFields(attributes, &m_item, &m_strNumber);
    m_item.bSaveAfterClose = 1;
    m_item.bHasPopup = 0;
    m_item.dwMsgID = static_cast<int32_t>(*m_pnCounter);
    *m_pnCounter += *m_pnCounter < 0 ? -1 : 1;
    m_pItems->push_back(m_item);
  }

 private:
  int64_t* const m_pnCounter;
  size_t* const m_pnKeptBack;
  std::vector<_Message_Item>* const m_pItems;
  _Message_Item m_item;  // the working record: one serves a whole section
  std::u16string m_strNumber;
  bool m_bFull = false;  // past the last ID, with nothing to count
};

// Tells `pReader` of the element children of `pSection` (may be null) in a built document.
void ReadSection(DOMElement* pSection, XmlSectionReader* pReader) {
  if (pSection == nullptr) return;
  // From sibling to sibling: a node list's item(i) walks from the first child every time.
  for (DOMNode* pChild = pSection->getFirstChild(); pChild != nullptr; pChild = pChild->getNextSibling()) {
    if (pChild->getNodeType() == DOMNode::ELEMENT_NODE)
      pReader->Child(ElementAttributes(static_cast<DOMElement*>(pChild)));
  }
}

// Whether a message read back holds the six fields written.
bool SameMessage(const _Message_Item& a, const _Message_Item& b) {
  return a.strMsgSpan == b.strMsgSpan && a.strMsgName == b.strMsgName && a.strMsgSInfo == b.strMsgSInfo &&
         a.strMsgEchoPath == b.strMsgEchoPath && a.ShowType == b.ShowType &&
         a.dwPopShowTimeout == b.dwPopShowTimeout;
}

// The check of a save: DynamicMsg of the bytes it means to write, as a load would read it, holds exactly
// `items` first (as the file holds them), then nKept more messages, whatever they hold.
class ReadBackCheck final : public XmlSectionCheck {
 public:
  ReadBackCheck(const std::vector<_Message_Item>& items, size_t nKept) : m_items(items), m_nKept(nKept) {}

  void Begin() override {
    m_item = _Message_Item();
    m_item.ShowType = 0;
    m_nChildren = 0;
    m_bSame = true;
  }
  void Child(const XmlAttributeSource& attributes) override {
    const size_t i = m_nChildren++;
    if (!m_bSame || i >= m_items.size()) return;
    ReadMessageFields(attributes, &m_item, &m_strNumber);
    m_bSame = SameMessage(m_items[i], m_item);
  }
  bool Passed() const override { return m_bSame && m_nChildren == m_items.size() + m_nKept; }

 private:
  const std::vector<_Message_Item>& m_items;
  const size_t m_nKept;
  _Message_Item m_item;  // the working record, as a load keeps one for the section
  std::u16string m_strNumber;
  size_t m_nChildren = 0;
  bool m_bSame = true;
};

// The messages of a file, read by section. The default messages are numbered -2, -3, ...; the dynamic
// ones from the first dynamic ID on.
struct MessagesReader {
  explicit MessagesReader(int64_t nFirstDynamicID) { loaded.nNextMsgID = nFirstDynamicID; }

  LoadedMessages loaded;
  int64_t nDefaultCounter = -2;
  SectionReader defaults{&nDefaultCounter, nullptr, &loaded.defaults};
  SectionReader dynamics{&loaded.nNextMsgID, &loaded.nKeptBack, &loaded.dynamics};
};

}  // namespace

bool ReadMessages(DOMElement* pRoot, int64_t nFirstDynamicID, LoadedMessages* pOut) {
  DOMElement* pMsgList = FindChildElement(pRoot, u"MsgList");
  if (pMsgList == nullptr) return false;
  MessagesReader reader(nFirstDynamicID);
  ReadSection(FindChildElement(pMsgList, u"DefaultMsg"), &reader.defaults);
  ReadSection(FindChildElement(pMsgList, u"DynamicMsg"), &reader.dynamics);
  *pOut = std::move(reader.loaded);
  return true;
}

bool ReadMsgFile(const std::u16string& path, int64_t nFirstDynamicID, LoadedMessages* pOut) {
  XmlDocContext document;  // made before the try, so that it outlives whatever Xerces-C throws
  try {
    // The messages are read as the parser meets them, no document built: a load holds the file's bytes
    // and the messages, not a document some twenty times the file's size. Any fault in the file, found
    // however late, loads nothing.
    MessagesReader reader(nFirstDynamicID);
    if (!document.CreateParser().ok() ||
        !document.ReadXmlSections(path, &reader.defaults, &reader.dynamics).ok())
      return false;
    *pOut = std::move(reader.loaded);
    pOut->memo = document.Memo();
    return true;
  } catch (...) {
    return false;  // out of memory, or Xerces-C failed in a way it reports by throwing
  }
}

namespace {

// Every step of a save into the file that `*pDocument` read last (ScanXmlFile, ScanXmlBytes or
// LoadXmlBytes); the file at *pPath is replaced at the end, none when pPath is null. What Xerces-C throws
// is the caller's to catch.
MsgFileWriteResult SaveIntoRead(XmlDocContext* pDocument, const std::u16string* pPath,
                                std::vector<_Message_Item> items, size_t nKeepFrom) {
  XmlDocContext& document = *pDocument;
  MsgFileWriteResult result;
  // No usable file, or no place for the messages: nothing is written and nothing is lost.
  if (!document.HasSection()) return result;

  // The messages as the file will hold them, and as they must read back: the caller's keep their texts,
  // since these are copies.
  std::u16string strMarkup;
  size_t nUnits = 0;  // about what the markup takes: the texts and the rest of an element, some 90 units
  for (const _Message_Item& item : items) {
    nUnits += 96 + item.strMsgSpan.size() + item.strMsgName.size() + item.strMsgSInfo.size() +
              item.strMsgEchoPath.size();
  }
  strMarkup.reserve(nUnits);
  for (_Message_Item& item : items) {
    std::u16string* const texts[] = {&item.strMsgSpan, &item.strMsgName, &item.strMsgSInfo,
                                     &item.strMsgEchoPath};
    static const char16_t* const kNames[] = {u"MsgSpan", u"MsgName", u"MsgSInfo", u"MsgEchoPath"};
    size_t nReplaced = 0;
    for (size_t i = 0; i < 4; ++i) {
      nReplaced += document.MakeCarriable(texts[i]);
      if (document.NormaliseAsDeclared(kNames[i], texts[i]))
        result.normalised.emplace_back(item.dwMsgID, kNames[i]);
    }
    if (nReplaced != 0) result.replaced.emplace_back(item.dwMsgID, nReplaced);
    document.AppendElementText(&strMarkup, u"Message",
                               {{u"MsgSpan", item.strMsgSpan},
                                {u"MsgName", item.strMsgName},
                                {u"MsgSInfo", item.strMsgSInfo},
                                {u"MsgEchoPath", item.strMsgEchoPath},
                                {u"ShowType", DecimalText(item.ShowType)},
                                {u"ShowTime", DecimalText(item.dwPopShowTimeout)}});
  }
  const size_t nChildren = document.SectionChildren();
  result.nKeptBack = nKeepFrom < nChildren ? nChildren - nKeepFrom : 0;
  result.droppedReferences = document.UndeclaredReferences(nKeepFrom);

  // The file must read back with exactly these messages first in DynamicMsg, then the ones kept.
  ReadBackCheck check(items, result.nKeptBack);
  result.status = pPath != nullptr ? document.SaveSection(*pPath, strMarkup, nKeepFrom, &check)
                                   : document.CheckSection(strMarkup, nKeepFrom, &check);
  if (result.status.ok()) result.notes = document.SaveNotes();
  return result;
}

MsgFileWriteResult Thrown() {
  MsgFileWriteResult result;
  result.status = Status::Failed(u"out of memory, or the XML library failed");
  return result;
}

}  // namespace

MsgFileWriteResult WriteMsgFile(const std::u16string& path, std::vector<_Message_Item> items,
                                size_t nKeepFrom, const XmlFileMemo* pMemo) {
  XmlDocContext document;
  try {
    if (!document.CreateParser().ok()) return MsgFileWriteResult();
    // Read again from the disk: what an admin changed while the library ran is kept. The messages the
    // file held are not: DynamicMsg is filled from `items`. The save splices them into the file's bytes,
    // so no document is built. No usable file: nothing is written and nothing is lost.
    if (!document.ScanXmlFile(path, pMemo).ok()) return MsgFileWriteResult();
    return SaveIntoRead(&document, &path, std::move(items), nKeepFrom);
  } catch (...) {
    return Thrown();
  }
}

MsgFileWriteResult CheckMsgFileWrite(std::string_view fileBytes, std::vector<_Message_Item> items,
                                     size_t nKeepFrom) {
  XmlDocContext document;
  try {
    if (!document.CreateParser().ok() || !document.ScanXmlBytes(fileBytes).ok()) return MsgFileWriteResult();
    return SaveIntoRead(&document, nullptr, std::move(items), nKeepFrom);
  } catch (...) {
    return Thrown();
  }
}

MsgFileWriteResult CheckMsgFileWrite(XmlDocContext* pDocument, DOMElement* pRoot,
                                     std::vector<_Message_Item> items, size_t nKeepFrom) {
  if (pRoot == nullptr) return MsgFileWriteResult();
  try {
    return SaveIntoRead(pDocument, nullptr, std::move(items), nKeepFrom);
  } catch (...) {
    return Thrown();
  }
}

}  // namespace tidings
