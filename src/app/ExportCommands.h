#pragma once
// File > Export of the main window: the shown run as a spreadsheet table
// ("Spreadsheet (CSV, UTF-8)…") or as JSON lines ("JSON lines…"), in the
// forms of zb740-cli export --format csv and jsonl (data/SampleExport.h),
// with local times. The file is chosen in the program's save dialog and
// written whole, durably, replacing an old file only once complete. Save
// keeps writing the data file and its tab-separated .csv; these are
// exports beside them. The logger window offers the same two commands for
// the set it shows, through exportRun().
#include "base/Status.h"
#include "data/RunView.h"
#include "data/SampleExport.h"

#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QMenu;
class QWidget;

class ExportCommands : public QObject {
    Q_OBJECT
public:
    using RunSource = std::function<RunView()>;
    // Returns the chosen path, or an empty text when cancelled.
    using PathChooser = std::function<QString(QWidget* parent, SampleExport::Format format,
                                              const QString& startDir, const QString& proposedName)>;

    // startDir: where the save dialog starts. The source gives the run as
    // it is when the file has been chosen.
    ExportCommands(QWidget* window, QString startDir, RunSource source);

    // The "Export" submenu with both commands.
    QMenu* menu() const { return m_menu; }
    QAction* csvAction() const { return m_csv; }
    QAction* jsonlAction() const { return m_jsonl; }
    void setRunHasSamples(bool hasSamples);

    // Asks for a file and writes the run into it in the format; a failure
    // is shown to the user. Cancelled when no file was chosen.
    static Status exportRun(QWidget* parent, SampleExport::Format format, const QString& startDir,
                            const RunSource& source, const PathChooser& choose = &askWithDialog);
    // The save dialog for the format: its file type, suffix and title.
    static QString askWithDialog(QWidget* parent, SampleExport::Format format, const QString& startDir,
                                 const QString& proposedName);

private:
    QWidget* m_window;
    QString m_startDir;
    RunSource m_source;
    QMenu* m_menu;
    QAction* m_csv;
    QAction* m_jsonl;
};
