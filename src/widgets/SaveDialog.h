#pragma once
// The save-file dialog of every command that writes a run's file (Save,
// Export Report as PDF): one file type, its suffix added when the user types
// none, a question before an existing file is replaced, the name offered made
// from the run's moment.
#include "data/SampleExport.h"

#include <QString>
#include <cstdint>

class QWidget;

namespace SaveDialog {

struct FileType {
    QString title;  // the dialog's title; empty leaves the platform's own
    QString filter; // "PDF Files (*.pdf)"
    QString suffix; // "pdf", without the dot
};

// The export commands' texts, in every window that offers them.
inline constexpr char kExportCsvText[] = "Spreadsheet (CSV, UTF-8)\xE2\x80\xA6";
inline constexpr char kExportJsonlText[] = "JSON lines\xE2\x80\xA6";
// The file type of an export in that format (csv or jsonl).
FileType exportType(SampleExport::Format format);

// "%y-%m-%d %H.%M.%S" of the moment in local time.
QString proposedName(int64_t secondsSince1970);

// Shows the dialog modally in startDir offering proposedName with the
// type's suffix. Returns the chosen path, or an empty text when cancelled.
// extra, when given, is shown under the dialog's own controls (Qt's own
// dialog is then used) and stays the caller's.
QString ask(QWidget* parent, const FileType& type, const QString& startDir, const QString& proposedName,
            QWidget* extra = nullptr);

} // namespace SaveDialog
