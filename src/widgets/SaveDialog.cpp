#include "widgets/SaveDialog.h"

#include "base/LocalTime.h"

#include <QFileDialog>
#include <QGridLayout>

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

QString ask(QWidget* parent, const FileType& type, const QString& startDir, const QString& proposedName,
            QWidget* extra)
{
    QFileDialog dialog(parent, type.title);
    if (extra) {
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(extra, grid->rowCount(), 0, 1, grid->columnCount());
    }
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(type.filter);
    dialog.setDefaultSuffix(type.suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setDirectory(startDir);
    // The proposed name carries dots ("23.45.55"), which the dialog would
    // take for an extension and then add none: offer it with its extension.
    dialog.selectFile(proposedName + QLatin1Char('.') + type.suffix);
    const bool accepted = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    const QString chosen = accepted ? dialog.selectedFiles().constFirst() : QString();
    // The extra widget outlives the dialog: the caller reads it afterwards.
    if (extra)
        extra->setParent(nullptr);
    return chosen;
}

} // namespace SaveDialog
