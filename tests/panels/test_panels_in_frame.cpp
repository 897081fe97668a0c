// The panels inside the real main window: the view's curve flags follow the
// bar, and the limit texts the user leaves in the alarm panel are what the
// close writes to the settings file.
#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "settings/IniFile.h"
#include "panels/CAlarmPanel.h"
#include "panels/CCurveBar.h"
#include "panels/CMeterPanel.h"
#include "TempDir.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

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

} // namespace
