// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "store/message_store.h"

#include <utility>

namespace tidings {

std::optional<int32_t> CMessageStore::AddMsgItem(const MessageFields& fields,
                                                 const std::u16string& strMsgSpanName, int32_t* pbNew) {
  CAutoCriticalSection lock(m_cs);
  *pbNew = 1;
  int32_t result = -1;

  // Every matching item is updated, so the copies are all made before the first item changes: running
  // out of memory midway then leaves the list as it was.
  const std::vector<size_t> matches = m_DynamicMsgList.FindByName(strMsgSpanName, fields.strMsgName);
  if (!matches.empty()) {
    std::vector<std::pair<std::u16string, std::u16string>> texts(
        matches.size(), std::make_pair(fields.strMsgSInfo, fields.strMsgEchoPath));
    for (size_t k = 0; k < matches.size(); ++k) {
      _Message_Item& item = m_DynamicMsgList[matches[k]];
      item.strMsgSInfo.swap(texts[k].first);
      item.strMsgEchoPath.swap(texts[k].second);
      item.ShowType = fields.ShowType;
      item.bSaveAfterClose = fields.bSaveAfterClose;
      item.dwPopShowTimeout = fields.dwPopShowTimeout;
      item.bHasPopup = 0;
      result = item.dwMsgID;
    }
    *pbNew = 0;
    return result;
  }

  if (m_nNextMsgID > kMaxMsgID) return std::nullopt;
  m_DynamicMsgList.Append(_Message_Item{strMsgSpanName, fields.strMsgName, fields.strMsgSInfo,
                                        fields.strMsgEchoPath, fields.ShowType, fields.dwPopShowTimeout,
                                        fields.bSaveAfterClose, 0, static_cast<int32_t>(m_nNextMsgID)});
  ++m_nNextMsgID;
  return static_cast<int32_t>(m_nNextMsgID - 1);
}

std::optional<int32_t> CMessageStore::DelMsgItem(const std::u16string& strMsgSpanName,
                                                 const std::u16string& strMsgName) {
  CAutoCriticalSection lock(m_cs);
  const std::vector<size_t> matches = m_DynamicMsgList.FindByName(strMsgSpanName, strMsgName);
  if (matches.empty()) return std::nullopt;
  const int32_t result = m_DynamicMsgList[matches.back()].dwMsgID;
  m_DynamicMsgList.Remove(matches);
  return result;
}

bool CMessageStore::DelMsgItemFromID(int32_t dwMsgID) {
  CAutoCriticalSection lock(m_cs);
  // Only the dynamic list: a negative ID, which names a default message, is never found.
  const size_t i = m_DynamicMsgList.FindById(dwMsgID);
  if (i == CMessageList::npos) return false;
  m_DynamicMsgList.RemoveAt(i);
  return true;
}

bool CMessageStore::SetMsgItemPopup(int32_t dwMsgID) {
  CAutoCriticalSection lock(m_cs);
  const size_t i = m_DynamicMsgList.FindById(dwMsgID);
  if (i == CMessageList::npos) return false;
  m_DynamicMsgList[i].bHasPopup = 1;
  return true;
}

const _Message_Item* CMessageStore::NextItem(const CMessageList& list, int32_t dwMsgID) {
  const size_t i = list.FindById(dwMsgID);
  if (i == CMessageList::npos) return nullptr;
  const size_t next = list.Next(i);
  return &list[next != CMessageList::npos ? next : list.First()];
}

bool CMessageStore::GetFirstMsgID(int32_t* pdwMsgID) {
  CAutoCriticalSection lock(m_cs);
  const CMessageList& list = m_DynamicMsgList.empty() ? m_DefaultMsgList : m_DynamicMsgList;
  if (list.empty()) return false;
  *pdwMsgID = list[list.First()].dwMsgID;
  return true;
}

bool CMessageStore::GetEchoInfo(int32_t dwMsgID, std::u16string* pstrEchoPath, std::u16string* pstrMsgSpan,
                                std::u16string* pstrMsgName) {
  CAutoCriticalSection lock(m_cs);
  const size_t i = m_DynamicMsgList.FindById(dwMsgID);
  if (i == CMessageList::npos) return false;
  const _Message_Item& item = m_DynamicMsgList[i];
  // All three copies are made before any result is set.
  std::u16string strEchoPath = item.strMsgEchoPath;
  std::u16string strMsgSpan = item.strMsgSpan;
  std::u16string strMsgName = item.strMsgName;
  pstrEchoPath->swap(strEchoPath);
  pstrMsgSpan->swap(strMsgSpan);
  pstrMsgName->swap(strMsgName);
  return true;
}

int64_t CMessageStore::NextMsgID() {
  CAutoCriticalSection lock(m_cs);
  return m_nNextMsgID;
}

void CMessageStore::AppendLoaded(std::vector<_Message_Item> defaults, std::vector<_Message_Item> dynamics,
                                 int64_t nNextMsgID) {
  CAutoCriticalSection lock(m_cs);
  m_DefaultMsgList.Reserve(m_DefaultMsgList.size() + defaults.size());
  m_DynamicMsgList.Reserve(m_DynamicMsgList.size() + dynamics.size());
  for (_Message_Item& item : defaults) m_DefaultMsgList.Append(std::move(item));
  for (_Message_Item& item : dynamics) m_DynamicMsgList.Append(std::move(item));
  m_nNextMsgID = nNextMsgID;
}

std::vector<_Message_Item> CMessageStore::SavedMsgItems() {
  CAutoCriticalSection lock(m_cs);
  std::vector<_Message_Item> items;
  for (size_t i = m_DynamicMsgList.First(); i != CMessageList::npos; i = m_DynamicMsgList.Next(i)) {
    if (m_DynamicMsgList[i].bSaveAfterClose != 0) items.push_back(m_DynamicMsgList[i]);
  }
  return items;
}

void CMessageStore::ClearDynamic() {
  CAutoCriticalSection lock(m_cs);
  m_DynamicMsgList.Clear();
}

}  // namespace tidings
