#include "app/save_text_file.h"

#include <filesystem>

#include "app/export_file.h"
#include "app/message_box.h"

bool SaveTextFile(QWidget* parent, const QString& path, std::string_view content) {
    const ExportFileResult written = WriteExportFile(std::filesystem::path(path.toStdU16String()), content);
    switch (written.kind) {
        case ExportFileResult::Kind::Written:
            return true;
        case ExportFileResult::Kind::IsLink:
            AppMessageBox(parent, QString("%1 是一个链接，未写入：只写入普通文件，请另选文件名").arg(path));
            return false;
        case ExportFileResult::Kind::NotRegular:
            AppMessageBox(parent, QString("%1 不是普通文件，未写入").arg(path));
            return false;
        case ExportFileResult::Kind::Failed:
            break;
    }
    AppMessageBox(parent, QString("无法写入 %1：%2").arg(path, QString::fromStdString(written.detail)));
    return false;
}
