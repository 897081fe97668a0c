#include "report/ReportCommands.h"

#include <QAction>
#include <QWidget>

ReportCommands::ReportCommands(QWidget* window, QAction* print, QString startDir, InputSource source)
    : QObject(window)
    , m_window(window)
    , m_print(print)
    , m_export(new QAction(QString::fromUtf8(kExportReportText), this))
    , m_startDir(std::move(startDir))
    , m_source(std::move(source))
{
    m_export->setStatusTip(QStringLiteral("Export the test report as a PDF file"));
    connect(m_print, &QAction::triggered, this, &ReportCommands::onPrint);
    connect(m_export, &QAction::triggered, this, &ReportCommands::onExport);
    setRunHasSamples(false);
}

void ReportCommands::setRunHasSamples(bool hasSamples)
{
    m_print->setEnabled(hasSamples);
    m_export->setEnabled(hasSamples);
}

void ReportCommands::onPrint()
{
    // A shortcut can fire between two refreshes of the enabled state.
    const ReportInput input = m_source();
    if (input.count() == 0)
        return;
    (void)m_printer.PrintTestReport(m_window, input); // failures were shown
}

void ReportCommands::onExport()
{
    const ReportInput input = m_source();
    if (input.count() == 0)
        return;
    (void)m_printer.exportPdf(m_window, input, m_startDir); // failures were shown
}
