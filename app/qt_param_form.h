// IParamForm over the window's Qt controls: texts cross in GBK, the device's code page, converted with
// Qt's GBK codec. A character GBK cannot hold makes GetText return nothing rather than a '?' byte.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/param_form.h"

class CQuendalDlg;

// GBK bytes of text; nullopt when a character has no GBK form.
std::optional<std::string> ToGbk(const QString& text);
QString FromGbk(std::string_view bytes);
// False when this Qt build has no GBK codec (an ICU-less build): the form could not work at all.
bool GbkCodecAvailable();

class CQtParamForm : public IParamForm {
  public:
    explicit CQtParamForm(CQuendalDlg& dlg) : m_dlg(dlg) {}

    std::optional<std::string> GetText(int id) const override;
    void SetText(int id, std::string_view gbk) override;
    void EnableControl(int id, bool enable) override;
    void ResetList(int id) override;
    void AddListItem(int id, std::string_view gbk) override;

  private:
    CQuendalDlg& m_dlg;
};
