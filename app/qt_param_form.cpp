#include "app/qt_param_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "text/gbk.h"

std::optional<std::string> ToGbk(const QString& text) {
    return Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                          static_cast<std::size_t>(text.size())));
}

QString FromGbk(std::string_view bytes) {
    // Half a character at the end shows as U+FFFD, as a bad pair does, so the user sees it and a save
    // names the field instead of changing the device quietly.
    const std::u16string text = GbkToUtf16Shown(bytes);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

bool GbkCodecAvailable() {
    return GbkAvailable();
}

std::optional<std::string> CQtParamForm::GetText(int id) const {
    QWidget* control = ControlAs<QWidget>(m_controls, id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        return ToGbk(edit->text());
    }
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        return ToGbk(combo->currentText());
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return ToGbk(label->text());
    }
    return std::string();
}

void CQtParamForm::SetText(int id, std::string_view gbk) {
    const QString text = FromGbk(gbk);
    QWidget* control = ControlAs<QWidget>(m_controls, id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
        edit->setCursorPosition(0);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        // A value no list item matches is shown all the same.
        combo->setEditText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
        // The edit this label names is heard by the label's new text too.
        if (QWidget* buddy = label->buddy()) {
            buddy->setAccessibleName(text);
        }
    }
}

void CQtParamForm::EnableControl(int id, bool enable) {
    ControlAs<QWidget>(m_controls, id)->setEnabled(enable);
}

void CQtParamForm::ResetList(int id) {
    auto* combo = ControlAs<QComboBox>(m_controls, id);
    const QString text = combo->currentText();
    combo->clear();
    combo->setEditText(text);
}

void CQtParamForm::AddListItem(int id, std::string_view gbk) {
    auto* combo = ControlAs<QComboBox>(m_controls, id);
    const QString text = combo->currentText();
    combo->addItem(FromGbk(gbk));
    combo->setEditText(text);  // adding to an empty list would otherwise select the item
}
