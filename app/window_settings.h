// Remembered settings: the port and its line settings, the display and send options and the window's
// width are kept per user in an INI file and put back at the next start. A first start, a missing key or a
// value the window cannot show gives the window's own start state, key by key; "恢复默认设置" returns to
// it. The start state is not written down a second time: it is read from the window before anything is
// restored.
//
// The keys are listed once (SettingEntries, window_settings_keys.cpp). Each entry reads its value from the
// window as text and puts a text back through the same handler a user's choice runs, refusing what it
// cannot show. A new option needs one line there, made with one of the builders below.
//
// QSettings parses and writes the INI text, but only on a private copy in a temporary folder: the file
// itself is read only when it is a regular file and replaced through WriteExportFile (never through a link,
// never over anything but a regular file, 0600), which QSettings' own writing does not promise.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

class CQuendalDlg;

inline constexpr char kRestoreDefaultsMenuText[] = "恢复默认设置";

struct SettingEntry {
    QString key;  // "group/name": [group] name=... in the file
    std::function<QString(const CQuendalDlg&)> read;
    // false: the text is not a value the window can show, and nothing was changed.
    std::function<bool(CQuendalDlg&, const QString&)> apply;
};

// Every remembered setting, in the order they are put back.
const std::vector<SettingEntry>& SettingEntries();

// Builders. A list (IDC_PORT_BAUD, ...) keeps the item's text, chosen as the user would: the item selected,
// then the window's handler. A check box keeps true/false and is clicked when it differs.
SettingEntry ComboSetting(const QString& key, int controlId, void (CQuendalDlg::*onSelected)());
SettingEntry CheckSetting(const QString& key, int controlId);
SettingEntry BoolSetting(const QString& key, std::function<bool(const CQuendalDlg&)> get,
                         std::function<void(CQuendalDlg&, bool)> set);
// A whole number from min to max, kept in decimal.
SettingEntry IntSetting(const QString& key, int min, int max, std::function<int(const CQuendalDlg&)> get,
                        std::function<void(CQuendalDlg&, int)> set);
// One of a fixed list of words, the option being the word's index (a line ending, an encoding).
SettingEntry ChoiceSetting(const QString& key, QStringList words, std::function<int(const CQuendalDlg&)> get,
                           std::function<void(CQuendalDlg&, int)> set);

class CWindowSettings {
  public:
    // path names the file; empty remembers nothing (tests, tools), though the defaults still work.
    explicit CWindowSettings(QString path = QString());

    // The user's file: quendal/quendal.ini in the configuration folder ($XDG_CONFIG_HOME, else ~/.config;
    // on Windows the local application data folder).
    static QString DefaultPath();

    const QString& Path() const { return m_path; }

    // Takes the window's current state as the defaults, then puts back what the file holds.
    void Restore(CQuendalDlg& window);
    void ApplyDefaults(CQuendalDlg& window) const;
    // Writes every key as the window shows it now; false with the reason when the file could not be
    // written. Nothing is written without a path.
    bool Save(const CQuendalDlg& window, QString& error) const;

  private:
    QString m_path;
    std::map<QString, QString> m_defaults;
};
