// Remembered settings across starts, a settings file that is damaged or is no file, the return to the
// start state, and Qt's own texts in Chinese. The settings live in the program's own configuration folder
// (gui_main_qt.cpp), never the user's.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "app/capture_control.h"
#include "app/port_map_dlg.h"
#include "app/port_panel.h"
#include "app/qt_translations.h"
#include "app/quendal_dlg.h"
#include "app/receive_monitor.h"
#include "app/send_panel.h"
#include "app/status_bar.h"
#include "app/window_settings.h"
#include "serial/port_names.h"
#include "tests/support/gui_support.h"
#include "tests/support/pty_fixture.h"

namespace {

// What a user sees of every remembered setting.
struct Shown {
    QStringList lists;  // port, baud, parity, data bits, stop bits
    bool hexDisplay = false;
    bool autoClear = false;
    bool hexSend = false;
    QString period;
    int width = 0;
    QString pane0;
    bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Shown& s) {
    return os << s.lists.join(",").toStdString() << " hex=" << s.hexDisplay << " clear=" << s.autoClear
              << " hexSend=" << s.hexSend << " period=" << s.period.toStdString() << " width=" << s.width
              << " pane0=" << s.pane0.toStdString();
}

Shown ShownBy(const CQuendalDlg& w) {
    Shown s;
    for (int id : {IDC_PORT_COMBO, IDC_PORT_BAUD, IDC_PORT_PARITY, IDC_PORT_DATABITS, IDC_PORT_STOPBITS}) {
        s.lists << w.ControlAs<QComboBox>(id)->currentText();
    }
    s.hexDisplay = w.ControlAs<QCheckBox>(IDC_HEX_DISPLAY)->isChecked();
    s.autoClear = w.ControlAs<QCheckBox>(IDC_AUTO_CLEAR)->isChecked();
    s.hexSend = w.ControlAs<QCheckBox>(IDC_HEX_SEND)->isChecked();
    s.period = w.ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD)->text();
    s.width = w.width();
    s.pane0 = w.StatusBar()->PaneText(0);
    return s;
}

const Shown kStartState{{"COM1", "9600", "NONE", "8", "1"}, false, true, false, "1000", 550, "COM1"};

void Choose(CQuendalDlg& w, int id, const QString& text, void (CQuendalDlg::*handler)()) {
    auto* combo = w.ControlAs<QComboBox>(id);
    combo->setCurrentIndex(combo->findText(text));
    (w.*handler)();
}

// The program's own settings file, removed before and after each test.
class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        BoxRecorder::Clear();
        m_path = CWindowSettings::DefaultPath();
        QDir(QFileInfo(m_path).absolutePath()).removeRecursively();
    }
    void TearDown() override { QDir(QFileInfo(m_path).absolutePath()).removeRecursively(); }
    void WriteFile(const QByteArray& text) {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    QString m_path;
};

TEST_F(Settings, TheFileIsTheProgramsOwn) {
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_FALSE(config.isEmpty());
    EXPECT_EQ(m_path, config + "/quendal/quendal.ini");
}

