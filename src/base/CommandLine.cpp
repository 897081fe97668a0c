#include "base/CommandLine.h"

#include <cstdio>
#include <utility>

namespace {

const QString kHelp = QStringLiteral("help"), kShortHelp = QStringLiteral("h");
const QString kVersion = QStringLiteral("version"), kShortVersion = QStringLiteral("V");

void print(FILE* out, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), out);
    std::fflush(out);
}

} // namespace

CommandLine::CommandLine(QString name, QString help, QString version)
    : m_name(std::move(name))
    , m_help(std::move(help))
    , m_version(std::move(version))
{
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    m_parser.addOption(QCommandLineOption(QStringList {kShortHelp, kHelp}));
    m_parser.addOption(QCommandLineOption(QStringList {kShortVersion, kVersion}));
    m_options << Option {kShortHelp, false, 0} << Option {kHelp, false, 0} << Option {kShortVersion, false, 0}
              << Option {kVersion, false, 0};
}

void CommandLine::addSwitch(const QString& name, int flags)
{
    m_parser.addOption(QCommandLineOption(name));
    m_options << Option {name, false, flags};
}

void CommandLine::addValue(const QString& name, const QString& valueName, int flags)
{
    m_parser.addOption(QCommandLineOption(name, QString(), valueName));
    m_options << Option {name, true, flags};
}

void CommandLine::setFirstArgumentEndsOptions()
{
    m_firstArgumentEndsOptions = true;
    m_parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
}

QString CommandLine::spelled(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

bool CommandLine::known(const QString& name) const
{
    for (const Option& o : m_options)
        if (o.name == name)
            return true;
    return false;
}

bool CommandLine::takesValue(const QString& name) const
{
    for (const Option& o : m_options)
        if (o.name == name)
            return o.hasValue;
    return false;
}

// The parser says that something was wrong, not where: the arguments are
// read again the way it reads them, up to the first one it could not take.
QString CommandLine::explainRefusal(const QStringList& arguments) const
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--"))
            break;
        if (!a.startsWith(QLatin1Char('-')) || a.size() == 1) {
            if (m_firstArgumentEndsOptions)
                break;
            continue;
        }
        if (a.startsWith(QLatin1String("--"))) {
            const qsizetype assign = a.indexOf(QLatin1Char('='));
            const QString name = a.mid(2, assign < 0 ? -1 : assign - 2);
            const QString written = a.left(assign < 0 ? a.size() : assign);
            if (!known(name))
                return QStringLiteral("unknown option '%1'").arg(written);
            if (takesValue(name) && assign < 0 && ++i >= arguments.size())
                return QStringLiteral("%1 needs a value").arg(written);
            if (!takesValue(name) && assign >= 0)
                return QStringLiteral("%1 takes no value").arg(written);
            continue;
        }
        // One or more one-letter options in one word: "-o", "-oFILE", "-hV".
        for (qsizetype pos = 1; pos < a.size(); ++pos) {
            const QString name = a.mid(pos, 1);
            if (!known(name))
                return QStringLiteral("unknown option '%1'").arg(a);
            if (takesValue(name)) {
                if (pos + 1 == a.size() && ++i >= arguments.size())
                    return QStringLiteral("%1 needs a value").arg(spelled(name));
                break;
            }
            if (pos + 1 < a.size() && a[pos + 1] == QLatin1Char('='))
                return QStringLiteral("%1 takes no value").arg(spelled(name));
        }
    }
    return {};
}

CommandLine::Outcome CommandLine::parse(const QStringList& arguments)
{
    m_error.clear();
    if (!m_parser.parse(QStringList {m_name} + arguments)) {
        m_error = explainRefusal(arguments);
        if (m_error.isEmpty())
            m_error = m_parser.errorText();
        return Outcome::Refused;
    }
    if (m_parser.isSet(kHelp))
        return Outcome::Help;
    if (m_parser.isSet(kVersion))
        return Outcome::Version;
    for (const Option& o : std::as_const(m_options)) {
        const qsizetype given = o.hasValue ? m_parser.values(o.name).size() : m_parser.optionNames().count(o.name);
        if ((o.flags & Once) && given > 1) {
            m_error = QStringLiteral("%1 is given twice").arg(spelled(o.name));
            return Outcome::Refused;
        }
        if ((o.flags & NotEmpty) && o.hasValue && m_parser.values(o.name).contains(QString())) {
            m_error = QStringLiteral("%1 needs a value").arg(spelled(o.name));
            return Outcome::Refused;
        }
    }
    return Outcome::Go;
}

int CommandLine::answer(Outcome outcome) const
{
    switch (outcome) {
    case Outcome::Go:
        return -1;
    case Outcome::Help:
        printHelp(false);
        return 0;
    case Outcome::Version:
        print(stdout, m_version + QLatin1Char('\n'));
        return 0;
    case Outcome::Refused:
        break;
    }
    return usageError(m_error);
}

int CommandLine::usageError(const QString& message) const
{
    print(stderr, QStringLiteral("%1: %2\n").arg(m_name, message));
    printHelp(true);
    return 2;
}

void CommandLine::printHelp(bool toStderr) const { print(toStderr ? stderr : stdout, m_help); }

std::optional<QString> CommandLine::value(const QString& name) const
{
    if (!m_parser.isSet(name))
        return std::nullopt;
    return m_parser.value(name);
}
