#include "app/terminal_menus.h"

#include <QActionGroup>
#include <QMenu>
#include <QPlainTextEdit>
#include <utility>

#include "app/area_menu.h"
#include "app/receive_monitor.h"
#include "app/send_panel.h"

namespace {

// One entry of a choice: its caption and its value.
template <class Value>
using Choice = std::pair<const char*, Value>;

// A submenu whose entries are ticked one at a time, the current value's first.
template <class Value, std::size_t N, class Set>
void AddChoice(QMenu& menu, const char* title, const Choice<Value> (&choices)[N], Value current, Set set) {
    QMenu* sub = menu.addMenu(QString::fromUtf8(title));
    auto* group = new QActionGroup(sub);
    for (const auto& [caption, value] : choices) {
        QAction* action = sub->addAction(QString::fromUtf8(caption), [set, value = value] { set(value); });
        action->setCheckable(true);
        action->setChecked(value == current);
        group->addAction(action);
    }
}

constexpr Choice<ReceiveEncoding> kEncodings[] = {
    {"GBK", ReceiveEncoding::Gbk},
    {"UTF-8", ReceiveEncoding::Utf8},
};

constexpr Choice<SendLineEnding> kLineEndings[] = {
    {"无", SendLineEnding::None},
    {"CR (\\r)", SendLineEnding::Cr},
    {"LF (\\n)", SendLineEnding::Lf},
    {"CR LF (\\r\\n)", SendLineEnding::CrLf},
};

}  // namespace

void AddTerminalMenus(const ControlMap& controls, CReceiveMonitor& monitor, CSendPanel& send) {
    CAreaMenu::Of(ControlAs<QPlainTextEdit>(controls, IDC_RECEIVE_EDIT)).AddEntries([&monitor](QMenu& menu) {
        QAction* stamps = menu.addAction(QString::fromUtf8("显示时间戳"),
                                         [&monitor](bool on) { monitor.SetTimestamps(on); });
        stamps->setCheckable(true);
        stamps->setChecked(monitor.Timestamps());
        AddChoice(menu, "接收编码", kEncodings, monitor.GetReceiveEncoding(),
                  [&monitor](ReceiveEncoding encoding) { monitor.SetReceiveEncoding(encoding); });
    });
    CAreaMenu::Of(ControlAs<QPlainTextEdit>(controls, IDC_SEND_EDIT)).AddEntries([&send](QMenu& menu) {
        AddChoice(menu, "发送换行符", kLineEndings, send.LineEnding(),
                  [&send](SendLineEnding ending) { send.SetLineEnding(ending); });
    });
}
