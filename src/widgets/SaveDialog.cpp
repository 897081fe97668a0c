#include "widgets/SaveDialog.h"

#include "base/LocalTime.h"

#include <QFileDialog>

namespace SaveDialog {

FileType exportType(SampleExport::Format format)
{
    if (format == SampleExport::Format::Jsonl)
        return {QStringLiteral("Export as JSON Lines"), QStringLiteral("JSON Lines (*.jsonl)"), QStringLiteral("jsonl")};
    return {QStringLiteral("Export as Spreadsheet (CSV, UTF-8)"), QStringLiteral("CSV Files, UTF-8 (*.csv)"),
            QStringLiteral("csv")};
}

QString proposedName(int64_t secondsSince1970)
{
    return LocalTime::format(secondsSince1970, "%y-%m-%d %H.%M.%S");
}

QString ask(QWidget* parent, const FileType& type, const QString& startDir, const QString& proposedName)
{
    QFileDialog dialog(parent, type.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(type.filter);
    dialog.setDefaultSuffix(type.suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setDirectory(startDir);
    // The proposed name carries dots ("23.45.55"), which the dialog would
    // take for an extension and then add none: offer it with its extension.
    dialog.selectFile(proposedName + QLatin1Char('.') + type.suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace SaveDialog
