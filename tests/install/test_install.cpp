// The installed program: installs the whole build with `cmake --install`
// into a temporary DESTDIR (prefix /usr, as the Debian package does) and
// checks the tree as a desktop, udev, man and the program itself see it.
#include "base/Version.h"
#include "data/RunFiles.h"
#include "data/RunView.h"
#include "widgets/HelpContents.h"
#include "DataFixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kSource = QStringLiteral(ZB740_SOURCE_DIR);
const QString kMimeType = QStringLiteral("application/x-zb740-data");
const int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

struct ProcessResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end; env adds to (or with an empty value removes
// from) the test's environment.
ProcessResult runProcess(const QString& program, const QStringList& args, const QList<QPair<QString, QString>>& env = {})
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : env) {
        if (value.isEmpty())
            e.remove(name);
        else
            e.insert(name, value);
    }
    p.setProcessEnvironment(e);
    p.start(program, args);
    ProcessResult r;
    if (!p.waitForStarted(10000)) {
        r.err = QStringLiteral("cannot start %1: %2").arg(program, p.errorString()).toUtf8();
        return r;
    }
    p.waitForFinished(240000);
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The man page source with its escapes undone where options are spelled.
QString manText(const QString& path)
{
    return QString::fromUtf8(fileBytes(path)).replace(QStringLiteral("\\-"), QStringLiteral("-"));
}

// The options a --help text lists: "--word" and "-x" at the start of a line.
QStringList optionsIn(const QByteArray& help)
{
    QStringList options;
    static const QRegularExpression re(QStringLiteral("^\\s+(--?[a-z][a-z-]*)"),
                                       QRegularExpression::MultilineOption);
    for (auto it = re.globalMatch(QString::fromUtf8(help)); it.hasNext();)
        options << it.next().captured(1);
    return options;
}

// One installation for the whole program; every test reads it.
class InstallTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dest = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(s_dest->isValid());
        s_install = runProcess(QStringLiteral(ZB740_CMAKE_COMMAND),
                        {QStringLiteral("--install"), QStringLiteral(ZB740_BUILD_DIR), QStringLiteral("--prefix"),
                         QStringLiteral("/usr")},
                        {{QStringLiteral("DESTDIR"), s_dest->path()}});
    }
    static void TearDownTestSuite() { s_dest.reset(); }

    void SetUp() override
    {
        ASSERT_EQ(s_install.exitCode, 0) << s_install.out.constData() << s_install.err.constData();
    }

    static QString destDir() { return s_dest->path(); }
    // A path inside the installed /usr.
    static QString usr(const QString& rel = QString())
    {
        return QDir::cleanPath(s_dest->path() + QStringLiteral("/usr/") + rel);
    }

    static inline std::unique_ptr<QTemporaryDir> s_dest;
    static inline ProcessResult s_install;
};

