// The alarm panel: limits from the configuration file, the text and spin
// rules on the real edits and spin buttons, the blinking indicators, and the
// numeric edit's character filter.
#include "widgets/StepButtons.h"
#include "panels/CAlarmPanel.h"
#include "widgets/CNumEdit.h"
#include "TempDir.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {
using Bound = AlarmLimitSet::Bound;
constexpr Bound High = AlarmLimitSet::High;
constexpr Bound Low = AlarmLimitSet::Low;

class AlarmPanelTest : public TempDirTest {
protected:
    AppOptions m_options;
    std::unique_ptr<CAlarmPanel> m_panel;

    void SetUp() override
    {
        m_options = tempOptions();
    }
    CAlarmPanel& panel()
    {
        if (!m_panel)
            m_panel = std::make_unique<CAlarmPanel>(settings::readConfiguredLimitTexts(settings::configFile(m_options)));
        return *m_panel;
    }
    void writeConfig(const char* text)
    {
        QFile f(m_options.configFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QString shown(int c, Bound b) { return panel().limitEdit(c, b)->text(); }
    // Replaces the whole text at once, as a paste over a selection does.
    void replace(int c, Bound b, const QString& text) { panel().limitEdit(c, b)->setText(text); }
    void showActive()
    {
        panel().show();
        QApplication::setActiveWindow(&panel());
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel()));
    }
    // Types into a limit edit over its whole text and finishes with Enter.
    void type(int c, Bound b, const QString& keys, bool finish = true)
    {
        QLineEdit* e = panel().limitEdit(c, b);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, keys);
        if (finish)
            QTest::keyClick(e, Qt::Key_Return);
    }
    void spin(int c, Bound b, int clicks)
    {
        StepButtons* s = panel().spinButtons(c, b);
        QToolButton* button = clicks > 0 ? s->upButton() : s->downButton();
        for (int i = 0; i < std::abs(clicks); ++i)
            QTest::mouseClick(button, Qt::LeftButton);
    }
};

TEST_F(AlarmPanelTest, StartsWithTheDefaultLimitsWithoutAConfigurationFile)
{
    const char* high[] = {"140.0", "140.0", "140.0", "2501.0", "100.0"};
    for (int c = 0; c < kChannelCount; ++c) {
        EXPECT_EQ(shown(c, High), high[c]);
        EXPECT_EQ(shown(c, Low), "0.0");
        EXPECT_TRUE(panel().maxEdit(c)->text().isEmpty());
        EXPECT_TRUE(panel().minEdit(c)->text().isEmpty());
    }
    const AlarmLimits l = panel().alarmLimits();
    EXPECT_EQ(l.high, (std::array<float, 5> {140.0f, 140.0f, 140.0f, 2501.0f, 100.0f}));
    EXPECT_EQ(l.low, (std::array<float, 5> {}));
}

TEST_F(AlarmPanelTest, ReadsItsLimitsFromTheConfigurationFile)
{
    writeConfig("[Alarmhi1Info]\nHi1 limit=35.5\n[Alarmlow1Info]\nLow1 limit=-5\n"
                "[Alarmhi5Info]\nHi5 limit=80\n[Alarmlow5Info]\nLow5 limit=20.25\n");
    EXPECT_EQ(shown(kAir, High), "35.5");
    EXPECT_EQ(shown(kAir, Low), "-5.0");
    EXPECT_EQ(shown(kRh, High), "80.0");
    EXPECT_EQ(shown(kRh, Low), "20.2");
    EXPECT_EQ(shown(kWb, High), "140.0");
    EXPECT_FLOAT_EQ(panel().alarmLimits().high[kAir], 35.5f);
    EXPECT_FLOAT_EQ(panel().alarmLimits().low[kAir], -5.0f);
    const settings::LimitTexts texts = panel().limitTexts();
    EXPECT_EQ(texts.high[kRh], "80.0");
    EXPECT_EQ(texts.low[kAir], "-5.0");
}

