#include "app/layout_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <algorithm>

#include "app/dialog_font_family.h"
#include "res/texts.h"

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
            if (row.kind == ControlKind::DropDownCombo) {
                combo->setEditable(true);
                // What the user types is what is saved: inline completion would turn "96" into "9600".
                combo->setCompleter(nullptr);
            }
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

bool HasOwnText(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
        case ControlKind::NumberEdit:
        case ControlKind::MultiLineEdit:
        case ControlKind::DropDownList:
        case ControlKind::DropDownCombo:
            return false;
        default:
            return true;
    }
}

// The label that names a control: the nearest one on its left in the same line of the template.
const LayoutItem* LabelBeside(const LayoutItem& control) {
    const LayoutItem* best = nullptr;
    const int top = control.rect.y;
    const int bottom = control.rect.y + (HasOwnText(control.kind) ? control.rect.height : 14);
    for (const LayoutItem& row : MainLayout()) {
        const int middle = row.rect.y + row.rect.height / 2;
        if (row.kind != ControlKind::Label || middle < top || middle > bottom ||
            row.rect.x >= control.rect.x) {
            continue;
        }
        if (best == nullptr || row.rect.x > best->rect.x) {
            best = &row;
        }
    }
    return best;
}

// Controls with no label of their own on the left.
QString NameWithoutLabel(int id) {
    switch (id) {
        case IDC_RECEIVE_EDIT:
            return Utf8(kTextReceiveArea.utf8);
        case IDC_SEND_EDIT:
            return Utf8(kTextSendArea.utf8);
        case IDC_AUTO_SEND_PERIOD:
            return Utf8(kTextAutoSendPeriodMs.utf8);
        default:
            return QString();
    }
}

// Buttons, check boxes and labels speak their own current text. Edits and lists have none that says what
// they are, so they take the name of the label beside them, and keep following it (see CQtParamForm).
void NameControlsWithoutText(const std::map<const LayoutItem*, QWidget*>& widgets) {
    for (const auto& [row, control] : widgets) {
        if (HasOwnText(row->kind)) {
            continue;
        }
        QString name = NameWithoutLabel(row->id);
        if (const LayoutItem* labelRow = LabelBeside(*row); name.isEmpty() && labelRow != nullptr) {
            auto* label = qobject_cast<QLabel*>(widgets.at(labelRow));
            if (label->buddy() == nullptr) {
                label->setBuddy(control);
            }
            name = label->text();
        }
        control->setAccessibleName(name);
    }
}

}  // namespace

QFont DialogFont() {
    // The first family installed; with none, the first, and Qt falls back to a face with the characters.
    const auto families = DialogFontFamilies();
    const auto installed = std::find_if(families.begin(), families.end(),
                                        [](const char* family) { return QFontDatabase::hasFamily(family); });
    QFont font(installed != families.end() ? *installed : families.front());
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

ControlMap BuildMainControls(QWidget* parent) {
    ControlMap controls;
    std::map<const LayoutItem*, QWidget*> byRow;
    std::vector<QWidget*> backdrop;
    for (const LayoutItem& row : MainLayout()) {
        QWidget* widget = MakeWidget(row, parent);
        byRow[&row] = widget;
        widget->setGeometry(Geometry(row));
        widget->setEnabled(!(row.flags & kDisabled));
        if (!row.name.empty()) {
            widget->setObjectName(Utf8(row.name));
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
    NameControlsWithoutText(byRow);
    for (const ItemList& list : MainItemLists()) {
        auto* combo = qobject_cast<QComboBox*>(controls.at(list.id));
        for (std::string_view item : list.items) {
            combo->addItem(Utf8(item));
        }
        combo->setCurrentIndex(-1);  // the template selects nothing
    }
    return controls;
}
