#pragma once
// The main window's report commands: Print (menu, toolbar button, Ctrl+P)
// and File > Export Report as PDF. Both print the live run and are enabled
// only while it has samples. The window hands over its Print action and a
// source of the current report input; this object makes the export action
// and runs both through one ReportPrinter.
#include "report/ReportInput.h"
#include "report/ReportPrinter.h"

#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QWidget;

inline constexpr char kExportReportText[] = "Export Report as PDF\xE2\x80\xA6";

class ReportCommands : public QObject {
    Q_OBJECT
public:
    using InputSource = std::function<ReportInput()>;

    // startDir: where the export's save dialog starts.
    ReportCommands(QWidget* window, QAction* print, QString startDir, InputSource source);

    QAction* printAction() const { return m_print; }
    QAction* exportAction() const { return m_export; }
    ReportPrinter& printer() { return m_printer; }

    // Enabled state of both commands.
    void setRunHasSamples(bool hasSamples);

    void onPrint();
    void onExport();

private:
    QWidget* m_window;
    QAction* m_print;
    QAction* m_export;
    QString m_startDir;
    InputSource m_source;
    ReportPrinter m_printer;
};
