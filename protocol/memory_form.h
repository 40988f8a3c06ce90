// A parameter form held in maps: what the command line runs the form binding over, and what tests of
// anything that talks to IParamForm inspect. Texts are GBK bytes; controls start empty and enabled. Every
// call made on it is logged in order.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/param_form.h"

class CMemoryForm : public IParamForm {
  public:
    struct Call {
        enum class Kind { GetText, SetText, Enable, ResetList, AddListItem } kind;
        int id;
        std::string text;  // SetText / AddListItem
        bool enable;       // Enable

        bool operator==(const Call&) const = default;
    };

    std::optional<std::string> GetText(int id) const override;
    void SetText(int id, std::string_view gbk) override;
    void EnableControl(int id, bool enable) override;
    void ResetList(int id) override;
    void AddListItem(int id, std::string_view gbk) override;

    // What the form holds now; a control never written reads as empty text.
    std::string Text(int id) const;
    bool IsEnabled(int id) const { return !m_disabled.contains(id); }
    std::vector<std::string> ListItems(int id) const;
    // Makes GetText(id) answer nullopt, as for a typed character GBK has no code for, until the next SetText.
    void MarkNotGbk(int id) { m_notGbk.insert(id); }

    const std::vector<Call>& Calls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }
    // Ids of the GetText calls, in order.
    std::vector<int> ReadIds() const;

  private:
    std::map<int, std::string> m_texts;
    std::map<int, std::vector<std::string>> m_lists;
    std::set<int> m_disabled;
    std::set<int> m_notGbk;
    mutable std::vector<Call> m_calls;
};
