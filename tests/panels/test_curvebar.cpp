// The curve bar: channel buttons and Combine on the view's curve flags, the
// Y scale dialog through the Y Axis button with a settings folder in a
// temporary directory, and the read-only fields. The bar reports what the
// user chose; the main window's view applies it and stores the scale.
#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "base/LocalTime.h"
#include "panels/CCurveBar.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "widgets/CYScaleDlg.h"
#include "ModalAnswers.h"
#include "TempDir.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class CurveBarTest : public TempDirTest {
protected:
    AppOptions m_options;
    std::unique_ptr<CMainFrame> m_frame;

    void SetUp() override
    {
        m_options = tempOptions();
        m_frame = std::make_unique<CMainFrame>(m_options);
    }
    CKMView& view() { return *m_frame->view(); }
    CCurveBar& bar() { return *view().curveBar(); }
    const CurveSet& shown() { return view().m_bShowCurve; }
    int gain() { return view().m_nYGain; }
    int offset() { return view().m_nYOffset; }
    QString iniPath() const { return QDir(m_options.settingsDir).filePath("ZB740.ini"); }
    void writeIni(const char* text)
    {
        QDir().mkpath(m_options.settingsDir);
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray iniText() const
    {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Presses Y Axis; while the dialog runs, `inDialog` looks at it and ends it.
    void runYAxis(const std::function<void(CYScaleDlg&)>& inDialog)
    {
        ModalAnswers answers;
        answers.then<CYScaleDlg>([&](CYScaleDlg* dlg) {
            inDialog(*dlg);
            if (dlg->isVisible())
                dlg->reject();  // never leave the test hanging
        });
        QTest::mouseClick(bar().yAxisButton(), Qt::LeftButton);
        EXPECT_TRUE(answers.done());
    }
};

TEST_F(CurveBarTest, ChannelButtonsShowOneCurveAndCombineAll)
{
    QSignalSpy single(&bar(), &CCurveBar::curveChosen);
    QSignalSpy combine(&bar(), &CCurveBar::combineChosen);
    const std::array<bool, 5> all {true, true, true, true, true};
    for (int c = 0; c < kChannelCount; ++c) {
        QTest::mouseClick(bar().channelButton(c), Qt::LeftButton);
        std::array<bool, 5> only {};
        only[size_t(c)] = true;
        EXPECT_EQ(shown(), only) << c;
        QTest::mouseClick(bar().combineButton(), Qt::LeftButton);
        EXPECT_EQ(shown(), all);
    }
    EXPECT_EQ(single.count() + combine.count(), 2 * kChannelCount);
    EXPECT_EQ(bar().channelButton(kKir)->text(), "IR/K");
}

TEST_F(CurveBarTest, YScaleDialogWithoutSettingsPreselectsGainTwoAndOkStoresIt)
{
    runYAxis([](CYScaleDlg& dlg) {
        EXPECT_EQ(dlg.windowTitle(), "Y OFFSET And Y GAINS Setup");
        EXPECT_EQ(dlg.gainList()->currentText(), "2");
        EXPECT_EQ(dlg.offsetList()->currentText(), "0");
        dlg.findChild<QPushButton*>()->click();
    });
    EXPECT_EQ(gain(), 2);
    EXPECT_EQ(offset(), 0);
    const QByteArray ini = iniText();
    EXPECT_TRUE(ini.contains("GAIN num=1"));
    EXPECT_TRUE(ini.contains("OFFSET num=0"));
    EXPECT_LT(ini.indexOf("GAIN num"), ini.indexOf("OFFSET num"));
}

TEST_F(CurveBarTest, YScaleDialogPreselectsTheStoredScaleAndOkWritesTheChoice)
{
    writeIni("[YGAINInfo]\nGAIN num=8\n[YOFFSETInfo]\nOFFSET num=2\n");
    runYAxis([](CYScaleDlg& dlg) {
        EXPECT_EQ(dlg.gainList()->currentText(), "500");
        EXPECT_EQ(dlg.offsetList()->currentText(), "5");
        dlg.gainList()->setCurrentIndex(3);    // 10
        dlg.offsetList()->setCurrentIndex(3);  // -2
        QTest::keyClick(&dlg, Qt::Key_Return);
    });
    EXPECT_EQ(gain(), 10);
    EXPECT_EQ(offset(), -2);
    const IniFile ini(iniPath());
    EXPECT_EQ(settings::readGainIndex(ini, -1), 3);
    EXPECT_EQ(settings::readOffsetIndex(ini, -1), 3);
}

TEST_F(CurveBarTest, EscapeChangesNothing)
{
    writeIni("[YGAINInfo]\nGAIN num=4\n[YOFFSETInfo]\nOFFSET num=1\n");
    const QByteArray before = iniText();
    runYAxis([](CYScaleDlg& dlg) {
        dlg.gainList()->setCurrentIndex(0);
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_FALSE(dlg.isVisible());
    });
    EXPECT_EQ(gain(), 10);
    EXPECT_EQ(offset(), 0);
    EXPECT_EQ(iniText(), before);
}

TEST_F(CurveBarTest, StoredIndexOutsideTheTablesSelectsNothing)
{
    writeIni("[YGAINInfo]\nGAIN num=12\n[YOFFSETInfo]\nOFFSET num=7\n");
    runYAxis([](CYScaleDlg& dlg) {
        EXPECT_EQ(dlg.gainList()->currentIndex(), -1);
        EXPECT_EQ(dlg.offsetList()->currentIndex(), -1);
        dlg.offsetList()->setCurrentIndex(4);  // -5
        dlg.findChild<QPushButton*>()->click();
    });
    // no gain chosen: the view keeps its gain
    EXPECT_EQ(gain(), 10);
    EXPECT_EQ(offset(), -5);
}

TEST_F(CurveBarTest, FieldsShowTheRunBatteryAndClock)
{
    CCurveBar bar;
    // Nothing of a run before the first Run and the first sample.
    for (CCurveBar::Field f : {CCurveBar::StartTime, CCurveBar::SampleRate, CCurveBar::SampleData, CCurveBar::DataNo})
        EXPECT_EQ(bar.field(f)->text(), "") << f;
    bar.setSampleSettings(5, 1000);
    bar.setCommitted(LocalTime::join({2026, 12, 10, 12, 0, 0}), 42);
    bar.setBatteryText(QStringLiteral("Low"));
    EXPECT_EQ(bar.field(CCurveBar::StartTime)->text(), "10/12/26 12:00:00");
    EXPECT_EQ(bar.field(CCurveBar::SampleRate)->text(), "5");
    EXPECT_EQ(bar.field(CCurveBar::SampleData)->text(), "1000");
    EXPECT_EQ(bar.field(CCurveBar::DataNo)->text(), "42");
    EXPECT_EQ(bar.field(CCurveBar::VoltageStage)->text(), "Low");
    for (int f = 0; f < CCurveBar::kFieldCount; ++f)
        EXPECT_TRUE(bar.field(CCurveBar::Field(f))->isReadOnly());

    const QRegularExpression clockForm(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    const QString first = bar.field(CCurveBar::Clock)->text();
    EXPECT_TRUE(clockForm.match(first).hasMatch()) << first.toStdString();
    // the clock runs by itself
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar.field(CCurveBar::Clock)->text() != first; }, 3000));
    EXPECT_TRUE(clockForm.match(bar.field(CCurveBar::Clock)->text()).hasMatch());
    if (const QString dir = qEnvironmentVariable("ZB740_PICTURE_DIR"); !dir.isEmpty())
        bar.grab().save(dir + QStringLiteral("/curve_bar.png"));
}

