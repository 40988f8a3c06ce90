#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/app_icon.h"
#include "app/layout_builder.h"
#include "res/main_layout.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kAboutTitle.data(), static_cast<qsizetype>(kAboutTitle.size())));
    setWindowIcon(AppIcon());
    setFont(DialogFont());
    setFixedSize(DialogUnitsToPixels(kAboutSize.width), DialogUnitsToPixels(kAboutSize.height));

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIconPixmap(32));
    icon->setGeometry(ToPixels(kAboutIconRect));
    icon->setAccessibleName("Quendal");

    auto* text =
        new QLabel(QString::fromUtf8(kAboutText.data(), static_cast<qsizetype>(kAboutText.size())), this);
    text->setTextFormat(Qt::PlainText);
    text->setGeometry(ToPixels(kAboutTextRect));

    auto* ok =
        new QPushButton(QString::fromUtf8(kAboutOk.data(), static_cast<qsizetype>(kAboutOk.size())), this);
    ok->setGeometry(ToPixels(kAboutOkRect));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
