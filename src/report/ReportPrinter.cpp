#include "report/ReportPrinter.h"

#include "report/PrintQueueStatus.h"
#include "report/ReportPage.h"
#include "report/ReportPdf.h"
#include "widgets/SaveDialog.h"

#include <QDateTime>
#include <QDir>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

ReportPrinter::ReportPrinter()
    : m_dialog(&ReportPrinter::runPrintDialog)
    , m_makePrinter(&ReportPrinter::makePrinter)
    , m_choosePath(&ReportPrinter::askPdfPath)
    , m_report(&ReportPrinter::showMessage)
    , m_clock([] { return QDateTime::currentSecsSinceEpoch(); })
{
}

std::unique_ptr<QPrinter> ReportPrinter::makePrinter()
{
    // 1200 dots per inch: a tenth of a millimetre is several dots wide.
    return std::make_unique<QPrinter>(QPrinter::HighResolution);
}

bool ReportPrinter::runPrintDialog(QPrinter& printer, QWidget* parent)
{
    QPrintDialog dialog(&printer, parent);
    // One page: no page numbers, no selection. Printing to a PDF file stays
    // on offer, so the report can be had without a printer.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintCollateCopies
                      | QAbstractPrintDialog::PrintShowPageSize);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    return dialog.exec() == QDialog::Accepted;
}

QString ReportPrinter::askPdfPath(QWidget* parent, const QString& startDir, const QString& proposedName)
{
    const SaveDialog::FileType pdf {QStringLiteral("Export Report as PDF"), QStringLiteral("PDF Files (*.pdf)"),
                                    QStringLiteral("pdf")};
    return SaveDialog::ask(parent, pdf, startDir, proposedName);
}

void ReportPrinter::showMessage(QWidget* parent, const QString& text)
{
    QMessageBox::warning(parent, QStringLiteral("ZB740"), text);
}

QString ReportPrinter::proposedPdfName(int64_t start)
{
    return SaveDialog::proposedName(start);
}

Status ReportPrinter::shown(Status s, QWidget* parent) const
{
    if (!s.ok() && !s.isCancelled())
        m_report(parent, s.message());
    return s;
}

Status ReportPrinter::PrintTestReport(QWidget* parent, const ReportInput& input)
{
    std::unique_ptr<QPrinter> printer = m_makePrinter();
    printer->setDocName(QLatin1String(ReportPdf::kDocumentName));
    printer->setPrintRange(QPrinter::AllPages);
    if (!m_dialog(*printer, parent))
        return Status::cancelled();
    return shown(printOn(*printer, input), parent);
}

Status ReportPrinter::printLoggerSet(QWidget* parent, const ReportInput& input)
{
    if (input.count() <= 0)
        return Status::success();
    return PrintTestReport(parent, input);
}

Status ReportPrinter::printOn(QPrinter& printer, const ReportInput& input)
{
    // The dialog's file destination: written like an export, so that a file
    // that cannot be written is reported and never left half-written.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return ReportPdf::write(printer.outputFileName(), input, m_clock(), printer.pageLayout(),
                                printer.resolution());

    // No printer to print on: none chosen, the chosen queue has gone since
    // the dialog listed it, or the printer reports a fault before any job.
    const bool queueGone = printer.outputFormat() == QPrinter::NativeFormat
                        && QPrinterInfo::printerInfo(printer.printerName()).isNull();
    if (!printer.isValid() || queueGone || printer.printerState() == QPrinter::Error)
        return Status::failure(Status::Code::NoSuchDevice, QLatin1String(kPrinterBusyText));
    // A cut report is worth nothing: say so before anything is sent.
    if (Status s = ReportPage::checkArea(printer.pageLayout().paintRect(QPageLayout::Millimeter).size()); !s.ok())
        return s;

    QPainter painter;
    if (!painter.begin(&printer))
        return Status::failure(Status::Code::Failed, QLatin1String(kInitialErrorText));
    if (printer.printerState() != QPrinter::Active) {
        printer.abort();
        painter.end();
        return Status::failure(Status::Code::Failed, QLatin1String(kCannotStartText));
    }
    ReportPage::paint(painter, input, m_clock());
    if (!painter.end() || printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        return Status::failure(Status::Code::WriteFailed, QLatin1String(kNotDeliveredText));
    // Ending the page hands the job to the queue; Qt does not say whether
    // the queue took it.
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        if (const std::optional<QString> refused = PrintQueueStatus::lastFailure())
            return Status::failure(Status::Code::WriteFailed,
                                   QLatin1String(kNotDeliveredText) + QLatin1Char(' ') + *refused);
    }
    return Status::success();
}

Status ReportPrinter::exportPdf(QWidget* parent, const ReportInput& input, const QString& startDir)
{
    // The dialog starts in the program's folder, as Save does; make it on
    // first use.
    if (!startDir.isEmpty())
        QDir().mkpath(startDir);
    const QString path = m_choosePath(parent, startDir, proposedPdfName(input.start));
    if (path.isEmpty())
        return Status::cancelled();
    return shown(ReportPdf::write(path, input, m_clock()), parent);
}
