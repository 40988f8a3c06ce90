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
    // A lead byte with nothing after it would vanish in the decoder; it shows as U+FFFD, as a bad pair
    // does, so the user sees it and a save names the field instead of changing the device quietly.
    bool dangling = false;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x81 && byte <= 0xFE) {
            dangling = i + 1 == bytes.size();
            i += 2;
        } else {
            ++i;
        }
    }
    if (dangling) {
        bytes.remove_suffix(1);
    }
    QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (dangling) {
        text.append(QChar(QChar::ReplacementCharacter));
    }
    return text;
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
        // The edit this label names is heard by the label's new text too.
        if (QWidget* buddy = label->buddy()) {
            buddy->setAccessibleName(text);
        }
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
