#pragma once
#include <QDialog>

// "About ZB740": the application icon, the version and OK.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// The version text shown by the About box and printed by --version.
inline constexpr const char* kVersionText = "ZB740 Version 2.1";