TEST_F(InstallTree, HoldsExactlyTheProgramsFiles)
{
    struct Expected {
        QString path;   // under /usr
        QString source; // the project's file it is a copy of, if any
    };
    QList<Expected> expected = {
        {"bin/zb740", {}},
        {"bin/zb740-cli", {}},
        {"libexec/zb740/zb740-cli-draw", {}},
        {"libexec/zb740/zb740-cli-meter", {}},
        {"share/applications/zb740.desktop", "packaging/desktop/zb740.desktop"},
        {"share/mime/packages/zb740.xml", "packaging/mime/zb740.xml"},
        {"share/icons/hicolor/scalable/apps/zb740.svg", "src/res/app_icon.svg"},
        {"lib/udev/rules.d/60-zb740-cp210x.rules", "packaging/udev/60-zb740-cp210x.rules"},
        {"lib/systemd/system/zb740-record@.service", {}},
        {"share/man/man1/zb740.1", "packaging/man/zb740.1"},
        {"share/man/man1/zb740-cli.1", "packaging/man/zb740-cli.1"},
        {"share/doc/zb740/README.md", "README.md"},
        {"share/doc/zb740/help.html", "docs/help.html"},
        {"share/doc/zb740/screenshot.png", "docs/screenshot.png"},
        {"share/doc/zb740/copyright", "packaging/debian/copyright"},
        {"share/metainfo/org.example.zb740.metainfo.xml", {}},
        {"share/bash-completion/completions/zb740-cli", "packaging/completion/zb740-cli"},
    };
    for (int size : kIconSizes)
        expected.append({QStringLiteral("share/icons/hicolor/%1x%1/apps/zb740.png").arg(size), {}});

    QSet<QString> wanted;
    for (const Expected& e : expected) {
        wanted.insert(e.path);
        SCOPED_TRACE(e.path.toStdString());
        ASSERT_TRUE(QFileInfo(usr(e.path)).isFile());
        if (!e.source.isEmpty()) {
            EXPECT_EQ(fileBytes(usr(e.path)), fileBytes(kSource + QLatin1Char('/') + e.source));
        }
    }
    for (const char* program : {"bin/zb740", "bin/zb740-cli", "libexec/zb740/zb740-cli-draw", "libexec/zb740/zb740-cli-meter"}) {
        EXPECT_TRUE(QFileInfo(usr(QLatin1String(program))).isExecutable()) << program;
        // System libraries only: no library search path of their own.
        const ProcessResult dynamic = runProcess(QStringLiteral("readelf"), {QStringLiteral("-d"), usr(QLatin1String(program))});
        EXPECT_EQ(dynamic.exitCode, 0) << program;
        EXPECT_FALSE(dynamic.out.contains("RPATH") || dynamic.out.contains("RUNPATH")) << dynamic.out.constData();
    }

    // Nothing else lands in the tree: no libraries, tests or build tools.
    QStringList extra;
    QDirIterator it(destDir(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString rel = QDir(usr()).relativeFilePath(it.next());
        if (!wanted.contains(rel))
            extra << rel;
    }
    EXPECT_TRUE(extra.isEmpty()) << qPrintable(extra.join(QLatin1Char('\n')));
}

TEST_F(InstallTree, InstalledProgramsRun)
{
    const ProcessResult version = runProcess(usr("bin/zb740"), {QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0) << version.err.constData();
    EXPECT_EQ(version.out, QByteArray(kVersionText) + '\n');

    const ProcessResult help = runProcess(usr("bin/zb740-cli"), {QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0) << help.err.constData();
    for (const char* command : {"info", "export", "decode", "simulate"})
        EXPECT_TRUE(help.out.contains(QByteArray("  ") + command + ' ')) << command;

    // The installed tool reads a run saved by the program.
    QTemporaryDir work;
    const QString file = QDir(work.path()).filePath(QStringLiteral("run.AsmDat"));
    const LiveRun saved(3, 1767225600, 2);
    ASSERT_TRUE(RunFiles::saveRun(file, RunView::of(*saved.live, saved.run.info()), {10, -2}).ok());
    const ProcessResult info = runProcess(usr("bin/zb740-cli"), {QStringLiteral("info"), file});
    EXPECT_EQ(info.exitCode, 0) << info.err.constData();
    EXPECT_TRUE(info.out.startsWith("{\"count\":3,")) << info.out.constData();

    // The commands that draw run in the installed helper beside it.
    const QString png = QDir(work.path()).filePath(QStringLiteral("plot.png"));
    const ProcessResult plot = runProcess(usr("bin/zb740-cli"), {QStringLiteral("plot"), file, QStringLiteral("-o"), png});
    EXPECT_EQ(plot.exitCode, 0) << plot.err.constData();
    EXPECT_EQ(QImage(png).size(), QSize(946, 598));
    const ProcessResult report = runProcess(usr("bin/zb740-cli"), {QStringLiteral("report"), file, QStringLiteral("-o"), QStringLiteral("-")});
    EXPECT_EQ(report.exitCode, 0) << report.err.constData();
    EXPECT_TRUE(report.out.startsWith("%PDF-")) << report.out.left(16).constData();
    const ProcessResult record = runProcess(usr("bin/zb740-cli"), {QStringLiteral("record"), QStringLiteral("--help")});
    EXPECT_EQ(record.exitCode, 0) << record.err.constData();
    EXPECT_TRUE(record.out.startsWith("Usage: zb740-cli record ")) << record.out.constData();
}

TEST_F(InstallTree, InstalledProgramFindsItsHelpPage)
{
    EXPECT_EQ(help::findHelpPage(usr("bin")), usr("share/doc/zb740/help.html"));
}

TEST_F(InstallTree, DesktopEntryValidatesAndNamesTheProgramItsIconAndFileType)
{
    const QString entry = usr("share/applications/zb740.desktop");
    const ProcessResult validate = runProcess(QStringLiteral("desktop-file-validate"), {entry});
    EXPECT_EQ(validate.exitCode, 0) << validate.err.constData();
    EXPECT_EQ(validate.out + validate.err, QByteArray()) << "no hints either";

    const QString text = QString::fromUtf8(fileBytes(entry));
    for (const char* line : {"Exec=zb740 %F", "Icon=zb740", "GenericName=Thermo-hygrometer companion",
                             "MimeType=application/x-zb740-data;"})
        EXPECT_TRUE(text.split(QLatin1Char('\n')).contains(QLatin1String(line))) << line;
    // The program and the icon it names are in the tree.
    EXPECT_TRUE(QFileInfo(usr("bin/zb740")).isExecutable());
    EXPECT_TRUE(QFileInfo::exists(usr("share/icons/hicolor/scalable/apps/zb740.svg")));
}

TEST_F(InstallTree, IconsAreRenderedAtEverySize)
{
    for (int size : kIconSizes) {
        SCOPED_TRACE(size);
        const QImage image(usr(QStringLiteral("share/icons/hicolor/%1x%1/apps/zb740.png").arg(size)));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(size, size));
        ASSERT_TRUE(image.hasAlphaChannel());
        // The meter stands on a transparent ground and fills most of the
        // height: neither blank nor a filled square.
        int opaque = 0;
        QSet<QRgb> colours;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QRgb p = image.pixel(x, y);
                if (qAlpha(p) == 255) {
                    ++opaque;
                    colours.insert(p);
                }
            }
        }
        const double share = double(opaque) / (size * size);
        EXPECT_GT(share, 0.3);
        EXPECT_LT(share, 0.8);
        EXPECT_EQ(qAlpha(image.pixel(0, size / 2)), 0) << "left edge is ground";
        EXPECT_GE(colours.size(), 4) << "the face's colours, not one flat fill";
    }
}

