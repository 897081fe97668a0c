// The Run dialog driven with real key and mouse events.
#include "app/CSampleRateDlg.h"
#include "widgets/StepButtons.h"
#include "ModalAnswers.h"
#include "TempDir.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class SampleRateDlgTest : public TempDirTest {
protected:
    QString config(const QByteArray& text)
    {
        QFile f(path("KM4471config.ini"));
        f.open(QIODevice::WriteOnly);
        f.write(text);
        return f.fileName();
    }
};

void click(QToolButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

} // namespace

TEST_F(SampleRateDlgTest, DefaultsFromConfigurationFile)
{
    CSampleRateDlg none(path("missing.ini"));
    EXPECT_EQ(none.rateEdit()->text(), "1");
    EXPECT_EQ(none.dataEdit()->text(), "1000");
    CSampleRateDlg configured(config("[SamprateInfo]\nSamprate=5\n[SampdataInfo]\nSampdata=20000\n"));
    EXPECT_EQ(configured.rateEdit()->text(), "5");
    EXPECT_EQ(configured.dataEdit()->text(), "20000") << "shown unchanged until a spin step";
    click(configured.dataSpin()->downButton());
    EXPECT_EQ(configured.dataEdit()->text(), "10000");
}

TEST_F(SampleRateDlgTest, SpinLimits)
{
    CSampleRateDlg dlg(path("missing.ini"));
    EXPECT_EQ(dlg.windowTitle(), "Sample Rate And Sample Data ");
    EXPECT_TRUE(dlg.dataEdit()->isReadOnly());

    click(dlg.dataSpin()->downButton());
    EXPECT_EQ(dlg.dataEdit()->text(), "1000") << "lower arrow at 1000 keeps 1000";
    for (int i = 0; i < 12; ++i)
        click(dlg.dataSpin()->upButton());
    EXPECT_EQ(dlg.dataEdit()->text(), "10000") << "upper arrow at 10000 keeps 10000";

    click(dlg.rateSpin()->downButton());
    EXPECT_EQ(dlg.rateEdit()->text(), "1");
    dlg.rateEdit()->setText("3599");
    click(dlg.rateSpin()->upButton());
    click(dlg.rateSpin()->upButton());
    EXPECT_EQ(dlg.rateEdit()->text(), "3600");
    QTest::keyClick(dlg.rateEdit(), Qt::Key_Down);
    EXPECT_EQ(dlg.rateEdit()->text(), "3599") << "arrow keys step the interval";
}

TEST_F(SampleRateDlgTest, TypedValuesBeyondTheSpinRangeAreAccepted)
{
    CSampleRateDlg dlg(path("missing.ini"));
    dlg.show();
    dlg.rateEdit()->clear();
    QTest::keyClicks(dlg.rateEdit(), "5000");
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.sampleRate(), 5000);
    EXPECT_EQ(dlg.sampleData(), 1000);
}

TEST_F(SampleRateDlgTest, EnterAndEscapeDoNotCloseTheDialog)
{
    CSampleRateDlg dlg(path("missing.ini"));
    dlg.show();
    dlg.rateEdit()->setFocus();
    QTest::keyClick(dlg.rateEdit(), Qt::Key_Return);
    QTest::keyClick(dlg.rateEdit(), Qt::Key_Enter);
    QTest::keyClick(dlg.rateEdit(), Qt::Key_Escape);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(SampleRateDlgTest, NonIntegerShowsTheMessageAndStaysOpen)
{
    CSampleRateDlg dlg(path("missing.ini"));
    dlg.show();
    dlg.rateEdit()->setText("2.5");
    QString seen;
    answerMessageBox(QMessageBox::Ok, &seen);
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(seen, "Please enter an integer.");
    EXPECT_TRUE(dlg.isVisible());
    dlg.rateEdit()->setText("0");
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.sampleRate(), 0) << "the dialog accepts 0; the run turns it into 1 s";
}

TEST_F(SampleRateDlgTest, IntervalsARunCannotHoldAreRefusedAndArrowsNeverWrap)
{
    // Typed: one second more than the run's milliseconds can hold.
    CSampleRateDlg dlg(path("missing.ini"));
    dlg.show();
    dlg.rateEdit()->setText("2147484");
    QString seen;
    answerMessageBox(QMessageBox::Ok, &seen);
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(seen, "Please enter an integer between 1 and 2147483.");
    EXPECT_TRUE(dlg.isVisible());
    dlg.rateEdit()->setText("2147483");
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.sampleRate(), 2147483);

    // The up arrow on the largest integer stays in the arrows' range.
    CSampleRateDlg arrows(path("missing.ini"));
    arrows.rateEdit()->setText("2147483647");
    click(arrows.rateSpin()->upButton());
    EXPECT_EQ(arrows.rateEdit()->text(), "3600");

    // From the configuration file: cut to what a run can hold.
    CSampleRateDlg configured(config("[SamprateInfo]\nSamprate=99999999999\n"));
    EXPECT_EQ(configured.rateEdit()->text(), "2147483");
}

TEST_F(SampleRateDlgTest, AnIntegerOutOfRangeIsToldTheRangeAndAnythingElseToEnterAnInteger)
{
    struct Case {
        const char* typed;
        const char* message; // empty: accepted
    };
    const Case cases[] = {
        {"2147484", "Please enter an integer between 1 and 2147483."},
        {"5000000", "Please enter an integer between 1 and 2147483."},
        {"2147483648", "Please enter an integer between 1 and 2147483."}, // beyond int
        {"99999999999999999999", "Please enter an integer between 1 and 2147483."},
        {" +3000000 ", "Please enter an integer between 1 and 2147483."},
        {"-99999999999", "Please enter an integer between 1 and 2147483."},
        {"2.5", "Please enter an integer."},
        {"12abc", "Please enter an integer."},
        {"", "Please enter an integer."},
        {"-", "Please enter an integer."},
        {"1e3", "Please enter an integer."},
        {"2147483", ""},
        {"-5", ""}, // below 1: the run makes it 1 s
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        CSampleRateDlg dlg(path("missing.ini"));
        dlg.show();
        dlg.rateEdit()->setText(QString::fromLatin1(c.typed));
        QString seen;
        if (*c.message)
            answerMessageBox(QMessageBox::Ok, &seen);
        QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
        EXPECT_EQ(seen, QString::fromLatin1(c.message));
        EXPECT_EQ(dlg.isVisible(), *c.message != 0);
    }
}

TEST_F(SampleRateDlgTest, SampleDataArrowsOnTheLargestStoredCountsStayInRange)
{
    // Counts from the configuration file at the ends of the integer range:
    // an arrow never wraps around, it lands on the arrows' range.
    struct Case {
        const char* stored;
        bool up;
        const char* shown;
    };
    const Case cases[] = {
        {"2147483647", true, "10000"},
        {"2147483647", false, "10000"},
        {"2147483000", true, "10000"},
        {"-2147483647", false, "1000"},
        {"-2147483647", true, "1000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + (c.up ? " up" : " down"));
        CSampleRateDlg dlg(config(QByteArray("[SampdataInfo]\nSampdata=") + c.stored + "\n"));
        ASSERT_EQ(dlg.dataEdit()->text(), c.stored);
        click(c.up ? dlg.dataSpin()->upButton() : dlg.dataSpin()->downButton());
        EXPECT_EQ(dlg.dataEdit()->text(), c.shown);
        EXPECT_EQ(dlg.sampleData(), QString::fromLatin1(c.shown).toInt());
    }
}
