#pragma once
// The Save command: asks where to put the run, then writes the data file and
// its text export. Used by the Save command, and by the Yes answers of the
// save questions before a new run and before closing.
#include "base/Status.h"
#include "data/DataFile.h"
#include "data/RunView.h"

#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

class RunSaver {
public:
    // Returns the chosen data file path, or an empty text when cancelled.
    using PathChooser = std::function<QString(QWidget* parent, const QString& startDir, const QString& proposedName)>;
    // Shows a failure to the user.
    using Reporter = std::function<void(QWidget* parent, const QString& text)>;

    RunSaver(const RunView& run, QString settingsDir);
    // The run as it is once the user has chosen the file: a run that goes
    // on recording while the dialog is open is saved with every sample it
    // has by then.
    using RunSource = std::function<RunView()>;
    RunSaver(RunSource run, QString settingsDir);

    void setPathChooser(PathChooser chooser) { m_choose = std::move(chooser); }
    void setReporter(Reporter reporter) { m_report = std::move(reporter); }
    // The moment the proposed file name is made of (default: now).
    void setProposedTime(int64_t secondsSince1970) { m_proposedTime = secondsSince1970; }

    // Saves the run with the graph's vertical scale: ok when both files were
    // written, cancelled when the user chose no file, else the failure (it
    // has been shown to the user).
    Status save(QWidget* parent, YScaleValues scale);
    // The facts of the run the last save wrote (or tried to write).
    const RunInfo& savedRun() const { return m_saved; }
    // The data file the last save wrote (or tried to write).
    const QString& savedPath() const { return m_savedPath; }

    // "%y-%m-%d %H.%M.%S" of the given moment in local time.
    static QString proposedName(int64_t secondsSince1970);
    // The save-file dialog: DataLogger filter, default suffix, overwrite check.
    static QString askWithDialog(QWidget* parent, const QString& startDir, const QString& proposedName);
    static void showError(QWidget* parent, const QString& text);

private:
    RunSource m_run;
    RunInfo m_saved;
    QString m_savedPath;
    QString m_settingsDir;
    int64_t m_proposedTime = -1;
    PathChooser m_choose = &RunSaver::askWithDialog;
    Reporter m_report = &RunSaver::showError;
};
