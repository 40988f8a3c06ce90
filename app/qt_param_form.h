// IParamForm over the window's Qt controls: texts cross in GBK, the device's code page, through the
// program's one GBK table (text/gbk.h), which the terminal and the profiles use too. A character GBK cannot
// hold makes GetText return nothing rather than a '?' byte; bytes that form no character show as U+FFFD.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "app/layout_builder.h"
#include "protocol/param_form.h"

// GBK bytes of text; nullopt when a character has no GBK form.
std::optional<std::string> ToGbk(const QString& text);
QString FromGbk(std::string_view bytes);
// False when the system gave no GBK table: the form could not work at all.
bool GbkCodecAvailable();

class CQtParamForm : public IParamForm {
  public:
    explicit CQtParamForm(const ControlMap& controls) : m_controls(controls) {}

    std::optional<std::string> GetText(int id) const override;
    void SetText(int id, std::string_view gbk) override;
    void EnableControl(int id, bool enable) override;
    void ResetList(int id) override;
    void AddListItem(int id, std::string_view gbk) override;

  private:
    const ControlMap& m_controls;
};
