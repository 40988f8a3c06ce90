#include "app/layout_builder.h"

#include <QCheckBox>
#include <algorithm>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>

namespace {

// Combo boxes are laid out with their dropped-down list; the closed box is as tall as an edit.
constexpr int kComboUnits = 14;

QWidget* MakeWidget(const LayoutItem& row, QWidget* parent) {
    const QString caption = Utf8(row.caption);
    switch (row.kind) {
        case ControlKind::Label: {
            QLabel* label =
                (row.flags & kNotify) ? new CNotifyLabel(caption, parent) : new QLabel(caption, parent);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            return label;
        }
        case ControlKind::SunkenText: {
            auto* label = new QLabel(caption, parent);
            label->setTextFormat(Qt::PlainText);
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            return label;
        }
        case ControlKind::Edit:
        case ControlKind::NumberEdit: {
            auto* edit = new QLineEdit(parent);
            if (row.kind == ControlKind::NumberEdit) {
                edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
            }
            return edit;
        }
        case ControlKind::MultiLineEdit: {
            auto* edit = new QPlainTextEdit(parent);
            edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            // A scroll bar that comes and goes would move the wrap width, and with it the line count.
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            edit->setUndoRedoEnabled(false);
            edit->setTabChangesFocus(true);
            return edit;
        }
        case ControlKind::DropDownList:
        case ControlKind::DropDownCombo: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(row.kind == ControlKind::DropDownCombo);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setMaxVisibleItems(30);
            // Narrow lists ("NONE" in 33 units) need every pixel the classic style leaves for text.
            combo->setStyleSheet("QComboBox { padding-left: 1px; padding-right: 0px; }");
            if (row.rect.width < 40) {
                QFont font = DialogFont();
                font.setPixelSize(11);
                combo->setFont(font);
            }
            return combo;
        }
        case ControlKind::CheckBox:
            return new QCheckBox(caption, parent);
        case ControlKind::PushButton: {
            auto* button = new QPushButton(caption, parent);
            button->setAutoDefault(false);  // Enter is routed by the window itself
            return button;
        }
        case ControlKind::GroupBox: {
            auto* group = new QGroupBox(caption, parent);
            group->setFocusPolicy(Qt::NoFocus);
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            return group;
        }
        case ControlKind::EtchedLine: {
            auto* line = new QFrame(parent);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            line->setAttribute(Qt::WA_TransparentForMouseEvents);
            return line;
        }
    }
    return nullptr;
}

QRect Geometry(const LayoutItem& row) {
    DialogRect rect = row.rect;
    if (row.kind == ControlKind::DropDownList || row.kind == ControlKind::DropDownCombo) {
        rect.height = kComboUnits;
    }
    if (row.kind == ControlKind::EtchedLine) {
        return QRect(DialogUnitsToPixels(rect.x), DialogUnitsToPixels(rect.y),
                     DialogUnitsToPixels(rect.width), 2);
    }
    return ToPixels(rect);
}

}  // namespace

QFont DialogFont() {
    QFont font("WenQuanYi Micro Hei");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(12);  // 9 pt at 96 dpi: the size the dialog units were laid out for
    return font;
}

QRect ToPixels(const DialogRect& rect) {
    return QRect(DialogUnitsToPixels(rect.x), DialogUnitsToPixels(rect.y), DialogUnitsToPixels(rect.width),
                 DialogUnitsToPixels(rect.height));
}

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void CNotifyLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    QLabel::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

std::map<int, QWidget*> BuildMainControls(QWidget* parent) {
    std::map<int, QWidget*> controls;
    std::vector<QWidget*> backdrop;
    for (const LayoutItem& row : MainLayout()) {
        QWidget* widget = MakeWidget(row, parent);
        widget->setGeometry(Geometry(row));
        widget->setEnabled(!(row.flags & kDisabled));
        if (!row.name.empty()) {
            widget->setObjectName(Utf8(row.name));
        }
        if (!row.caption.empty()) {
            widget->setAccessibleName(Utf8(row.caption));
        }
        if (row.id != IDC_STATIC) {
            controls[row.id] = widget;
        }
        if (row.kind == ControlKind::GroupBox || row.kind == ControlKind::EtchedLine) {
            backdrop.push_back(widget);
        }
        if (row.kind == ControlKind::Label && !(row.flags & kNotify)) {
            // This font runs wider than the one the template was measured with: let a caption run on
            // into the free space after it instead of being cut, without catching the clicks there.
            widget->resize(std::max(widget->width(), widget->sizeHint().width()), widget->height());
            widget->setAttribute(Qt::WA_TransparentForMouseEvents);
            backdrop.push_back(widget);
        }
    }
    // Frames are drawn behind the controls they surround, whatever their place in the tab order.
    for (QWidget* widget : backdrop) {
        widget->lower();
    }
    for (const ItemList& list : MainItemLists()) {
        auto* combo = qobject_cast<QComboBox*>(controls.at(list.id));
        for (std::string_view item : list.items) {
            combo->addItem(Utf8(item));
        }
        combo->setCurrentIndex(-1);  // the template selects nothing
    }
    return controls;
}
