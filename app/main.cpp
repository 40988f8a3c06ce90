// Quendal: the DTU configuration tool and serial terminal. One window, run modally; the program ends with it.
#include <QApplication>
#include <QStyleFactory>
#include <cstdio>
#include <cstring>

#include "app/message_box.h"
#include "app/qt_param_form.h"
#include "app/qt_translations.h"
#include "app/quendal_dlg.h"
#include "app/window_settings.h"
#include "quendal_version.h"

int main(int argc, char* argv[]) {
    // Answered before Qt starts, so it works where there is no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quendal %s\n", QUENDAL_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    InstallQtTranslations(app);
    // The window was drawn for the classic control style.
    if (QStyle* style = QStyleFactory::create("Windows")) {
        QApplication::setStyle(style);
    }
    if (!GbkCodecAvailable()) {
        AppMessageBox(nullptr, "This system has no GBK converter; device texts cannot be converted.",
                      BoxIcon::Error);
        return 1;
    }
    CQuendalDlg dlg(nullptr, CWindowSettings::DefaultPath());
    dlg.exec();
    return 0;
}