TEST_F(InstallTree, MimeTypeIsKnownByNameAndByContent)
{
    const QString packageFile = usr("share/mime/packages/zb740.xml");
    const ProcessResult lint = runProcess(QStringLiteral("xmllint"), {QStringLiteral("--noout"), packageFile});
    EXPECT_EQ(lint.exitCode, 0) << lint.err.constData();

    // update-mime-database checks the declaration strictly and builds the
    // database that desktops read; here the one in the temporary tree.
    const ProcessResult update = runProcess(QStringLiteral("update-mime-database"), {usr("share/mime")});
    ASSERT_EQ(update.exitCode, 0) << update.err.constData();
    EXPECT_FALSE(update.err.contains("rror")) << update.err.constData();
    EXPECT_FALSE(update.err.contains("arning")) << update.err.constData();
    EXPECT_TRUE(QFileInfo::exists(usr("share/mime/application/x-zb740-data.xml")));

    // Files as a desktop sees them, through xdg-mime on this tree alone.
    QTemporaryDir work;
    const QDir dir(work.path());
    const LiveRun saved(2, 1767225600, 1);
    const QString dataFile = dir.filePath(QStringLiteral("run.AsmDat"));
    ASSERT_TRUE(RunFiles::saveRun(dataFile, RunView::of(*saved.live, saved.run.info()), {10, 0}).ok());
    ASSERT_TRUE(QFile::copy(dataFile, dir.filePath(QStringLiteral("renamed.bin"))));
    QByteArray nearMiss = fileBytes(dataFile);
    nearMiss[0] = 7; // the length byte of another tag
    {
        QFile f(dir.filePath(QStringLiteral("other.bin")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(nearMiss);
    }
    const QList<QPair<QString, QString>> env = {
        {QStringLiteral("XDG_DATA_DIRS"), usr("share")},
        {QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("no-user-data"))},
        {QStringLiteral("XDG_CURRENT_DESKTOP"), QString()},
        {QStringLiteral("DESKTOP_SESSION"), QString()},
    };
    struct Case {
        const char* file;
        bool ours;
    };
    const Case cases[] = {
        {"run.AsmDat", true},   // by its name
        {"renamed.bin", true},  // by its tag alone
        {"other.bin", false},   // a tag one byte off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const ProcessResult query = runProcess(QStringLiteral("xdg-mime"),
                              {QStringLiteral("query"), QStringLiteral("filetype"), dir.filePath(QLatin1String(c.file))},
                              env);
        EXPECT_EQ(query.exitCode, 0) << query.err.constData();
        EXPECT_EQ(QString::fromUtf8(query.out).trimmed() == kMimeType, c.ours) << query.out.constData();
    }
}

