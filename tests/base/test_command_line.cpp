// The rules every command line of the program follows, read without an
// application object (this executable has none).
#include "base/CommandLine.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <optional>

namespace {

using Outcome = CommandLine::Outcome;

// A command like zb740-cli record: values given once and never empty,
// one switch, and a value that may repeat (the last one counts).
class RecordLike : public CommandLine {
public:
    RecordLike()
        : CommandLine(QStringLiteral("zb740-cli record"), QStringLiteral("Usage: ...\n"), QStringLiteral("v 1"))
    {
        addValue(QStringLiteral("interval"), QStringLiteral("SECONDS"), CommandLine::Once | CommandLine::NotEmpty);
        addValue(QStringLiteral("o"), QStringLiteral("FILE"), CommandLine::Once | CommandLine::NotEmpty);
        addSwitch(QStringLiteral("simulate"));
        addValue(QStringLiteral("size"), QStringLiteral("WxH"), 0);
    }
};

struct Case {
    QStringList args;
    Outcome outcome;
    QString error = {};                     // for Refused
    std::optional<QString> interval = {};   // the values read, for Go
    std::optional<QString> output = {};
    QStringList arguments = {};
};

const Case kCases[] = {
    // Both spellings of a value, and the three of a one-letter option.
    {{"--interval=5"}, Outcome::Go, {}, "5", {}},
    {{"--interval", "5"}, Outcome::Go, {}, "5", {}},
    {{"-o", "x.AsmDat"}, Outcome::Go, {}, {}, "x.AsmDat"},
    {{"-ox.AsmDat"}, Outcome::Go, {}, {}, "x.AsmDat"},
    {{"-o=x.AsmDat"}, Outcome::Go, {}, {}, "x.AsmDat"},
    // A value is the next argument whatever it looks like.
    {{"-o", "--interval"}, Outcome::Go, {}, {}, "--interval"},
    {{"--interval", "-5"}, Outcome::Go, {}, "-5", {}},
    {{"-o", "-"}, Outcome::Go, {}, {}, "-"},
    // "--" ends the options; a lone "-" is an argument.
    {{"--", "--interval", "-o"}, Outcome::Go, {}, {}, {}, {"--interval", "-o"}},
    {{"a", "--interval", "1", "b"}, Outcome::Go, {}, "1", {}, {"a", "b"}},
    {{"-"}, Outcome::Go, {}, {}, {}, {"-"}},
    // Help and version, short and long.
    {{"-h"}, Outcome::Help},
    {{"--help"}, Outcome::Help},
    {{"-V"}, Outcome::Version},
    {{"--version"}, Outcome::Version},
    {{"--interval", "5", "--help", "--version"}, Outcome::Help},
    // Usage errors name the argument as written.
    {{"--bogus"}, Outcome::Refused, "unknown option '--bogus'"},
    {{"--bogus=3"}, Outcome::Refused, "unknown option '--bogus'"},
    {{"-x"}, Outcome::Refused, "unknown option '-x'"},
    {{"-simulate"}, Outcome::Refused, "unknown option '-simulate'"},
    {{"-v"}, Outcome::Refused, "unknown option '-v'"},
    {{"-o", "--bogus", "--other"}, Outcome::Refused, "unknown option '--other'"},
    {{"--bogus", "--help"}, Outcome::Refused, "unknown option '--bogus'"},
    {{"--interval"}, Outcome::Refused, "--interval needs a value"},
    {{"--simulate", "-o"}, Outcome::Refused, "-o needs a value"},
    {{"--simulate=yes"}, Outcome::Refused, "--simulate takes no value"},
    {{"--interval", "5", "--interval=6"}, Outcome::Refused, "--interval is given twice"},
    {{"--simulate", "--simulate"}, Outcome::Refused, "--simulate is given twice"},
    {{"-o", ""}, Outcome::Refused, "-o needs a value"},
    {{"--interval="}, Outcome::Refused, "--interval needs a value"},
};

TEST(CommandLine, ReadsEveryCommandTheSameWay)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr) << "reading needs no application";
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        RecordLike line;
        EXPECT_EQ(line.parse(c.args), c.outcome);
        EXPECT_EQ(line.error(), c.error);
        if (c.outcome != Outcome::Go)
            continue;
        EXPECT_EQ(line.value(QStringLiteral("interval")), c.interval);
        EXPECT_EQ(line.value(QStringLiteral("o")), c.output);
        EXPECT_EQ(line.arguments(), c.arguments);
    }
}

TEST(CommandLine, AnOptionThatMayRepeatKeepsItsLastValue)
{
    RecordLike line;
    ASSERT_EQ(line.parse({"--size", "10x10", "--size=20x20", "--size", ""}), Outcome::Go) << line.error().toStdString();
    EXPECT_EQ(line.value(QStringLiteral("size")), QString());
    ASSERT_EQ(line.parse({"--size", "10x10", "--size=20x20"}), Outcome::Go);
    EXPECT_EQ(line.value(QStringLiteral("size")), QStringLiteral("20x20"));
    EXPECT_FALSE(line.isSet(QStringLiteral("simulate")));
    ASSERT_EQ(line.parse({"--simulate"}), Outcome::Go) << "a new parse forgets the last";
    EXPECT_EQ(line.value(QStringLiteral("size")), std::nullopt);
    EXPECT_TRUE(line.isSet(QStringLiteral("simulate")));
}

TEST(CommandLine, ACommandNameEndsTheProgramsOwnOptions)
{
    CommandLine line(QStringLiteral("zb740-cli"), QStringLiteral("Usage: ...\n"), QStringLiteral("v 1"));
    line.setFirstArgumentEndsOptions();
    ASSERT_EQ(line.parse({"record", "--interval", "5", "-V"}), Outcome::Go);
    EXPECT_EQ(line.arguments(), QStringList({"record", "--interval", "5", "-V"}));
    EXPECT_EQ(line.parse({"-V", "record"}), Outcome::Version);
    EXPECT_EQ(line.parse({"--help"}), Outcome::Help);
    EXPECT_EQ(line.parse({"--bogus", "record"}), Outcome::Refused);
    EXPECT_EQ(line.error(), QStringLiteral("unknown option '--bogus'"));
}

} // namespace
