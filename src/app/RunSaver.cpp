#include "app/RunSaver.h"

#include "data/RunFiles.h"
#include "widgets/SaveDialog.h"

#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>

namespace {

// Wait cursor for the lifetime of the object, however the save ends.
struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

RunSaver::RunSaver(const RunView& run, QString settingsDir)
    : m_run([run] { return run; }), m_settingsDir(std::move(settingsDir))
{
}

RunSaver::RunSaver(RunSource run, QString settingsDir)
    : m_run(std::move(run)), m_settingsDir(std::move(settingsDir))
{
}

QString RunSaver::proposedName(int64_t secondsSince1970)
{
    return SaveDialog::proposedName(secondsSince1970);
}

QString RunSaver::askWithDialog(QWidget* parent, const QString& startDir, const QString& proposedName)
{
    const SaveDialog::FileType dataFile {{}, QStringLiteral("DataLogger Files (*.AsmDat)"), QStringLiteral("AsmDat")};
    return SaveDialog::ask(parent, dataFile, startDir, proposedName);
}

void RunSaver::showError(QWidget* parent, const QString& text)
{
    QMessageBox::warning(parent, QStringLiteral("ZB740"), text);
}

Status RunSaver::save(QWidget* parent, YScaleValues scale)
{
    // The dialog starts in the settings folder; create it on first use.
    if (!m_settingsDir.isEmpty())
        QDir().mkpath(m_settingsDir);
    const int64_t proposed = m_proposedTime >= 0 ? m_proposedTime : QDateTime::currentSecsSinceEpoch();
    const QString path = m_choose(parent, m_settingsDir, proposedName(proposed));
    if (path.isEmpty())
        return Status::cancelled();

    Status saved;
    {
        WaitCursor wait;
        const RunView run = m_run();
        m_saved = run.info();
        m_savedPath = path;
        saved = RunFiles::saveRun(path, run, scale);
    }
    if (!saved.ok())
        m_report(parent, saved.message());
    return saved;
}