TEST_F(InstallTree, ManPagesFormatCleanlyAndKnowEveryOption)
{
    for (const char* page : {"zb740.1", "zb740-cli.1"}) {
        SCOPED_TRACE(page);
        const ProcessResult man = runProcess(QStringLiteral("man"),
                            {QStringLiteral("--warnings"), QStringLiteral("-l"), usr(QStringLiteral("share/man/man1/") + QLatin1String(page))},
                            {{QStringLiteral("MANWIDTH"), QStringLiteral("80")},
                             {QStringLiteral("MAN_KEEP_FORMATTING"), QString()},
                             {QStringLiteral("PAGER"), QStringLiteral("cat")},
                             {QStringLiteral("MANPAGER"), QStringLiteral("cat")}});
        EXPECT_EQ(man.exitCode, 0);
        EXPECT_EQ(man.err, QByteArray());
        EXPECT_GT(man.out.size(), 1000);
    }

    // Every option the programs list in --help is in their page.
    const QString guiPage = manText(usr("share/man/man1/zb740.1"));
    const ProcessResult guiHelp = runProcess(usr("bin/zb740"), {QStringLiteral("--help")});
    ASSERT_EQ(guiHelp.exitCode, 0);
    ASSERT_FALSE(optionsIn(guiHelp.out).isEmpty());
    for (const QString& option : optionsIn(guiHelp.out))
        EXPECT_TRUE(guiPage.contains(option)) << "zb740.1 lacks " << qPrintable(option);

    const QString cliPage = manText(usr("share/man/man1/zb740-cli.1"));
    const ProcessResult cliHelp = runProcess(usr("bin/zb740-cli"), {QStringLiteral("--help")});
    ASSERT_EQ(cliHelp.exitCode, 0);
    static const QRegularExpression commandLine(QStringLiteral("^  ([a-z]+) "), QRegularExpression::MultilineOption);
    QStringList commands;
    for (auto it = commandLine.globalMatch(QString::fromUtf8(cliHelp.out)); it.hasNext();)
        commands << it.next().captured(1);
    ASSERT_TRUE(commands.contains(QStringLiteral("info"))) << cliHelp.out.constData();
    for (const QString& command : commands) {
        EXPECT_TRUE(cliPage.contains(QStringLiteral("\\fB%1\\fR").arg(command))) << "zb740-cli.1 lacks "
                                                                                 << qPrintable(command);
        const ProcessResult commandHelp = runProcess(usr("bin/zb740-cli"), {command, QStringLiteral("--help")});
        ASSERT_EQ(commandHelp.exitCode, 0) << qPrintable(command);
        for (const QString& option : optionsIn(commandHelp.out)) {
            if (option != QLatin1String("--help")) {
                EXPECT_TRUE(cliPage.contains(option)) << "zb740-cli.1 lacks " << qPrintable(command) << ' '
                                                      << qPrintable(option);
            }
        }
    }
}

TEST_F(InstallTree, AppStreamMetainfoValidatesAndShowsThePicturesOfDocs)
{
    const QString metainfo = usr("share/metainfo/org.example.zb740.metainfo.xml");
    const ProcessResult validate =
        runProcess(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                                    QStringLiteral("--pedantic"), metainfo});
    EXPECT_EQ(validate.exitCode, 0) << validate.out.constData() << validate.err.constData();
    EXPECT_TRUE(validate.out.contains("Validation was successful")) << validate.out.constData();

    // The id is reverse-DNS and names the file; the launchable is the
    // installed desktop entry; the release is this version; every
    // screenshot is a picture of docs/ at its true size.
    QFile file(metainfo);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QString id, launchable, release;
    int screenshots = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (name == u"id") {
            id = xml.readElementText();
        } else if (name == u"launchable") {
            launchable = xml.readElementText();
        } else if (name == u"release") {
            release = xml.attributes().value(QStringLiteral("version")).toString();
        } else if (name == u"image") {
            const int width = xml.attributes().value(QStringLiteral("width")).toInt();
            const int height = xml.attributes().value(QStringLiteral("height")).toInt();
            const QString url = xml.readElementText();
            SCOPED_TRACE(url.toStdString());
            EXPECT_TRUE(url.startsWith(QStringLiteral("https://")));
            const qsizetype at = url.indexOf(QStringLiteral("/docs/"));
            ASSERT_GT(at, 0);
            const QImage picture(kSource + url.mid(at));
            ASSERT_FALSE(picture.isNull());
            EXPECT_EQ(picture.size(), QSize(width, height));
            ++screenshots;
        }
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[a-z][a-z0-9]*(\\.[a-z][a-z0-9_]*){2,}$")).match(id).hasMatch())
        << qPrintable(id);
    EXPECT_EQ(QFileInfo(metainfo).fileName(), id + QStringLiteral(".metainfo.xml"));
    EXPECT_TRUE(QFileInfo(usr(QStringLiteral("share/applications/") + launchable)).isFile()) << qPrintable(launchable);
    EXPECT_EQ(release, QLatin1String(kVersionNumber));
    EXPECT_GE(screenshots, 2);
}

