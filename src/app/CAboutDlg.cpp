#include "app/CAboutDlg.h"

#include "widgets/Pictures.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About ZB740"));
    auto* icon = new QLabel(this);
    icon->setPixmap(
        renderPictureIcon(QStringLiteral(":/res/app_icon.svg"), {QSize(32, 32)}, devicePixelRatioF()).pixmap(32, 32));
    auto* text = new QLabel(QString::fromLatin1(kVersionText), this);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(text, 1);
    row->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    setFixedSize(sizeHint().expandedTo(QSize(300, 80)));
}
