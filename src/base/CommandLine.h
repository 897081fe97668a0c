#pragma once
// The options and arguments of a program or of one of its commands, read by
// QCommandLineParser with the rules all of them follow:
//   --name=value and --name value alike; -o value, -ovalue and -o=value for
//   a one-letter option;
//   "--" ends the options: what follows is an argument, dash or not; a lone
//   "-" is an argument;
//   -h/--help asks for the command's own help, -V/--version for the version;
//   an unknown option, an option without its value, a value given to an
//   option that takes none, and an option given twice where that is refused
//   are usage errors named in one line ("unknown option '--bogus'").
// Reading the arguments needs no application object: a program answers
// --help and --version, and refuses its usage errors, before it opens a
// display.
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

class CommandLine {
public:
    enum Flag {
        Once = 0x1,     // given twice is a usage error (else the last one counts)
        NotEmpty = 0x2, // an empty value is a usage error
    };
    enum class Outcome { Go, Help, Version, Refused };

    // name: what begins each message ("zb740-cli record"); help: the whole
    // help text of the command; version: the line --version prints.
    CommandLine(QString name, QString help, QString version);

    // An option without a value ("simulate" is --simulate, "o" would be -o).
    void addSwitch(const QString& name, int flags = Once);
    // An option with a value; valueName shows in messages only.
    void addValue(const QString& name, const QString& valueName, int flags = Once);
    // The first argument ends the options: it and all after it are
    // arguments (a command name followed by the command's own options).
    void setFirstArgumentEndsOptions();

    // Reads the arguments that follow the program's or the command's name.
    Outcome parse(const QStringList& arguments);
    // Why parse() refused the arguments, as one line without the name.
    const QString& error() const { return m_error; }

    // The answer to what parse() found: the help or the version on standard
    // output (status 0), the usage error with the help on standard error
    // (status 2), or -1 to go on with the command.
    int answer(Outcome outcome) const;
    // parse() and its answer.
    int process(const QStringList& arguments) { return answer(parse(arguments)); }
    // "NAME: MESSAGE" and the help on standard error; returns 2.
    int usageError(const QString& message) const;
    void printHelp(bool toStderr) const;

    bool isSet(const QString& name) const { return m_parser.isSet(name); }
    // The value given (the last one where an option may repeat).
    std::optional<QString> value(const QString& name) const;
    // Every value given, in order (an option that may repeat).
    QStringList values(const QString& name) const { return m_parser.values(name); }
    QStringList arguments() const { return m_parser.positionalArguments(); }

    // How an option is written: "-o", "--count".
    static QString spelled(const QString& name);

private:
    bool known(const QString& name) const;
    bool takesValue(const QString& name) const;
    QString explainRefusal(const QStringList& arguments) const;

    struct Option {
        QString name;
        bool hasValue = false;
        int flags = 0;
    };
    QString m_name, m_help, m_version;
    QCommandLineParser m_parser;
    QList<Option> m_options;
    bool m_firstArgumentEndsOptions = false;
    QString m_error;
};
