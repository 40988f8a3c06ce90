#include "app/save_text_file.h"

#include <filesystem>

#include "app/export_file.h"
#include "app/layout_builder.h"
#include "app/message_box.h"
#include "res/texts.h"

bool SaveTextFile(QWidget* parent, const QString& path, std::string_view content) {
    const ExportFileResult written = WriteExportFile(std::filesystem::path(path.toStdU16String()), content);
    switch (written.kind) {
        case ExportFileResult::Kind::Written:
            return true;
        case ExportFileResult::Kind::IsLink:
            AppMessageBox(parent, Utf8(kTextSaveIsLink.utf8).arg(path));
            return false;
        case ExportFileResult::Kind::NotRegular:
            AppMessageBox(parent, Utf8(kTextExportNotRegular.utf8).arg(path));
            return false;
        case ExportFileResult::Kind::Failed:
            break;
    }
    AppMessageBox(parent, Utf8(kTextCannotWrite.utf8).arg(path, QString::fromStdString(written.detail)));
    return false;
}
