// The meter face against the simulated meter over a pseudo-terminal, through
// the real main window and serial layer: key packets arrive byte for byte
// and the meter reacts; the alarm panel's limits reach the recorder.
#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "link/MeterLink.h"
#include "link/SimulatedMeter.h"
#include "panels/CAlarmPanel.h"
#include "panels/CBitmapKey.h"
#include "panels/CMeterPanel.h"
#include "MeterAndFrame.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {
using meter::RemoteKey;

QByteArray hex(const char* s) { return QByteArray::fromHex(QByteArray(s).replace(' ', "")); }

class KeysEndToEndTest : public MeterAndFrameTest {
protected:
    void startWith(SimulatedMeterOptions meterOptions)
    {
        startMeter(meterOptions);
        makeFrame();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_frame->run().m_bNoLink; }, 15000));
    }
    CMeterPanel& face() { return *m_frame->view()->meterPanel(); }
    bool waitForPackets(int count)
    {
        return QTest::qWaitFor([&] { return m_meter->packets().size() >= count; }, 5000);
    }
};

TEST_F(KeysEndToEndTest, UnitsKeyReachesTheMeterAndItsFramesTurnToFahrenheit)
{
    startWith({});
    ASSERT_TRUE(QTest::qWaitFor([&] { return face().displayTexts().unitMark == u"C"; }, 5000));
    const qsizetype before = m_meter->packets().size();  // the wake packet(s)

    QTest::mouseClick(face().key(RemoteKey::Units), Qt::LeftButton);
    ASSERT_TRUE(waitForPackets(int(before) + 1));
    EXPECT_EQ(m_meter->packets().at(before), hex("FF AA 55 6B 28 00 00 00 93 00 FF"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return face().displayTexts().unitMark == u"F"; }, 5000));
    EXPECT_TRUE(m_meter->fahrenheit());
    EXPECT_TRUE(m_frame->run().m_bFahrenheit);
    if (const QString dir = qEnvironmentVariable("ZB740_PICTURE_DIR"); !dir.isEmpty())
        face().grab().save(dir + QStringLiteral("/meter_face_live.png"));

    // AREA double-clicked: the press and then the double-click code, in order
    QTest::mouseClick(face().key(RemoteKey::Area), Qt::LeftButton);
    QTest::mouseDClick(face().key(RemoteKey::Area), Qt::LeftButton);
    ASSERT_TRUE(waitForPackets(int(before) + 3));
    EXPECT_EQ(m_meter->packets().at(before + 1), hex("FF AA 55 6B 46 46 00 00 F7 00 FF"));
    EXPECT_EQ(m_meter->packets().at(before + 2), hex("FF AA 55 6B 4D 00 00 00 B8 00 FF"));
}

TEST_F(KeysEndToEndTest, AlarmPanelLimitsDecideTheAlarms)
{
    SimulatedMeterOptions o;
    o.fixedKir = -1000.0f;  // no K/IR probe
    startWith(o);
    CAlarmPanel& alarms = *m_frame->view()->alarmPanel();
    // every AIR reading is at or above 0, every RH reading at or below 100
    alarms.limitEdit(kAir, AlarmLimitSet::High)->setText(QStringLiteral("0"));
    alarms.limitEdit(kRh, AlarmLimitSet::Low)->setText(QStringLiteral("100"));
    // a missing K/IR reading raises no low alarm, whatever the limit
    alarms.limitEdit(kKir, AlarmLimitSet::Low)->setText(QStringLiteral("2501"));
    ASSERT_EQ(alarms.alarmLimits().high[kAir], 0.0f);
    ASSERT_EQ(alarms.alarmLimits().low[kRh], 100.0f);

    const AlarmFlags& flags = m_frame->recorder().readout().alarms;
    ASSERT_TRUE(QTest::qWaitFor([&] { return flags.high[kAir] && flags.low[kRh]; }, 5000));
    EXPECT_FALSE(flags.low[kKir]);
    EXPECT_FALSE(flags.high[kWb]);
    // the panel was told
    EXPECT_TRUE(alarms.alarm(kAir, AlarmLimitSet::High));
    EXPECT_TRUE(alarms.alarm(kRh, AlarmLimitSet::Low));
    EXPECT_FALSE(alarms.alarm(kKir, AlarmLimitSet::Low));
    // and the panel blinks the AIR high indicator
    const QRect r = CAlarmPanel::indicatorRect(kAir, AlarmLimitSet::High);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return QColor(alarms.grab(r).toImage().pixel(7, 7)) == CAlarmPanel::kBlinkRed; }, 2000));
}

} // namespace
