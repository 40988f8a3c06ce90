#include "protocol/memory_form.h"

std::optional<std::string> CMemoryForm::GetText(int id) const {
    m_calls.push_back({Call::Kind::GetText, id, {}, false});
    if (m_notGbk.contains(id)) {
        return std::nullopt;
    }
    return Text(id);
}

void CMemoryForm::SetText(int id, std::string_view gbk) {
    m_calls.push_back({Call::Kind::SetText, id, std::string(gbk), false});
    m_texts[id] = std::string(gbk);
    m_notGbk.erase(id);
}

void CMemoryForm::EnableControl(int id, bool enable) {
    m_calls.push_back({Call::Kind::Enable, id, {}, enable});
    if (enable) {
        m_disabled.erase(id);
    } else {
        m_disabled.insert(id);
    }
}

void CMemoryForm::ResetList(int id) {
    m_calls.push_back({Call::Kind::ResetList, id, {}, false});
    m_lists[id].clear();
}

void CMemoryForm::AddListItem(int id, std::string_view gbk) {
    m_calls.push_back({Call::Kind::AddListItem, id, std::string(gbk), false});
    m_lists[id].emplace_back(gbk);
}

std::string CMemoryForm::Text(int id) const {
    const auto it = m_texts.find(id);
    return it == m_texts.end() ? std::string() : it->second;
}

std::vector<std::string> CMemoryForm::ListItems(int id) const {
    const auto it = m_lists.find(id);
    return it == m_lists.end() ? std::vector<std::string>() : it->second;
}

std::vector<int> CMemoryForm::ReadIds() const {
    std::vector<int> ids;
    for (const Call& call : m_calls) {
        if (call.kind == Call::Kind::GetText) {
            ids.push_back(call.id);
        }
    }
    return ids;
}