// What bash completes for a command line ending in the word being typed, with
// the completion loaded as bash-completion loads it: on demand, from the
// installed tree's share folder.
class InstalledCompletion : public InstallTree {
protected:
    static QStringList complete(const QStringList& words, const QString& workDir)
    {
        QString script = QStringLiteral(
            "source /usr/share/bash-completion/bash_completion || exit 3\n"
            "__load_completion zb740-cli || exit 4\n"
            "complete -p zb740-cli | grep -q _zb740_cli || exit 5\n"
            "cd \"$1\" || exit 6\n"
            "shift\n"
            "COMP_WORDS=(\"$@\"); COMP_CWORD=$(( $# - 1 )); COMP_LINE=\"$*\"; COMP_POINT=${#COMP_LINE}\n"
            "COMPREPLY=()\n"
            "_zb740_cli\n"
            "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
        QStringList args = {QStringLiteral("--norc"), QStringLiteral("--noprofile"), QStringLiteral("-i"),
                            QStringLiteral("-c"), script, QStringLiteral("bash"), workDir};
        args << words;
        const ProcessResult r = runProcess(QStringLiteral("bash"), args,
                                           {{QStringLiteral("XDG_DATA_DIRS"), usr("share")},
                                            {QStringLiteral("XDG_DATA_HOME"), workDir + QStringLiteral("/no-data")},
                                            {QStringLiteral("BASH_COMPLETION_USER_DIR"), workDir + QStringLiteral("/no-data")},
                                            {QStringLiteral("HOME"), workDir}});
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        QStringList replies = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        replies.sort();
        return replies;
    }
};

TEST_F(InstalledCompletion, CompletesCommandsOptionsAndFilesByExtension)
{
    QTemporaryDir work;
    const QDir dir(work.path());
    for (const char* name : {"run.AsmDat", "old.asmdat", "notes.txt", "run.AsmDat.journal", "report.pdf", "plot.png"}) {
        QFile f(dir.filePath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(dir.mkdir(QStringLiteral("runs")));
    struct Case {
        QStringList words;
        QStringList expected;
    };
    const Case cases[] = {
        {{"zb740-cli", "re"}, {"record", "recover", "report"}},
        {{"zb740-cli", "p"}, {"plot", "ports"}},
        {{"zb740-cli", "info", ""}, {"old.asmdat", "run.AsmDat", "runs"}},
        {{"zb740-cli", "recover", ""}, {"run.AsmDat.journal", "runs"}},
        {{"zb740-cli", "report", "run.AsmDat", "-o", ""}, {"report.pdf", "runs"}},
        {{"zb740-cli", "plot", "run.AsmDat", "-o", ""}, {"plot.png", "runs"}},
        {{"zb740-cli", "export", "--format", ""}, {"csv", "jsonl", "tsv"}},
        {{"zb740-cli", "ports", "--j"}, {"--json"}},
        {{"zb740-cli", "help", "rec"}, {"record", "recover"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(complete(c.words, work.path()), c.expected);
    }

    // Every option a command's help lists is completed after its name.
    const ProcessResult help = runProcess(usr("bin/zb740-cli"), {QStringLiteral("--help")});
    static const QRegularExpression commandLine(QStringLiteral("^  ([a-z]+) "), QRegularExpression::MultilineOption);
    QStringList commands;
    for (auto it = commandLine.globalMatch(QString::fromUtf8(help.out)); it.hasNext();)
        commands << it.next().captured(1);
    ASSERT_TRUE(commands.contains(QStringLiteral("ports")));
    QStringList all = commands;
    all << QStringLiteral("help");
    all.sort();
    EXPECT_EQ(complete({"zb740-cli", ""}, work.path()), all);
    for (const QString& command : commands) {
        SCOPED_TRACE(command.toStdString());
        const ProcessResult own = runProcess(usr("bin/zb740-cli"), {command, QStringLiteral("--help")});
        const QStringList completed = complete({"zb740-cli", command, "-"}, work.path());
        for (const QString& option : optionsIn(own.out))
            EXPECT_TRUE(completed.contains(option)) << qPrintable(option) << " not in " << qPrintable(completed.join(' '));
    }
}

} // namespace
