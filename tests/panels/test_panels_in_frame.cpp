// The panels inside the real main window: the view's curve flags follow the
// bar, the limit texts the user leaves in the alarm panel are what the
// close writes to the settings file, the alarm indicators follow the
// recorder's signals, and texts made from numbers read the same under any
// locale.
#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "plot/CursorReadout.h"
#include "plot/PlotScale.h"
#include "settings/IniFile.h"
#include "panels/CAlarmPanel.h"
#include "panels/CCurveBar.h"
#include "panels/CMeterPanel.h"
#include "ReadingOf.h"
#include "TempDir.h"

#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <clocale>
#include <memory>
#include <string>

namespace {

class PanelsInFrameTest : public TempDirTest {
protected:
    AppOptions m_options;
    void SetUp() override
    {
        m_options.settingsDir = path("ZB740");
        m_options.configFile = path("KM4471config.ini");
        m_options.sysfsRoot = path("sys");
    }
};

TEST_F(PanelsInFrameTest, CurveBarDrivesTheViewAndClosingWritesTheEditedLimits)
{
    CMainFrame frame(m_options);
    frame.resize(1000, 760);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    CKMView* view = frame.view();
    ASSERT_TRUE(view->meterPanel()->isVisible());
    ASSERT_TRUE(view->curveBar()->isVisible());
    ASSERT_TRUE(view->alarmPanel()->isVisible());

    QTest::mouseClick(view->curveBar()->channelButton(kWb), Qt::LeftButton);
    EXPECT_EQ(view->m_bShowCurve, (std::array<bool, 5> {false, true, false, false, false}));
    QTest::mouseClick(view->curveBar()->combineButton(), Qt::LeftButton);
    EXPECT_EQ(view->m_bShowCurve, (std::array<bool, 5> {true, true, true, true, true}));

    view->alarmPanel()->limitEdit(kAir, AlarmLimitSet::High)->setText(QStringLiteral("35"));
    view->alarmPanel()->limitEdit(kRh, AlarmLimitSet::Low)->setText(QStringLiteral("12.5"));
    frame.close();

    const IniFile ini(QDir(m_options.settingsDir).filePath(QStringLiteral("ZB740.ini")));
    EXPECT_EQ(ini.readText(QStringLiteral("Alarmhi1Info"), QStringLiteral("Hi1 limit"), {}), "35.0");
    EXPECT_EQ(ini.readText(QStringLiteral("Alarmlow5Info"), QStringLiteral("Low5 limit"), {}), "12.5");
    EXPECT_EQ(ini.readText(QStringLiteral("Alarmhi4Info"), QStringLiteral("Hi4 limit"), {}), "2501.0");
}

QColor colourAt(QWidget& w, const QRect& r)
{
    return QColor(w.grab(r).toImage().pixel(r.width() / 2, r.height() / 2));
}

TEST_F(PanelsInFrameTest, AlarmIndicatorsFollowTheRecordersSignalAlone)
{
    CMainFrame frame(m_options);
    frame.resize(1000, 760);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    CAlarmPanel& panel = *frame.view()->alarmPanel();
    Recorder& recorder = frame.recorder();
    using Bound = AlarmLimitSet::Bound;

    // Only the signal: no frame, and the recorder's own flags stay off, so
    // the window can have learnt it from nowhere else.
    emit recorder.alarmChanged(AlarmChange {kWb, AlarmLimitSet::Low, true, 1796687155});
    EXPECT_TRUE(panel.alarm(kWb, AlarmLimitSet::Low));
    EXPECT_FALSE(recorder.readout().alarms.low[kWb]);
    for (int c = 0; c < kChannelCount; ++c)
        for (Bound b : {AlarmLimitSet::High, AlarmLimitSet::Low})
            EXPECT_EQ(panel.alarm(c, b), c == kWb && b == AlarmLimitSet::Low) << c << " " << b;
    const QRect wbLow = CAlarmPanel::indicatorRect(kWb, AlarmLimitSet::Low);
    EXPECT_TRUE(QTest::qWaitFor([&] { return colourAt(panel, wbLow) == CAlarmPanel::kBlinkRed; }, 2000));
    emit recorder.alarmChanged(AlarmChange {kWb, AlarmLimitSet::Low, false, 1796687156});
    EXPECT_FALSE(panel.alarm(kWb, AlarmLimitSet::Low));
    EXPECT_EQ(colourAt(panel, wbLow), CAlarmPanel::kIndicatorOff);

    // The whole way: a reading above the AIR limit turns it on, the meter
    // falling silent turns it off.
    panel.limitEdit(kAir, AlarmLimitSet::High)->setText(QStringLiteral("30"));
    emit frame.link()->readingReceived(readingOf({31.0f, 20.0f, 15.0f, 25.0f, 50.0f}));
    EXPECT_TRUE(panel.alarm(kAir, AlarmLimitSet::High));
    emit frame.link()->readingReceived(readingOf({31.5f, 20.0f, 15.0f, 25.0f, 50.0f}));
    EXPECT_TRUE(panel.alarm(kAir, AlarmLimitSet::High));
    emit frame.link()->linkLost(true);
    EXPECT_FALSE(panel.alarm(kAir, AlarmLimitSet::High));
    // A refused port leaves the flags as they were.
    emit frame.link()->readingReceived(readingOf({31.0f, 20.0f, 15.0f, 25.0f, 50.0f}));
    emit frame.link()->linkLost(false);
    EXPECT_TRUE(panel.alarm(kAir, AlarmLimitSet::High));
}

// Sets the C library's and Qt's default locale for one test, and puts both
// back.
class GermanLocale {
public:
    GermanLocale() : m_previous(std::setlocale(LC_ALL, nullptr)), m_qt(QLocale())
    {
        m_ok = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    ~GermanLocale()
    {
        std::setlocale(LC_ALL, m_previous.c_str());
        QLocale::setDefault(m_qt);
    }
    bool ok() const { return m_ok; }

private:
    std::string m_previous;
    QLocale m_qt;
    bool m_ok = false;
};

TEST_F(PanelsInFrameTest, TextsMadeFromNumbersShowDotsUnderAGermanLocale)
{
    GermanLocale german;
    if (!german.ok())
        GTEST_SKIP() << "no de_DE.UTF-8 locale on this machine (scripts/setup-deps.sh makes one)";
    char printed[32];
    std::snprintf(printed, sizeof printed, "%.1f", 22.5);
    ASSERT_STREQ(printed, "22,5") << "the locale did not take effect";

    CMainFrame frame(m_options);
    frame.resize(1000, 760);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    meter::MeterReading r = readingOf({22.5f, 15.25f, 10.75f, 31.37f, 45.5f});
    emit frame.link()->readingReceived(r);
    r.flagsB = meter::kBFahrenheit;
    r.air = -12.5f;
    r.lcd1 = -12.5f;
    emit frame.link()->readingReceived(r);

    // The meter picture's texts.
    const DisplayTexts& lcd = frame.view()->meterPanel()->displayTexts();
    EXPECT_EQ(lcd.value1, "-12.5");
    EXPECT_EQ(lcd.value2, "45.5");
    EXPECT_EQ(lcd.value3, "31.3");
    // The min/max fields, next to limit fields that always showed dots.
    CAlarmPanel& panel = *frame.view()->alarmPanel();
    EXPECT_EQ(panel.maxEdit(kAir)->text(), "72.5F");  // 22.5 C
    EXPECT_EQ(panel.minEdit(kAir)->text(), "9.5F");   // -12.5 C
    EXPECT_EQ(panel.maxEdit(kKir)->text(), "88.4F");  // 31.37 C, cut to tenths
    EXPECT_EQ(panel.minEdit(kRh)->text(), "45.5 %RH");
    EXPECT_EQ(panel.limitEdit(kAir, AlarmLimitSet::High)->text(), "140.0");
    for (int c = 0; c < kChannelCount; ++c) {
        EXPECT_FALSE(panel.maxEdit(c)->text().contains(u',')) << c;
        EXPECT_FALSE(panel.minEdit(c)->text().contains(u',')) << c;
    }

    // The graph's labels and the cursor read-out use Qt's formatting, which
    // keeps to the C locale.
    EXPECT_EQ(plot::yLabelText(22.5f), "22.50");
    auto live = std::make_unique<LiveSeries>();
    live->writeSlot(0, {22.5f, 15.25f, 10.75f, 31.37f, 45.5f});
    const ReadoutTexts t = cursorReadout(RunView::of(*live, RunInfo {1796687155, 1, 1, false, "C"}), 0);
    EXPECT_FALSE(t.values.contains(u',')) << t.values.toStdString();
    EXPECT_TRUE(t.values.contains(QStringLiteral("22.5"))) << t.values.toStdString();
}

} // namespace
