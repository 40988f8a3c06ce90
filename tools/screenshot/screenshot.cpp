// Renders the window offscreen and writes PNGs for the README: the narrow window, the wide one, and,
// with --port N, the form after a parameter read from the device on COMn (the simulated DTU).
//   quendal-screenshot OUTDIR [--port N]
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStyleFactory>
#include <QThread>
#include <cstdio>

#include "app/quendal_dlg.h"
#include "app/status_bar.h"

namespace {

void Pump(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

bool Save(QWidget& window, const QString& path) {
    Pump(100);
    const bool ok = window.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (QStyle* style = QStyleFactory::create("Windows")) {
        QApplication::setStyle(style);
    }
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: quendal-screenshot OUTDIR [--port N]\n");
        return 2;
    }
    const QString dir = args.at(1);
    const int portIndex = args.indexOf("--port");
    const int port = portIndex > 0 && portIndex + 1 < args.size() ? args.at(portIndex + 1).toInt() : 0;

    CQuendalDlg dlg;
    bool ok = Save(dlg, dir + "/window-narrow.png");
    dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
    ok = Save(dlg, dir + "/window-wide.png") && ok;

    if (port > 0) {
        auto* ports = dlg.ControlAs<QComboBox>(IDC_PORT_COMBO);
        ports->setCurrentIndex(port - 1);
        dlg.OnPortSelected();
        dlg.OnOpenPort();
        Pump(300);
        dlg.OnReadParams();
        Pump(1500);
        ok = Save(dlg, dir + "/window-read.png") && ok;
        dlg.OnOpenPort();
    }
    return ok ? 0 : 1;
}
