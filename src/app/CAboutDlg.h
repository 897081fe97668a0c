#pragma once
#include "base/Version.h"

#include <QDialog>

// "About ZB740": the application icon, the version and OK.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
