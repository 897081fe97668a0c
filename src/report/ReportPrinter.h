#pragma once
// The commands that put the report on paper or into a PDF: Print (the main
// window's File > Print, its toolbar button and Ctrl+P, and the logger
// window's Print button) and Export Report as PDF. They run modally on the
// window thread and show failures in message boxes. The dialogs, the printer,
// the clock and the message boxes can be replaced, so tests drive them.
#include "base/Status.h"
#include "report/ReportInput.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QPrinter;
class QWidget;

// The texts the print command shows when the printer fails.
inline constexpr char kPrinterBusyText[] = "Printer is busy!";
inline constexpr char kInitialErrorText[] = "Initial error!";
inline constexpr char kCannotStartText[] = "Can't start printing!";
inline constexpr char kNotDeliveredText[] = "The printer did not accept the report.";

class ReportPrinter {
public:
    // Shows the print dialog for the printer; true when the user chose to
    // print, with the printer set up as chosen.
    using DialogRunner = std::function<bool(QPrinter& printer, QWidget* parent)>;
    using PrinterFactory = std::function<std::unique_ptr<QPrinter>()>;
    // Returns the chosen PDF path, or an empty text when cancelled.
    using PathChooser = std::function<QString(QWidget* parent, const QString& startDir, const QString& proposedName)>;
    using Reporter = std::function<void(QWidget* parent, const QString& text)>;
    // Seconds since 1970 of the moment printed as the date.
    using Clock = std::function<int64_t()>;
    // Asks a yes/no question; true for yes.
    using Confirmer = std::function<bool(QWidget* parent, const QString& question)>;

    ReportPrinter();
    // Its default dialogs show and fill its own options: never copied.
    ReportPrinter(const ReportPrinter&) = delete;
    ReportPrinter& operator=(const ReportPrinter&) = delete;

    void setDialogRunner(DialogRunner run) { m_dialog = std::move(run); }
    void setPrinterFactory(PrinterFactory make) { m_makePrinter = std::move(make); }
    void setPathChooser(PathChooser choose) { m_choosePath = std::move(choose); }
    void setReporter(Reporter report) { m_report = std::move(report); }
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setConfirmer(Confirmer confirm) { m_confirm = std::move(confirm); }
    // ZB740.ini, where the Report tab's choice is kept between prints; none
    // keeps it for the life of this object only.
    void setSettingsFile(QString path) { m_settingsFile = std::move(path); }
    // What the Report tab offers next, and the page Print and Export make
    // when the dialogs are replaced.
    const ReportOptions& options() const { return m_options; }
    void setOptions(const ReportOptions& options) { m_options = options; }

    // Print: when no shown curve lies within the Y scale, the question
    // whether to print anyway; then the print dialog with its Report tab,
    // then the page chosen there on the chosen printer, or into the file
    // chosen as its destination. Cancel (or No) returns cancelled and shows
    // nothing else; every failure has been shown when this returns.
    Status PrintTestReport(QWidget* parent, const ReportInput& input);

    // The logger window's Print button: as above, but a data set without
    // samples prints nothing and shows no dialog.
    Status printLoggerSet(QWidget* parent, const ReportInput& input);

    // Export Report as PDF: the same question, a save dialog with the
    // Report tab starting in startDir with a name made from the run's
    // start, then the page chosen there as an A4 PDF.
    Status exportPdf(QWidget* parent, const ReportInput& input, const QString& startDir);

    // The defaults.
    static std::unique_ptr<QPrinter> makePrinter();
    static bool runPrintDialog(QPrinter& printer, QWidget* parent);
    // The print dialog with the Report tab showing options, which take the
    // tab's choice when the user prints.
    static bool runPrintDialogWithOptions(QPrinter& printer, QWidget* parent, ReportOptions& options);
    static QString askPdfPath(QWidget* parent, const QString& startDir, const QString& proposedName);
    // The save dialog with the Report tab under it, likewise.
    static QString askPdfPathWithOptions(QWidget* parent, const QString& startDir, const QString& proposedName,
                                         ReportOptions& options);
    static bool askYesNo(QWidget* parent, const QString& question);
    // " Print anyway?" follows the note of an empty graph in the question.
    static QString offScaleQuestion(const QString& note);
    static void showMessage(QWidget* parent, const QString& text);
    // "%y-%m-%d %H.%M.%S" of the run's start (the names Save proposes).
    static QString proposedPdfName(int64_t start);

private:
    Status printOn(QPrinter& printer, const ReportInput& input);
    Status shown(Status s, QWidget* parent) const;
    // False when the page would show no curve and the user does not want it.
    bool wantsOffScalePage(QWidget* parent, const ReportInput& input) const;
    void loadOptions();
    void keepOptions();

    DialogRunner m_dialog;
    PrinterFactory m_makePrinter;
    PathChooser m_choosePath;
    Reporter m_report;
    Clock m_clock;
    Confirmer m_confirm;
    QString m_settingsFile;
    ReportOptions m_options;
};
