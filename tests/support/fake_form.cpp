#include "tests/support/fake_form.h"

std::optional<std::string> FakeForm::GetText(int id) const {
    m_calls.push_back({Call::Kind::GetText, id, {}, false});
    if (m_notGbk.contains(id)) {
        return std::nullopt;
    }
    return Text(id);
}

void FakeForm::SetText(int id, std::string_view gbk) {
    m_calls.push_back({Call::Kind::SetText, id, std::string(gbk), false});
    m_texts[id] = std::string(gbk);
    m_notGbk.erase(id);
}

void FakeForm::EnableControl(int id, bool enable) {
    m_calls.push_back({Call::Kind::Enable, id, {}, enable});
    if (enable) {
        m_disabled.erase(id);
    } else {
        m_disabled.insert(id);
    }
}

void FakeForm::ResetList(int id) {
    m_calls.push_back({Call::Kind::ResetList, id, {}, false});
    m_lists[id].clear();
}

void FakeForm::AddListItem(int id, std::string_view gbk) {
    m_calls.push_back({Call::Kind::AddListItem, id, std::string(gbk), false});
    m_lists[id].emplace_back(gbk);
}

std::string FakeForm::Text(int id) const {
    const auto it = m_texts.find(id);
    return it == m_texts.end() ? std::string() : it->second;
}

std::vector<std::string> FakeForm::ListItems(int id) const {
    const auto it = m_lists.find(id);
    return it == m_lists.end() ? std::vector<std::string>() : it->second;
}

std::vector<int> FakeForm::ReadIds() const {
    std::vector<int> ids;
    for (const Call& call : m_calls) {
        if (call.kind == Call::Kind::GetText) {
            ids.push_back(call.id);
        }
    }
    return ids;
}
