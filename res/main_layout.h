// The main window's template as data: one row per control in template order (the order is also the tab
// order), positions in dialog units, plus the combo boxes' item lists and the About box. The window builds
// its widgets from these rows in one loop; tests read the same rows. Texts are UTF-8.
#pragma once

#include <span>
#include <string_view>

#include "quendal_version.h"
#include "res/control_ids.h"

enum class ControlKind {
    Label,          // left-aligned static text
    Edit,           // single-line edit
    NumberEdit,     // single-line edit that takes digits only
    MultiLineEdit,  // wraps, takes Enter as a line break
    DropDownList,   // combo box whose text can only be chosen from its list
    DropDownCombo,  // combo box whose text can also be typed
    CheckBox,       // ticks and unticks itself
    PushButton,
    GroupBox,
    EtchedLine,
    SunkenText,  // static text with a sunken border
};

enum ControlFlag : unsigned {
    kNoFlags = 0,
    kDisabled = 1u << 0,  // greyed at start; the program writes into it
    kNotify = 1u << 1,    // a label that reports clicks and double-clicks
};

struct DialogRect {
    int x, y, width, height;
};

struct LayoutItem {
    int number;  // template order, 1..114
    int id;      // IDC_STATIC for controls nothing addresses
    std::string_view name;
    ControlKind kind;
    std::string_view caption;
    DialogRect rect;  // dialog units; a combo box's height includes its dropped-down list
    unsigned flags;
};

struct ItemList {
    int id;
    std::span<const std::string_view> items;
};

// Template rows sorted by number (tab order).
std::span<const LayoutItem> MainLayout();
std::span<const ItemList> MainItemLists();
const LayoutItem* FindLayoutItem(int id);

inline constexpr std::string_view kMainTitle = "Quendal(V" QUENDAL_VERSION_SHOWN ")";
inline constexpr DialogRect kMainTemplateSize{0, 0, 600, 398};
inline constexpr int kDialogUnitPercent = 150;  // 1 dialog unit = 1.5 px at the template's font

// Terminal region; the narrow window hides it, the wide one shows it with its margin.
inline constexpr DialogRect kTerminalRegion{368, 7, 223, 365};

inline constexpr std::string_view kAboutTitle = "关于 Quendal";
inline constexpr std::string_view kAboutText = "Quendal V" QUENDAL_VERSION_SHOWN;
inline constexpr std::string_view kAboutOk = "确定";
inline constexpr DialogRect kAboutSize{0, 0, 251, 68};
inline constexpr DialogRect kAboutIconRect{7, 24, 20, 20};
inline constexpr DialogRect kAboutTextRect{38, 17, 117, 8};
inline constexpr DialogRect kAboutOkRect{194, 27, 50, 14};
inline constexpr std::string_view kAboutMenuText = "关于 Quendal(&A)...";  // IDS_ABOUTBOX

constexpr int DialogUnitsToPixels(int units) {
    return units * kDialogUnitPercent / 100;
}
