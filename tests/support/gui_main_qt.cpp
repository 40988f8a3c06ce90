// main() for the window tests: one QApplication for the whole program, headless unless told otherwise,
// and every message box answered at once by the recorder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>

#include "tests/support/gui_support.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (QStyle* style = QStyleFactory::create("Windows")) {
        QApplication::setStyle(style);
    }
    ::testing::InitGoogleTest(&argc, argv);
    BoxRecorder::Install();
    return RUN_ALL_TESTS();
}
