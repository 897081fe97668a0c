#include "report/ReportPrinter.h"

#include "report/PrintQueueStatus.h"
#include "report/ReportFacts.h"
#include "report/ReportOptionsTab.h"
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
#include <QTabWidget>

ReportPrinter::ReportPrinter()
    : m_dialog([this](QPrinter& printer, QWidget* parent) {
        return runPrintDialogWithOptions(printer, parent, m_options);
    })
    , m_makePrinter(&ReportPrinter::makePrinter)
    , m_choosePath([this](QWidget* parent, const QString& startDir, const QString& name) {
        return askPdfPathWithOptions(parent, startDir, name, m_options);
    })
    , m_report(&ReportPrinter::showMessage)
    , m_clock([] { return QDateTime::currentSecsSinceEpoch(); })
    , m_confirm(&ReportPrinter::askYesNo)
{
}

bool ReportPrinter::askYesNo(QWidget* parent, const QString& question)
{
    return QMessageBox::question(parent, QStringLiteral("ZB740"), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
        == QMessageBox::Yes;
}

QString ReportPrinter::offScaleQuestion(const QString& note)
{
    return note + QStringLiteral(" Print anyway?");
}

bool ReportPrinter::wantsOffScalePage(QWidget* parent, const ReportInput& input) const
{
    const std::optional<QString> note = ReportFacts::offScaleNote(input);
    return !note || m_confirm(parent, offScaleQuestion(*note));
}

void ReportPrinter::loadOptions()
{
    if (!m_settingsFile.isEmpty())
        m_options = ReportOptionsStore::load(m_settingsFile);
}

void ReportPrinter::keepOptions()
{
    // A settings file that cannot be written costs the choice next time,
    // not this report.
    if (!m_settingsFile.isEmpty())
        (void)ReportOptionsStore::save(m_settingsFile, m_options);
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

bool ReportPrinter::runPrintDialogWithOptions(QPrinter& printer, QWidget* parent, ReportOptions& options)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintCollateCopies
                      | QAbstractPrintDialog::PrintShowPageSize);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    auto* tab = new ReportOptionsTab(options, &dialog);
    dialog.setOptionTabs({tab});
    if (dialog.exec() != QDialog::Accepted)
        return false;
    options = tab->options();
    return true;
}

QString ReportPrinter::askPdfPathWithOptions(QWidget* parent, const QString& startDir, const QString& proposedName,
                                             ReportOptions& options)
{
    const SaveDialog::FileType pdf {QStringLiteral("Export Report as PDF"), QStringLiteral("PDF Files (*.pdf)"),
                                    QStringLiteral("pdf")};
    auto* tabs = new QTabWidget;
    auto* tab = new ReportOptionsTab(options);
    tabs->addTab(tab, tab->windowTitle());
    const QString path = SaveDialog::ask(parent, pdf, startDir, proposedName, tabs);
    if (!path.isEmpty())
        options = tab->options();
    delete tabs;
    return path;
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
    if (!wantsOffScalePage(parent, input))
        return Status::cancelled();
    loadOptions();
    std::unique_ptr<QPrinter> printer = m_makePrinter();
    printer->setDocName(QLatin1String(ReportPdf::kDocumentName));
    printer->setPrintRange(QPrinter::AllPages);
    if (!m_dialog(*printer, parent))
        return Status::cancelled();
    keepOptions();
    ReportInput chosen = input;
    chosen.options = m_options;
    return shown(printOn(*printer, chosen), parent);
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
    const bool full = input.options.style == ReportStyle::Full;
    const QRectF pageRect = printer.pageRect(QPrinter::DevicePixel);
    const QRectF fullArea = ReportPage::fullArea(printer.paperRect(QPrinter::DevicePixel).translated(-pageRect.topLeft()),
                                                 QRectF(QPointF(0, 0), pageRect.size()), printer.resolution() / 25.4);
    if (Status s = full ? ReportPage::checkFullArea(fullArea.size() / (printer.resolution() / 25.4))
                        : ReportPage::checkArea(printer.pageLayout().paintRect(QPageLayout::Millimeter).size());
        !s.ok())
        return s;

    QPainter painter;
    if (!painter.begin(&printer))
        return Status::failure(Status::Code::Failed, QLatin1String(kInitialErrorText));
    if (printer.printerState() != QPrinter::Active) {
        printer.abort();
        painter.end();
        return Status::failure(Status::Code::Failed, QLatin1String(kCannotStartText));
    }
    if (full)
        ReportPage::paintFull(painter, input, m_clock(), fullArea);
    else
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
    if (!wantsOffScalePage(parent, input))
        return Status::cancelled();
    if (!startDir.isEmpty())
        QDir().mkpath(startDir);
    loadOptions();
    const QString path = m_choosePath(parent, startDir, proposedPdfName(input.start));
    if (path.isEmpty())
        return Status::cancelled();
    keepOptions();
    ReportInput chosen = input;
    chosen.options = m_options;
    return shown(ReportPdf::write(path, chosen, m_clock(),
                                  m_options.style == ReportStyle::Full ? ReportPdf::fullLayout() : ReportPdf::a4Layout()),
                 parent);
}