TEST_F(AlarmPanelTest, TextRuleClampsToItsRangeAndTheOtherLimit)
{
    struct Case {
        const char* name;
        int channel;
        Bound bound;
        const char* before;  // optional text put into the other limit first
        const char* text;
        const char* expected;
        float value;
    };
    const Case cases[] = {
        {"AIR high 5", kAir, High, nullptr, "5", "5.0", 5.0f},
        {"AIR high 200", kAir, High, nullptr, "200", "140.0", 140.0f},
        {"AIR low below text range", kAir, Low, nullptr, "-50", "-10.0", -10.0f},
        {"WB high beyond its spin range", kWb, High, nullptr, "300", "300.0", 300.0f},
        {"WB high beyond its text range", kWb, High, nullptr, "900", "500.0", 500.0f},
        {"DP low negative", kDp, Low, nullptr, "-5", "0.0", 0.0f},
        {"K/IR high over range", kKir, High, nullptr, "3000", "2501.0", 2501.0f},
        {"high below its low", kAir, High, "20", "10", "20.0", 20.0f},
        {"low above its high", kRh, Low, "50", "70", "50.0", 50.0f},
        {"not a number", kWb, High, nullptr, "abc", "0.0", 0.0f},
        {"trailing letters", kRh, High, nullptr, "80x", "80.0", 80.0f},
        {"rounded to a tenth", kDp, High, nullptr, "12.34", "12.3", 12.3f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_panel.reset();
        const Bound other = c.bound == High ? Low : High;
        if (c.before)
            replace(c.channel, other, QString::fromLatin1(c.before));
        replace(c.channel, c.bound, QString::fromLatin1(c.text));
        EXPECT_EQ(shown(c.channel, c.bound), c.expected);
        const AlarmLimits l = panel().alarmLimits();
        EXPECT_NEAR(c.bound == High ? l.high[size_t(c.channel)] : l.low[size_t(c.channel)], c.value, 1e-4);
    }
}

TEST_F(AlarmPanelTest, TypedNumbersSettleWhenTheUserIsDone)
{
    showActive();
    type(kAir, High, QStringLiteral("200"), false);
    // typing is not interrupted, but the limit already holds
    EXPECT_EQ(shown(kAir, High), "200");
    EXPECT_FLOAT_EQ(panel().alarmLimits().high[kAir], 140.0f);
    QTest::keyClick(panel().limitEdit(kAir, High), Qt::Key_Return);
    EXPECT_EQ(shown(kAir, High), "140.0");

    type(kAir, High, QStringLiteral("25"));
    EXPECT_EQ(shown(kAir, High), "25.0");

    // leaving the edit settles it as well
    type(kWb, Low, QStringLiteral("12.54"), false);
    EXPECT_EQ(shown(kWb, Low), "12.54");
    panel().limitEdit(kDp, Low)->setFocus();
    EXPECT_EQ(shown(kWb, Low), "12.5");
    EXPECT_FLOAT_EQ(panel().alarmLimits().low[kWb], 12.5f);

    // letters never reach a numeric limit edit ...
    type(kAir, Low, QStringLiteral("a5b"));
    EXPECT_EQ(shown(kAir, Low), "5.0");
    // ... but the RH high edit takes them and the rule keeps a number
    // between the RH low limit and 100
    replace(kRh, Low, QStringLiteral("20"));
    type(kRh, High, QStringLiteral("xyz"));
    EXPECT_EQ(shown(kRh, High), "20.0");
}

TEST_F(AlarmPanelTest, SpinsStopAtTheTighterOfTheirRanges)
{
    struct Case {
        const char* name;
        int channel;
        Bound bound;
        const char* start;
        int clicks;
        const char* expected;
    };
    const Case cases[] = {
        // the spin range reaches -20, the text rule stops AIR at -10
        {"AIR low down", kAir, Low, "0", -40, "-10.0"},
        {"AIR high up", kAir, High, "130", 20, "140.0"},
        {"WB high up", kWb, High, "100", 60, "140.0"},
        {"WB high above its spin range", kWb, High, "300", 1, "140.0"},
        {"DP low down", kDp, Low, "3", -10, "0.0"},
        {"K/IR low down", kKir, Low, "-140", -20, "-148.0"},
        {"RH high up", kRh, High, "95", 10, "100.0"},
        {"one step", kWb, Low, "10", 1, "11.0"},
        {"high spun into its low", kDp, High, "5", -10, "0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_panel.reset();
        replace(c.channel, c.bound, QString::fromLatin1(c.start));
        spin(c.channel, c.bound, c.clicks);
        EXPECT_EQ(shown(c.channel, c.bound), c.expected);
    }

    // AIR high spun down with its low out of the way stops at -10 too
    m_panel.reset();
    replace(kAir, Low, QStringLiteral("-10"));
    replace(kAir, High, QStringLiteral("-5"));
    spin(kAir, High, -30);
    EXPECT_EQ(shown(kAir, High), "-10.0");
}

// The program's locale for the lifetime of the object (widgets made while
// it is in force take it).
class ScopedLocale {
public:
    explicit ScopedLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~ScopedLocale() { QLocale::setDefault(m_old); }

private:
    QLocale m_old;
};

TEST_F(AlarmPanelTest, ADecimalCommaIsTheDecimalPointWhereTheLocaleWritesOne)
{
    struct Case {
        const char* name;
        QLocale::Language language;
        int channel;
        Bound bound;
        bool typed;        // typed key by key, else replaced at once (a paste)
        const char* text;
        const char* shown;
        float value;
    };
    const Case cases[] = {
        {"German, typed into AIR high", QLocale::German, kAir, High, true, "22,5", "22.5", 22.5f},
        {"German, typed into AIR low", QLocale::German, kAir, Low, true, "-3,5", "-3.5", -3.5f},
        {"German, typed into the RH high edit", QLocale::German, kRh, High, true, "65,5", "65.5", 65.5f},
        {"German, pasted into DP high", QLocale::German, kDp, High, false, "22,5", "22.5", 22.5f},
        {"German, a point still reads as one", QLocale::German, kWb, High, true, "22.5", "22.5", 22.5f},
        {"French, typed into K/IR high", QLocale::French, kKir, High, true, "1250,5", "1250.5", 1250.5f},
        // Where the point is the decimal sign, a comma groups thousands:
        // typed, it is dropped as before.
        {"English, typed into K/IR high", QLocale::English, kKir, High, true, "2,501", "2501.0", 2501.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScopedLocale locale(QLocale(c.language));
        m_panel.reset();
        showActive();
        if (c.typed)
            type(c.channel, c.bound, QString::fromLatin1(c.text));
        else
            replace(c.channel, c.bound, QString::fromLatin1(c.text));
        EXPECT_EQ(shown(c.channel, c.bound), c.shown);
        const AlarmLimits l = panel().alarmLimits();
        EXPECT_FLOAT_EQ(c.bound == High ? l.high[size_t(c.channel)] : l.low[size_t(c.channel)], c.value);
        EXPECT_EQ(c.bound == High ? panel().limitTexts().high[size_t(c.channel)]
                                  : panel().limitTexts().low[size_t(c.channel)],
                  c.shown)
            << "the settings file keeps the point";
    }
}

QColor colourAt(CAlarmPanel& panel, const QRect& r)
{
    return QColor(panel.grab(r).toImage().pixel(r.width() / 2, r.height() / 2));
}

TEST_F(AlarmPanelTest, IndicatorsBlinkRedAndTheGroundWhileTheAlarmIsOn)
{
    // The ground is the palette's window colour: a light grey on the usual
    // palette.
    const QColor off(181, 181, 181), red(255, 0, 0), light = panel().palette().color(QPalette::Window);
    EXPECT_GT(light.lightness(), 200);
    EXPECT_EQ(CAlarmPanel::indicatorRect(0, High), QRect(378, 3, 15, 15));
    EXPECT_EQ(CAlarmPanel::indicatorRect(4, Low), QRect(485, 123, 15, 15));
    for (int c = 0; c < kChannelCount; ++c)
        for (Bound b : {High, Low})
            EXPECT_EQ(colourAt(panel(), CAlarmPanel::indicatorRect(c, b)), off);

    std::array<bool, 5> high {true, false, false, false, false};
    std::array<bool, 5> low {false, false, false, false, true};
    panel().setAlarmFlags(high, low);
    for (const QRect r : {CAlarmPanel::indicatorRect(kAir, High), CAlarmPanel::indicatorRect(kRh, Low)}) {
        // red first, then light grey, then red again
        for (const QColor& next : {red, light, red, light})
            EXPECT_TRUE(QTest::qWaitFor([&] { return colourAt(panel(), r) == next; }, 2000));
    }
    EXPECT_EQ(colourAt(panel(), CAlarmPanel::indicatorRect(kAir, Low)), off);
    EXPECT_EQ(colourAt(panel(), CAlarmPanel::indicatorRect(kWb, High)), off);

    if (const QString dir = qEnvironmentVariable("ZB740_PICTURE_DIR"); !dir.isEmpty())
        panel().grab().save(dir + QStringLiteral("/alarm_panel.png"));
    panel().setAlarmFlags({}, {});
    EXPECT_EQ(colourAt(panel(), CAlarmPanel::indicatorRect(kAir, High)), off);
    EXPECT_EQ(colourAt(panel(), CAlarmPanel::indicatorRect(kRh, Low)), off);
}

TEST_F(AlarmPanelTest, ShowsTheExtremesItIsGiven)
{
    MinMaxTexts t;
    t.max[kAir] = QStringLiteral("21.3C");
    t.min[kAir] = QStringLiteral("21.3C");
    t.max[kRh] = QStringLiteral("45.2 %RH");
    panel().setMinMaxTexts(t);
    EXPECT_EQ(panel().maxEdit(kAir)->text(), "21.3C");
    EXPECT_EQ(panel().minEdit(kAir)->text(), "21.3C");
    EXPECT_EQ(panel().maxEdit(kRh)->text(), "45.2 %RH");
    EXPECT_TRUE(panel().minEdit(kRh)->text().isEmpty());
    EXPECT_TRUE(panel().maxEdit(kAir)->isReadOnly());
}

struct KeySink : QWidget {
    std::vector<int> keys;
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
};

TEST_F(AlarmPanelTest, EnterAndEscapeStopAtThePanel)
{
    KeySink frame;
    auto* p = new CAlarmPanel(settings::readConfiguredLimitTexts(settings::configFile(m_options)), &frame);
    for (QWidget* target : {static_cast<QWidget*>(p), static_cast<QWidget*>(p->limitEdit(kAir, High)),
                            static_cast<QWidget*>(p->limitEdit(kRh, High))}) {
        QTest::keyClick(target, Qt::Key_Escape);
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
    }
    EXPECT_TRUE(frame.keys.empty());
}

TEST(NumEdit, LetsOnlyNumberCharactersThrough)
{
    struct Case {
        const char* name;
        std::function<void(CNumEdit&)> act;
        const char* expected;
    };
    const Case cases[] = {
        {"a number", [](CNumEdit& e) { QTest::keyClicks(&e, "12.5"); }, "12.5"},
        {"letters and spaces", [](CNumEdit& e) { QTest::keyClicks(&e, "1a b2"); }, "12"},
        {"signs and points anywhere", [](CNumEdit& e) { QTest::keyClicks(&e, "-1-.2."); }, "-1-.2."},
        {"enter", [](CNumEdit& e) {
             QTest::keyClicks(&e, "7");
             QTest::keyClick(&e, Qt::Key_Return);
         }, "7"},
        {"backspace", [](CNumEdit& e) {
             QTest::keyClicks(&e, "123");
             QTest::keyClick(&e, Qt::Key_Backspace);
         }, "12"},
        {"cursor keys and delete", [](CNumEdit& e) {
             QTest::keyClicks(&e, "123");
             QTest::keyClick(&e, Qt::Key_Home);
             QTest::keyClick(&e, Qt::Key_Delete);
             QTest::keyClick(&e, Qt::Key_End);
             QTest::keyClicks(&e, "4");
         }, "234"},
        {"paste shortcut dropped", [](CNumEdit& e) {
             QTest::keyClicks(&e, "1");
             QTest::keyClick(&e, Qt::Key_V, Qt::ControlModifier);
         }, "1"},
        {"cut shortcut dropped", [](CNumEdit& e) {
             QTest::keyClicks(&e, "12");
             e.selectAll();
             QTest::keyClick(&e, Qt::Key_X, Qt::ControlModifier);
         }, "12"},
        {"paste from the menu still works", [](CNumEdit& e) {
             QTest::keyClicks(&e, "1");
             e.paste();
         }, "199"},
    };
    QApplication::clipboard()->setText(QStringLiteral("99"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CNumEdit edit;
        c.act(edit);
        EXPECT_EQ(edit.text(), c.expected);
    }
}

TEST(NumEdit, LetsACommaThroughWhereTheLocaleWritesDecimalsWithOne)
{
    for (const auto& [language, expected] : {std::pair {QLocale::German, "22,5"}, std::pair {QLocale::English, "225"}}) {
        const ScopedLocale locale {QLocale(language)};
        CNumEdit edit;
        QTest::keyClicks(&edit, "22,5");
        EXPECT_EQ(edit.text(), expected) << QLocale(language).name().toStdString();
    }
}

} // namespace