TEST_F(Settings, KeptAcrossStarts) {
    CPortDirFixture dir;
    CPtyFixture pty;
    ASSERT_TRUE(pty.IsValid()) << pty.Error();
    ASSERT_FALSE(pty.LinkAs(dir.Path(), 5).empty()) << pty.Error();
    const Shown changed{{"COM5", "115200", "EVEN", "7", "2"}, true, false, true, "250", 900, "COM5"};
    {
        // A first start is the start state.
        CQuendalDlg first(nullptr, m_path);
        EXPECT_EQ(ShownBy(first), kStartState);
        Choose(first, IDC_PORT_COMBO, "COM5", &CQuendalDlg::OnPortSelected);
        Choose(first, IDC_PORT_BAUD, "115200", &CQuendalDlg::OnBaudSelected);
        Choose(first, IDC_PORT_PARITY, "EVEN", &CQuendalDlg::OnParitySelected);
        Choose(first, IDC_PORT_DATABITS, "7", &CQuendalDlg::OnDataBitsSelected);
        Choose(first, IDC_PORT_STOPBITS, "2", &CQuendalDlg::OnStopBitsSelected);
        for (int id : {IDC_HEX_DISPLAY, IDC_AUTO_CLEAR, IDC_HEX_SEND}) {
            first.ControlAs<QCheckBox>(id)->click();
        }
        first.ControlAs<QLineEdit>(IDC_AUTO_SEND_PERIOD)->setText("250");
        first.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
        ASSERT_EQ(ShownBy(first), changed);
        first.reject();
    }
    struct stat st {};
    ASSERT_EQ(lstat(QFile::encodeName(m_path).constData(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    CQuendalDlg second(nullptr, m_path);
    EXPECT_EQ(ShownBy(second), changed);
    EXPECT_EQ(second.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->text(), "调试<<");
    // The panel holds what the lists show: the port opens with the restored settings.
    second.ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
    EXPECT_EQ(second.StatusBar()->PaneText(2), "STATUS：COM5 OPENED，115200,E,7,2");
    second.ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
    // A window without a file starts in the start state whatever the file holds.
    CQuendalDlg without;
    EXPECT_EQ(ShownBy(without), kStartState);
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
}

// Each wrong value falls back to the start state's alone; the good ones around it are kept.
TEST_F(Settings, DamagedValuesFallBackKeyByKey) {
    struct Case {
        const char* name;
        QByteArray text;
        Shown expected;
    };
    auto with = [](auto change) {
        Shown s = kStartState;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"empty", "", kStartState},
        {"binary", QByteArray("\x00\xff\xfe[port\n\x01=\x02\n", 14), kStartState},
        {"unknown keys only", "[other]\nthing=1\n", kStartState},
        {"every value wrong",
         "[port]\nname=COM99\nbaud=12345\nparity=MAYBE\ndata_bits=\nstop_bits=1, 2\n"
         "[receive]\nhex=perhaps\nauto_clear=2\n[send]\nhex=yes\nauto_period_ms=-5\n[window]\nwide=wide\n",
         kStartState},
        {"numbers out of range", "[send]\nauto_period_ms=99999999999\n[port]\nname=COM0\n", kStartState},
        {"good beside wrong",
         "[port]\nname=com3\nbaud=nine thousand\nparity=ODD\n[receive]\nhex=true\nauto_clear=0\n"
         "[send]\nauto_period_ms=15x\n[window]\nwide=1\n",
         with([](Shown& s) {
             s.lists[0] = "COM3";
             s.lists[2] = "ODD";
             s.hexDisplay = true;
             s.autoClear = false;
             s.width = 900;
             s.pane0 = "COM3";
         })},
        {"hand-edited, spaces and comments",
         "; mine\n[port]\nbaud = 57600\n[send]\nauto_period_ms = 20\nhex = FALSE\n", with([](Shown& s) {
             s.lists[1] = "57600";
             s.period = "20";
         })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(c.text);
        CQuendalDlg window(nullptr, m_path);
        EXPECT_EQ(ShownBy(window), c.expected);
    }
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
}

// A name that is no regular file is not read (a FIFO would hang the start) and never written through.
TEST_F(Settings, NoFileInPlaceIsNeitherReadNorReplaced) {
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    const QString target = other.filePath("elsewhere.ini");
    {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[port]\nname=COM7\n");
    }
    const QByteArray path = QFile::encodeName(m_path);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    struct Case {
        const char* name;
        std::function<void()> make;
        bool read;  // COM7 from the link's target
    };
    const Case cases[] = {
        {"directory", [&] { QDir().mkpath(m_path); }, false},
        {"fifo", [&] { ASSERT_EQ(mkfifo(path.constData(), 0600), 0); }, false},
        {"link", [&] { ASSERT_EQ(symlink(QFile::encodeName(target).constData(), path.constData()), 0); },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoxRecorder::Clear();
        c.make();
        {
            CQuendalDlg window(nullptr, m_path);
            EXPECT_EQ(ShownBy(window).lists[0], c.read ? "COM7" : "COM1");
            window.ControlAs<QCheckBox>(IDC_HEX_SEND)->click();
        }
        ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
        EXPECT_TRUE(BoxRecorder::Boxes()[0].text.startsWith("设置未能保存：" + m_path))
            << BoxRecorder::Boxes()[0].text.toStdString();
        QFile::remove(m_path);
        QDir(m_path).removeRecursively();
    }
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[port]\nname=COM7\n");
}

QStringList MenuEntries(CQuendalDlg& window, std::map<QString, QAction*>* found = nullptr,
                        const QString& trigger = QString()) {
    QStringList entries;
    QTimer::singleShot(0, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            QAction* chosen = nullptr;
            for (QAction* action : menu->actions()) {
                entries << action->text();
                if (found) {
                    (*found)[action->text()] = action;
                }
                if (action->text() == trigger && action->isEnabled()) {
                    chosen = action;
                }
            }
            if (chosen) {
                menu->setActiveAction(chosen);
                chosen->trigger();
            }
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), window.mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(&window, &event);
    return entries;
}

// The background's entry returns every setting to the start state and keeps that; not while the port is
// open, whose lists are locked.
TEST_F(Settings, RestoreDefaultsReturnsToTheStartState) {
    CPortDirFixture dir;
    CPtyFixture pty;
    ASSERT_TRUE(pty.IsValid()) << pty.Error();
    ASSERT_FALSE(pty.LinkAs(dir.Path(), 3).empty()) << pty.Error();
    WriteFile(
        "[port]\nname=COM3\nbaud=115200\n[receive]\nhex=true\nauto_clear=false\n[send]\nhex=true\n"
        "auto_period_ms=20\n[window]\nwide=true\n");
    {
        CQuendalDlg window(nullptr, m_path);
        ASSERT_NE(ShownBy(window), kStartState);
        window.ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
        ASSERT_TRUE(window.IsPortOpen());
        std::map<QString, QAction*> open;
        const QStringList entries = MenuEntries(window, &open);
        ASSERT_TRUE(entries.contains("恢复默认设置")) << entries.join("|").toStdString();
        EXPECT_EQ(entries.indexOf("恢复默认设置"), entries.indexOf("信号监测...") + 1);
        EXPECT_FALSE(open["恢复默认设置"]->isEnabled());
        window.ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
        // The worker lets go of the port in its own time.
        ASSERT_TRUE(WaitUntil([&] { return !window.IsPortOpen(); }));
        MenuEntries(window, nullptr, "恢复默认设置");
        EXPECT_EQ(ShownBy(window), kStartState);
    }
    CQuendalDlg next(nullptr, m_path);
    EXPECT_EQ(ShownBy(next), kStartState);
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
}

// The terminal's and the port's options from their menus come back too; a log's choices do, the log does not.
TEST_F(Settings, MenuOptionsKeptAcrossStarts) {
    const auto options = [](const CQuendalDlg& w) {
        const CaptureRequest& log = w.Capture().LastRequest();
        return QStringList{QString::number(w.ReceiveMonitor().Timestamps()),
                           QString::number(static_cast<int>(w.ReceiveMonitor().GetReceiveEncoding())),
                           QString::number(static_cast<int>(w.SendPanel().LineEnding())),
                           QString::number(w.PortPanel().ReconnectOnLoss()),
                           log.path,
                           QString::number(static_cast<int>(log.options.format)),
                           QString::number(log.options.includeSent),
                           QString::number(log.options.append),
                           QString::number(w.Capture().IsOn())};
    };
    QStringList start;
    QStringList changed;
    {
        CQuendalDlg first(nullptr, m_path);
        start = options(first);
        first.ReceiveMonitor().SetTimestamps(true);
        first.ReceiveMonitor().SetReceiveEncoding(ReceiveEncoding::Utf8);
        first.SendPanel().SetLineEnding(SendLineEnding::CrLf);
        first.PortPanel().SetReconnectOnLoss(true);
        CaptureRequest log{"/tmp/quendal-log-of-a-test.txt", {}};
        log.options.format = CaptureOptions::Format::Text;
        log.options.includeSent = true;
        log.options.append = true;
        first.Capture().SetLastRequest(log);
        changed = options(first);
        ASSERT_NE(changed, start);
        first.reject();
    }
    {
        CQuendalDlg second(nullptr, m_path);
        EXPECT_EQ(options(second), changed);
        MenuEntries(second, nullptr, "恢复默认设置");
        EXPECT_EQ(options(second), start);
    }
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
}

// The builders the other options use refuse what they cannot show and leave the window as it was.
TEST_F(Settings, BuildersRefuseWhatTheyCannotShow) {
    CQuendalDlg window;
    int chosen = 1;
    const SettingEntry choice = ChoiceSetting(
        "x/choice", {"none", "cr", "lf"}, [&](const CQuendalDlg&) { return chosen; },
        [&](CQuendalDlg&, int i) { chosen = i; });
    int number = 5;
    const SettingEntry integer = IntSetting(
        "x/int", 2, 9, [&](const CQuendalDlg&) { return number; }, [&](CQuendalDlg&, int n) { number = n; });
    EXPECT_EQ(choice.read(window), "cr");
    struct Case {
        const SettingEntry* entry;
        QString text;
        bool taken;
        int after;
        int* value;
    };
    const Case cases[] = {
        {&choice, "LF", true, 2, &chosen},   {&choice, "crlf", false, 2, &chosen},
        {&choice, "", false, 2, &chosen},    {&choice, " none ", true, 0, &chosen},
        {&integer, "9", true, 9, &number},   {&integer, "10", false, 9, &number},
        {&integer, "1", false, 9, &number},  {&integer, "3.5", false, 9, &number},
        {&integer, " 2 ", true, 2, &number},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry->key.toStdString() + "=" + c.text.toStdString());
        EXPECT_EQ(c.entry->apply(window, c.text), c.taken);
        EXPECT_EQ(*c.value, c.after);
    }
}

// Qt's own texts follow the window's language when its translation file is there, and stay as they were
// when it is not.
TEST(QtTranslations, LoadedWhenTheFileExists) {
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    const QString system = QtTranslationFolders().value(0);
    ASSERT_TRUE(QFile::exists(system + "/qtbase_zh_CN.qm"))
        << "Qt's Chinese translations are missing (Debian: qt6-translations-l10n)";
    struct Case {
        QStringList folders;
        bool loaded;
        const char* copy;
    };
    const Case cases[] = {
        {{empty.path()}, false, "&Copy"},
        {{empty.path(), system}, true, "复制(&C)"},
        {{}, false, "&Copy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folders.join(";").toStdString());
        QTranslator* translator = InstallQtTranslations(*QApplication::instance(), c.folders);
        EXPECT_EQ(translator != nullptr, c.loaded);
        QLineEdit edit("text");
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (QAction* action : menu->actions()) {
            texts << action->text().section('\t', 0, 0);
        }
        EXPECT_TRUE(texts.contains(QString::fromUtf8(c.copy))) << texts.join("|").toStdString();
        if (translator) {
            QApplication::removeTranslator(translator);
            delete translator;
        }
    }
}

QStringList Row(const QTableWidget* table, int row) {
    QStringList cells;
    for (int column = 0; column < table->columnCount(); ++column) {
        cells << table->item(row, column)->text();
    }
    return cells;
}

QList<QStringList> Rows(const QTableWidget* table) {
    QList<QStringList> rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        rows << Row(table, row);
    }
    return rows;
}

// The port panel's menu opens the map beside the devices present; the map saved is the one the port
// names then resolve through, and a wrong line of the old file is shown and not kept.
TEST(PortMapDialog, ListsDevicesAndSavesTheMap) {
    CPortDirFixture dir;  // its own configuration folder: the map is this test's
    BoxRecorder::Clear();
    QTemporaryDir devDir;
    ASSERT_TRUE(devDir.isValid());
    const std::string dev = std::filesystem::canonical(devDir.path().toStdString()).string();
    for (const char* name : {"ttyUSB0", "ttyACM0"}) {
        std::ofstream(dev + "/" + name) << "";
    }
    std::filesystem::create_directories(dev + "/serial/by-id");
    const std::string byId = dev + "/serial/by-id/usb-FTDI_FT232R_A1-if00-port0";
    ASSERT_EQ(symlink("../../ttyUSB0", byId.c_str()), 0);
    const std::string map = *PortMapPath();
    std::filesystem::create_directories(std::filesystem::path(map).parent_path());
    std::ofstream(map) << "COM2 = /dev/ttyS1\nCOM9 = relative\n";
    chmod(map.c_str(), 0600);

    {
        CQuendalDlg window;
        QStringList entries;
        QMenu menu;
        window.PortPanel().FillContextMenu(menu);
        for (QAction* action : menu.actions()) {
            entries << action->text();
        }
        EXPECT_EQ(entries.back(), "端口映射...");
    }

    CPortMapDlg dialog(nullptr, dev);
    EXPECT_EQ(Rows(dialog.Devices()),
              QList<QStringList>({{QString::fromStdString(dev + "/ttyACM0"), ""},
                                  {QString::fromStdString(dev + "/ttyUSB0"), QString::fromStdString(byId)}}));
    EXPECT_EQ(Rows(dialog.Entries()), QList<QStringList>({{"COM2", "/dev/ttyS1"}}));
    EXPECT_FALSE(dialog.ProblemsLabel()->isHidden());
    EXPECT_TRUE(dialog.ProblemsLabel()->text().contains("line 2: COM9: \"relative\" is not an absolute path"))
        << dialog.ProblemsLabel()->text().toStdString();

    // A device chosen offers its stable name.
    dialog.Devices()->selectRow(1);
    EXPECT_EQ(dialog.PathEdit()->text().toStdString(), byId);
    dialog.PortChoice()->setCurrentIndex(3);
    dialog.AddEntry(4, dialog.PathEdit()->text());
    dialog.AddEntry(5, "ttyUSB1");
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
    dialog.Entries()->selectRow(0);
    dialog.RemoveSelectedEntry();
    EXPECT_EQ(Rows(dialog.Entries()), QList<QStringList>({{"COM4", QString::fromStdString(byId)}}));
    ASSERT_TRUE(dialog.Save());

    std::ifstream in(map);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved, FormatPortMap({{4, byId}}));
    struct stat st {};
    ASSERT_EQ(lstat(map.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(ResolvePort(4).path, byId);
    EXPECT_EQ(ResolvePort(2).path, "/dev/ttyUSB1");

    // Never through a link.
    const std::string elsewhere = dev + "/elsewhere";
    std::ofstream(elsewhere) << "kept";
    std::filesystem::remove(map);
    ASSERT_EQ(symlink(elsewhere.c_str(), map.c_str()), 0);
    BoxRecorder::Clear();
    EXPECT_FALSE(dialog.Save());
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
    EXPECT_EQ(BoxRecorder::Boxes()[0].text,
              "端口映射未能保存：" + QString::fromStdString(map) + ": 是符号链接，未写入");
    std::ifstream kept(elsewhere);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>()), "kept");
}

}  // namespace
