#include "report/ReportOptionsTab.h"

#include "settings/IniFile.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace ReportOptionsStore {

namespace {

QString escaped(const QString& text)
{
    QString out;
    for (QChar ch : text) {
        if (ch == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (ch == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (ch != QLatin1Char('\r'))
            out += ch;
    }
    return out;
}

QString unescaped(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
            ++i;
            out += text[i] == QLatin1Char('n') ? QChar(QLatin1Char('\n')) : text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

ReportOptions load(const QString& settingsFile)
{
    const IniFile ini(settingsFile);
    const QString section = QLatin1String(kSection);
    ReportOptions o;
    o.style = ini.readText(section, QStringLiteral("Layout"), QStringLiteral("classic")) == QLatin1String("full")
                ? ReportStyle::Full
                : ReportStyle::Classic;
    o.operatorName = ini.readText(section, QStringLiteral("Operator"), QString());
    o.notes = unescaped(ini.readText(section, QStringLiteral("Notes"), QString()));
    return o;
}

Status save(const QString& settingsFile, const ReportOptions& o)
{
    const IniFile ini(settingsFile);
    const QString section = QLatin1String(kSection);
    Status first = Status::success();
    const std::pair<QString, QString> entries[] = {
        {QStringLiteral("Layout"), o.style == ReportStyle::Full ? QStringLiteral("full") : QStringLiteral("classic")},
        {QStringLiteral("Operator"), QString(o.operatorName).replace(QLatin1Char('\n'), QLatin1Char(' '))},
        {QStringLiteral("Notes"), escaped(o.notes)},
    };
    for (const auto& [key, value] : entries) {
        if (Status s = ini.writeText(section, key, value); !s.ok() && first.ok())
            first = s;
    }
    return first;
}

} // namespace ReportOptionsStore

ReportOptionsTab::ReportOptionsTab(const ReportOptions& options, QWidget* parent)
    : QWidget(parent)
    , m_layout(new QComboBox(this))
    , m_operator(new QLineEdit(options.operatorName, this))
    , m_notes(new QPlainTextEdit(options.notes, this))
{
    setWindowTitle(QStringLiteral("Report"));
    setObjectName(QStringLiteral("reportOptions"));
    m_layout->setObjectName(QStringLiteral("reportLayout"));
    m_operator->setObjectName(QStringLiteral("reportOperator"));
    m_notes->setObjectName(QStringLiteral("reportNotes"));
    m_layout->addItem(QStringLiteral("Classic (graph only)"));
    m_layout->addItem(QStringLiteral("Full test report"));
    m_layout->setCurrentIndex(options.style == ReportStyle::Full ? 1 : 0);
    m_notes->setTabChangesFocus(true);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Layout:"), m_layout);
    form->addRow(QStringLiteral("&Operator:"), m_operator);
    form->addRow(QStringLiteral("&Notes:"), m_notes);
}

ReportOptions ReportOptionsTab::options() const
{
    ReportOptions o;
    o.style = m_layout->currentIndex() == 1 ? ReportStyle::Full : ReportStyle::Classic;
    o.operatorName = m_operator->text();
    o.notes = m_notes->toPlainText();
    return o;
}
