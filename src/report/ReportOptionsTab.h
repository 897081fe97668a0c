#pragma once
// The "Report" tab of the print dialog and of Export Report as PDF: which
// page (classic or full), the operator and the notes. The choice is kept in
// ZB740.ini in its own section, [Report].
#include "report/ReportInput.h"

#include <QString>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace ReportOptionsStore {

inline constexpr char kSection[] = "Report";
// The options ZB740.ini holds (the defaults where it holds none). Notes keep
// their line breaks, written as "\n" (a backslash as "\\").
ReportOptions load(const QString& settingsFile);
Status save(const QString& settingsFile, const ReportOptions& options);

} // namespace ReportOptionsStore

class ReportOptionsTab : public QWidget {
    Q_OBJECT
public:
    // Shows the options; the tab's title is "Report".
    explicit ReportOptionsTab(const ReportOptions& options, QWidget* parent = nullptr);
    // The options as the tab shows them now.
    ReportOptions options() const;

private:
    QComboBox* m_layout;
    QLineEdit* m_operator;
    QPlainTextEdit* m_notes;
};
