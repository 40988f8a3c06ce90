// main() for the window tests: one QApplication for the whole program, headless unless told otherwise,
// and every message box answered at once by the recorder. The program gets a port directory and settings
// folders of its own, empty, so that neither a window nor a simulator the user runs meanwhile (their COMn
// links, their settings) can change what a test finds; fixtures that link ports make their own on top.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QStyleFactory>
#include <QTemporaryDir>

#include "tests/support/gui_support.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir own(QDir::tempPath() + "/quendal-gui-test-XXXXXX");
    if (!own.isValid()) {
        return 2;
    }
    for (const char* sub : {"ports", "config", "data", "cache"}) {
        QDir(own.path()).mkdir(sub);
        QFile::setPermissions(own.filePath(sub),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    qputenv("QUENDAL_PORT_DIR", QFile::encodeName(own.filePath("ports")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(own.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(own.filePath("data")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(own.filePath("cache")));
    QApplication app(argc, argv);
    if (QStyle* style = QStyleFactory::create("Windows")) {
        QApplication::setStyle(style);
    }
    ::testing::InitGoogleTest(&argc, argv);
    BoxRecorder::Install();
    return RUN_ALL_TESTS();
}
