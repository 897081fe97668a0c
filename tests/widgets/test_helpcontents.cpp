// Help > Contents: which file it shows from the build tree and from an
// installed layout, and what the user is told when nothing can show it.
#include "app/CMainFrame.h"
#include "widgets/HelpContents.h"
#include "ModalAnswers.h"
#include "TempDir.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The text of the next message box, which is then closed with OK.
struct SeenMessage {
    QString text;
    bool selectable = false;
    void expect()
    {
        whenModalAppears([this](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            text = box->text();
            selectable = box->textInteractionFlags().testFlag(Qt::TextSelectableByMouse);
            box->button(QMessageBox::Ok)->click();
        });
    }
};

TEST(HelpPage, IsFoundBesideTheProgramInTheBuildTree)
{
    const QString programDir = QFileInfo(QStringLiteral(ZB740_PROGRAM)).absolutePath();
    const QString page = help::findHelpPage(programDir);
    ASSERT_FALSE(page.isEmpty()) << "looked in " << qPrintable(help::docDir(programDir));
    EXPECT_EQ(readAll(page), readAll(QStringLiteral(ZB740_TEST_DATA_DIR "/../../docs/help.html")));
    // The page's picture travels with it.
    EXPECT_TRUE(QFileInfo::exists(QFileInfo(page).dir().filePath(QStringLiteral("screenshot.png"))));
}

// A program folder with, as each case wants, a help.chm beside the program
// and the help page in the documentation folder next to it.
class ShowContentsTest : public TempDirTest {
protected:
    QString programDir() const { return path("prefix/bin"); }
    QString chm() const { return QDir(programDir()).filePath(QStringLiteral("help.chm")); }
    QString page() const { return QDir(help::docDir(programDir())).filePath(QStringLiteral("help.html")); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(programDir())); }

    // Records every file handed to the desktop; accepts those in `accepted`.
    help::Opener opener(QStringList accepted)
    {
        return [this, accepted](const QUrl& url) {
            opened << url.toLocalFile();
            return accepted.contains(url.toLocalFile());
        };
    }
    QStringList opened;
};

TEST_F(ShowContentsTest, InstalledLayoutKeepsTheDocumentationBesideTheProgramFolder)
{
    ASSERT_TRUE(writeFile(page(), "<html></html>"));
    EXPECT_EQ(help::findHelpPage(programDir()), page());
    EXPECT_EQ(help::docDir(programDir()), QDir::cleanPath(path("prefix/share/doc/zb740")));
}

TEST_F(ShowContentsTest, CompiledHelpBesideTheProgramComesFirst)
{
    ASSERT_TRUE(writeFile(chm(), "ITSF"));
    ASSERT_TRUE(writeFile(page(), "<html></html>"));
    help::showContents(nullptr, programDir(), opener({chm(), page()}));
    EXPECT_EQ(opened, QStringList{chm()});
}

TEST_F(ShowContentsTest, HelpPageIsOpenedWithoutCompiledHelp)
{
    ASSERT_TRUE(writeFile(page(), "<html></html>"));
    help::showContents(nullptr, programDir(), opener({page()}));
    EXPECT_EQ(opened, QStringList{page()});
}

TEST_F(ShowContentsTest, CompiledHelpNothingCanShowFallsBackToThePage)
{
    ASSERT_TRUE(writeFile(chm(), "ITSF"));
    ASSERT_TRUE(writeFile(page(), "<html></html>"));
    help::showContents(nullptr, programDir(), opener({page()}));
    EXPECT_EQ(opened, (QStringList{chm(), page()}));
}

TEST_F(ShowContentsTest, WithoutAHandlerTheMessageSaysWhereThePageIs)
{
    ASSERT_TRUE(writeFile(page(), "<html></html>"));
    SeenMessage seen;
    seen.expect();
    help::showContents(nullptr, programDir(), opener({}));
    EXPECT_EQ(opened, QStringList{page()});
    EXPECT_EQ(seen.text, help::noViewerText(page()));
    EXPECT_TRUE(seen.text.contains(page())) << qPrintable(seen.text);
    EXPECT_TRUE(seen.selectable);
}

TEST_F(ShowContentsTest, MissingPageSaysWhereItBelongs)
{
    SeenMessage seen;
    seen.expect();
    help::showContents(nullptr, programDir(), opener({page()}));
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(seen.text, help::pageMissingText(page()));
    EXPECT_TRUE(seen.text.contains(page())) << qPrintable(seen.text);
}

TEST_F(ShowContentsTest, DesktopWithoutHandlerGivesTheMessage)
{
    // The offscreen platform has no handler for documents: the desktop
    // opener itself reports that, and the user learns where the page is.
    ASSERT_TRUE(writeFile(page(), "<html></html>"));
    SeenMessage seen;
    seen.expect();
    help::showContents(nullptr, programDir());
    EXPECT_EQ(seen.text, help::noViewerText(page()));
}

TEST_F(ShowContentsTest, HelpContentsOfTheMainWindowUsesTheLookup)
{
    // The test program has no help page in its own tree; Help > Contents of
    // the real window says where the page belongs.
    const QString testProgramDir = QCoreApplication::applicationDirPath();
    ASSERT_TRUE(help::findHelpPage(testProgramDir).isEmpty());
    CMainFrame frame(tempOptions());
    QAction* contents = nullptr;
    for (QAction* a : frame.findChildren<QAction*>()) {
        if (a->text() == QStringLiteral("&Contents"))
            contents = a;
    }
    ASSERT_NE(contents, nullptr);
    SeenMessage seen;
    seen.expect();
    contents->trigger();
    EXPECT_EQ(seen.text,
              help::pageMissingText(QDir(help::docDir(testProgramDir)).filePath(QStringLiteral("help.html"))));
}

} // namespace