TEST_F(CurveBarTest, ACommittedSampleMovesTheClockAndStartsItsSecondOver)
{
    CCurveBar bar;
    // Late in the clock's second, a sample comes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar.clockTimer().remainingTime() < 300; }, 3000));
    const int64_t before = QDateTime::currentSecsSinceEpoch();
    bar.setCommitted(LocalTime::join({2026, 12, 10, 12, 0, 0}), 7);
    const int64_t after = QDateTime::currentSecsSinceEpoch();
    // The next tick is a second after the sample, with the sample's repaint
    // between, not a moment later on its own.
    EXPECT_GT(bar.clockTimer().remainingTime(), 500);
    const QString shown = bar.field(CCurveBar::Clock)->text();
    EXPECT_TRUE(shown == LocalTime::format(before, "%d/%m/%y %H:%M:%S")
                || shown == LocalTime::format(after, "%d/%m/%y %H:%M:%S"))
        << shown.toStdString();
}

struct KeySink : QWidget {
    std::vector<int> keys;
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
};

TEST_F(CurveBarTest, EnterAndEscapeStopAtTheBar)
{
    KeySink frame;
    auto* b = new CCurveBar(&frame);
    for (QWidget* target : {static_cast<QWidget*>(b), static_cast<QWidget*>(b->combineButton())}) {
        QTest::keyClick(target, Qt::Key_Escape);
        QTest::keyClick(target, Qt::Key_Return);
    }
    EXPECT_TRUE(frame.keys.empty());
}

} // namespace
