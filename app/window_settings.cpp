#include "app/window_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <optional>
#include <string_view>
#include <utility>

#include "app/export_file.h"
#include "app/quendal_dlg.h"

namespace {

// A settings file is a few hundred bytes; anything far larger is not ours to parse.
constexpr qint64 kLargestSettingsFile = 1 << 20;
constexpr char kCopyName[] = "quendal.ini";

std::optional<bool> ParseBool(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t == "true" || t == "1") {
        return true;
    }
    if (t == "false" || t == "0") {
        return false;
    }
    return std::nullopt;
}

std::optional<int> ParseInt(const QString& text, int min, int max) {
    bool ok = false;
    const qlonglong n = text.trimmed().toLongLong(&ok, 10);
    if (!ok || n < min || n > max) {
        return std::nullopt;
    }
    return static_cast<int>(n);
}

// The file's bytes when it is a regular file of a sane size (a link to one is read, never written).
std::optional<QByteArray> ReadSettingsFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kLargestSettingsFile) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.read(kLargestSettingsFile);
}

QString ExportFailureText(const ExportFileResult& result, const QString& path) {
    switch (result.kind) {
        case ExportFileResult::Kind::Written:
            break;
        case ExportFileResult::Kind::IsLink:
            return path + ": 是符号链接，未写入";
        case ExportFileResult::Kind::NotRegular:
            return path + ": 不是普通文件，未写入";
        case ExportFileResult::Kind::Failed:
            return QString::fromStdString(result.detail);
    }
    return QString();
}

}  // namespace

SettingEntry ComboSetting(const QString& key, int controlId, void (CQuendalDlg::*onSelected)()) {
    return {key,
            [controlId](const CQuendalDlg& w) { return w.ControlAs<QComboBox>(controlId)->currentText(); },
            [controlId, onSelected](CQuendalDlg& w, const QString& text) {
                auto* combo = w.ControlAs<QComboBox>(controlId);
                const int index = combo->findText(text.trimmed(), Qt::MatchFixedString);
                if (index < 0) {
                    return false;
                }
                combo->setCurrentIndex(index);
                (w.*onSelected)();
                return true;
            }};
}

SettingEntry CheckSetting(const QString& key, int controlId) {
    return BoolSetting(
        key, [controlId](const CQuendalDlg& w) { return w.ControlAs<QCheckBox>(controlId)->isChecked(); },
        [controlId](CQuendalDlg& w, bool on) {
            auto* box = w.ControlAs<QCheckBox>(controlId);
            if (box->isChecked() != on) {
                box->click();
            }
        });
}

SettingEntry BoolSetting(const QString& key, std::function<bool(const CQuendalDlg&)> get,
                         std::function<void(CQuendalDlg&, bool)> set) {
    return {key, [get](const CQuendalDlg& w) { return QString(get(w) ? "true" : "false"); },
            [set](CQuendalDlg& w, const QString& text) {
                const auto on = ParseBool(text);
                if (on) {
                    set(w, *on);
                }
                return on.has_value();
            }};
}

SettingEntry IntSetting(const QString& key, int min, int max, std::function<int(const CQuendalDlg&)> get,
                        std::function<void(CQuendalDlg&, int)> set) {
    return {key, [get](const CQuendalDlg& w) { return QString::number(get(w)); },
            [min, max, set](CQuendalDlg& w, const QString& text) {
                const auto n = ParseInt(text, min, max);
                if (n) {
                    set(w, *n);
                }
                return n.has_value();
            }};
}

SettingEntry ChoiceSetting(const QString& key, QStringList words, std::function<int(const CQuendalDlg&)> get,
                           std::function<void(CQuendalDlg&, int)> set) {
    return {key, [words, get](const CQuendalDlg& w) { return words.value(get(w)); },
            [words, set](CQuendalDlg& w, const QString& text) {
                const int index = static_cast<int>(words.indexOf(text.trimmed().toLower()));
                if (index >= 0) {
                    set(w, index);
                }
                return index >= 0;
            }};
}

CWindowSettings::CWindowSettings(QString path) : m_path(std::move(path)) {}

QString CWindowSettings::DefaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/quendal/quendal.ini";
}

void CWindowSettings::Restore(CQuendalDlg& window) {
    for (const SettingEntry& entry : SettingEntries()) {
        m_defaults[entry.key] = entry.read(window);
    }
    const std::optional<QByteArray> bytes = m_path.isEmpty() ? std::nullopt : ReadSettingsFile(m_path);
    QTemporaryDir copyDir;
    if (!bytes || !copyDir.isValid()) {
        return;
    }
    QFile copy(copyDir.filePath(kCopyName));
    if (!copy.open(QIODevice::WriteOnly) || copy.write(*bytes) != bytes->size()) {
        return;
    }
    copy.close();
    QSettings file(copy.fileName(), QSettings::IniFormat);
    for (const SettingEntry& entry : SettingEntries()) {
        if (!file.contains(entry.key)) {
            continue;
        }
        // A value the window cannot show (a list, a word it does not know) is replaced by the default.
        if (!entry.apply(window, file.value(entry.key).toString())) {
            entry.apply(window, m_defaults[entry.key]);
        }
    }
}

void CWindowSettings::ApplyDefaults(CQuendalDlg& window) const {
    for (const SettingEntry& entry : SettingEntries()) {
        if (const auto it = m_defaults.find(entry.key); it != m_defaults.end()) {
            entry.apply(window, it->second);
        }
    }
}

bool CWindowSettings::Save(const CQuendalDlg& window, QString& error) const {
    if (m_path.isEmpty()) {
        return true;
    }
    QTemporaryDir copyDir;
    if (!copyDir.isValid()) {
        error = copyDir.errorString();
        return false;
    }
    const QString copyPath = copyDir.filePath(kCopyName);
    {
        QSettings copy(copyPath, QSettings::IniFormat);
        for (const SettingEntry& entry : SettingEntries()) {
            copy.setValue(entry.key, entry.read(window));
        }
        copy.sync();
        if (copy.status() != QSettings::NoError) {
            error = copyPath + ": QSettings";
            return false;
        }
    }
    QFile copy(copyPath);
    if (!copy.open(QIODevice::ReadOnly)) {
        error = copyPath + ": " + copy.errorString();
        return false;
    }
    const QByteArray text = copy.readAll();
    // The folder is made for this user alone; one that exists is left as it is.
    const QFileInfo info(m_path);
    if (!info.dir().exists()) {
        if (!QDir().mkpath(info.absolutePath())) {
            error = info.absolutePath() + ": 无法创建";
            return false;
        }
        QFile::setPermissions(info.absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const ExportFileResult result = WriteExportFile(
        info.filesystemFilePath(), std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
    error = ExportFailureText(result, m_path);
    return error.isEmpty();
}
