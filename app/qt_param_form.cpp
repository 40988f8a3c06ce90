#include "app/qt_param_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringDecoder>
#include <QStringEncoder>

#include "app/quendal_dlg.h"

std::optional<std::string> ToGbk(const QString& text) {
    QStringEncoder encoder("GBK");
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError()) {
        return std::nullopt;
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString FromGbk(std::string_view bytes) {
    QStringDecoder decoder("GBK");
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

bool GbkCodecAvailable() {
    return QStringEncoder("GBK").isValid() && QStringDecoder("GBK").isValid();
}

std::optional<std::string> CQtParamForm::GetText(int id) const {
    QWidget* control = m_dlg.Control(id);
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
    QWidget* control = m_dlg.Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
        edit->setCursorPosition(0);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        // A value no list item matches is shown all the same.
        combo->setEditText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
        label->setAccessibleName(text);
    }
}

void CQtParamForm::EnableControl(int id, bool enable) {
    m_dlg.Control(id)->setEnabled(enable);
}

void CQtParamForm::ResetList(int id) {
    auto* combo = qobject_cast<QComboBox*>(m_dlg.Control(id));
    const QString text = combo->currentText();
    combo->clear();
    combo->setEditText(text);
}

void CQtParamForm::AddListItem(int id, std::string_view gbk) {
    auto* combo = qobject_cast<QComboBox*>(m_dlg.Control(id));
    const QString text = combo->currentText();
    combo->addItem(FromGbk(gbk));
    combo->setEditText(text);  // adding to an empty list would otherwise select the item
}
