#include "app/ExportCommands.h"

#include "base/DurableFile.h"
#include "widgets/SaveDialog.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

ExportCommands::ExportCommands(QWidget* window, QString startDir, RunSource source)
    : QObject(window)
    , m_window(window)
    , m_startDir(std::move(startDir))
    , m_source(std::move(source))
    , m_menu(new QMenu(QStringLiteral("Export"), window))
    , m_csv(new QAction(QString::fromUtf8(SaveDialog::kExportCsvText), this))
    , m_jsonl(new QAction(QString::fromUtf8(SaveDialog::kExportJsonlText), this))
{
    m_csv->setStatusTip(QStringLiteral("Export the run as a UTF-8 CSV table for spreadsheets and pandas"));
    m_jsonl->setStatusTip(QStringLiteral("Export the run as JSON lines, one sample a line, for scripts"));
    m_menu->addAction(m_csv);
    m_menu->addAction(m_jsonl);
    connect(m_csv, &QAction::triggered, this,
            [this] { (void)exportRun(m_window, SampleExport::Format::Csv, m_startDir, m_source); });
    connect(m_jsonl, &QAction::triggered, this,
            [this] { (void)exportRun(m_window, SampleExport::Format::Jsonl, m_startDir, m_source); });
    setRunHasSamples(false);
}

void ExportCommands::setRunHasSamples(bool hasSamples)
{
    m_csv->setEnabled(hasSamples);
    m_jsonl->setEnabled(hasSamples);
}

QString ExportCommands::askWithDialog(QWidget* parent, SampleExport::Format format, const QString& startDir,
                                      const QString& proposedName)
{
    return SaveDialog::ask(parent, SaveDialog::exportType(format), startDir, proposedName);
}

Status ExportCommands::exportRun(QWidget* parent, SampleExport::Format format, const QString& startDir,
                                 const RunSource& source, const PathChooser& choose)
{
    // The dialog starts where Save's does; made on first use.
    if (!startDir.isEmpty())
        QDir().mkpath(startDir);
    const QString path = choose(parent, format, startDir, SaveDialog::proposedName(source().start()));
    if (path.isEmpty())
        return Status::cancelled();
    Status written;
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        written = DurableFile::save(path, SampleExport::bytes(source(), format, false));
        QGuiApplication::restoreOverrideCursor();
    }
    if (!written.ok()) {
        written = written.prefixed(
            QStringLiteral("Could not export \"%1\": ").arg(QDir::toNativeSeparators(path)));
        QMessageBox::warning(parent, QStringLiteral("ZB740"), written.message());
    }
    return written;
}
