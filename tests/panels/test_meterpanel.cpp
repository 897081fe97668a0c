// The virtual meter face: what its LCD mirror draws where, and the packets
// its keys send. Pixel checks compare renders of the real panel on the
// offscreen platform.
#include "run/RunState.h"
#include "panels/CBitmapKey.h"
#include "panels/CMeterPanel.h"

#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QImage render(CMeterPanel& panel) { return panel.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Bounding box of the pixels that differ between two renders inside an area.
QRect diffBox(const QImage& a, const QImage& b, const QRect& area)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

int countPixels(const QImage& img, const QRect& area, const std::function<bool(QColor)>& test)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(QColor(img.pixel(x, y))) ? 1 : 0;
    return n;
}

bool isRedInk(QColor c) { return c.red() > 200 && c.green() < 120 && c.blue() < 120; }
bool isDarkInk(QColor c) { return c.red() < 90 && c.green() < 90 && c.blue() < 90; }

DisplayTexts blankTexts()
{
    DisplayTexts t;
    t.maxMinA = t.maxMinB = QStringLiteral("   ");
    t.holdA = t.holdB = QStringLiteral("    ");
    t.recordA = t.recordB = QStringLiteral("     ");
    t.link = QStringLiteral("       ");
    t.wbDp = QStringLiteral("  ");
    return t;
}

DisplayTexts typicalTexts()
{
    DisplayTexts t = blankTexts();
    t.value1 = QStringLiteral("25.0");
    t.value2 = QStringLiteral("45.0");
    t.value3 = QStringLiteral("29.9");
    t.unitMark = QStringLiteral("C");
    t.link = QStringLiteral("PC-LINK");
    t.mode = QStringLiteral("IRTEMP");
    return t;
}

class MeterPanelTest : public ::testing::Test {
protected:
    CMeterPanel m_panel;

    void SetUp() override { m_panel.resize(CMeterPanel::kWidth, 700); }

    QImage renderWith(const DisplayTexts& t, bool noLink = false)
    {
        m_panel.setLinkUp(!noLink);
        m_panel.setDisplayTexts(t);
        return render(m_panel);
    }
};

const QRect kLcd = CMeterPanel::kLcdUpdateRect;

TEST_F(MeterPanelTest, ShowsOnlyRedOfflineBeforeTheFirstFrame)
{
    ASSERT_FALSE(m_panel.linkUp());
    const QImage img = render(m_panel);
    EXPECT_GT(countPixels(img, kLcd, isRedInk), 300);
    EXPECT_EQ(countPixels(img, CMeterPanel::kLcdRect, isDarkInk), 0);
    // OFFLINE sits on the upper half of the LCD, starting at x = 57.
    const QRect redBox = [&] {
        QRect box;
        for (int y = kLcd.top(); y <= kLcd.bottom(); ++y)
            for (int x = kLcd.left(); x <= kLcd.right(); ++x)
                if (isRedInk(QColor(img.pixel(x, y))))
                    box |= QRect(x, y, 1, 1);
        return box;
    }();
    EXPECT_GE(redBox.left(), 57);
    EXPECT_LE(redBox.left(), 62);
    EXPECT_GE(redBox.top(), 229);
    EXPECT_LE(redBox.bottom(), 229 + 50);

    // Texts received while the link is down do not show.
    m_panel.setDisplayTexts(typicalTexts());
    EXPECT_EQ(render(m_panel), img);
}

TEST_F(MeterPanelTest, DrawsEachTextAtItsPlace)
{
    struct Case {
        const char* name;
        QString DisplayTexts::*field;
        QString text;
        QRect area;      // where its ink must lie
        int maxLeft;     // ink must start at or before this x
    };
    const Case cases[] = {
        // value 1 ends near x = 96 whatever its length: five characters start at 61
        {"value1 five chars", &DisplayTexts::value1, "-12.5", {61, 206, 40, 44}, 65},
        {"value1 three chars", &DisplayTexts::value1, "5.0", {75, 206, 26, 44}, 79},
        {"value2", &DisplayTexts::value2, "45.0", {120, 206, 49, 44}, 123},
        // value 3: five characters start at 67
        {"value3 five chars", &DisplayTexts::value3, "-12.5", {67, 259, 102, 75}, 71},
        {"value3 dashes", &DisplayTexts::value3, "----", {83, 259, 86, 75}, 88},
        {"wb/dp", &DisplayTexts::wbDp, "DP", {102, 234, 20, 12}, 104},
        {"mode", &DisplayTexts::mode, "     TYPE-K", {60, 254, 60, 12}, 90},
        {"link", &DisplayTexts::link, "PC-LINK", {126, 194, 43, 12}, 128},
        {"record A", &DisplayTexts::recordA, "REC", {53, 194, 22, 12}, 55},
        {"record B", &DisplayTexts::recordB, "REC", {53, 329, 22, 12}, 55},
        {"max/min A", &DisplayTexts::maxMinA, "MAX", {75, 194, 25, 12}, 77},
        {"max/min A min", &DisplayTexts::maxMinA, "     MIN", {82, 194, 25, 12}, 100},
        {"max/min B", &DisplayTexts::maxMinB, "      MIN", {82, 329, 28, 12}, 105},
        {"hold A", &DisplayTexts::holdA, "HOLD", {105, 194, 20, 12}, 107},
        {"hold B", &DisplayTexts::holdB, "HOLD", {105, 329, 20, 12}, 107},
    };
    const QImage base = renderWith(blankTexts());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayTexts t = blankTexts();
        t.*c.field = c.text;
        const QImage img = renderWith(t);
        const QRect ink = diffBox(base, img, QRect(0, 0, img.width(), img.height()));
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_TRUE(c.area.contains(ink)) << "ink at " << ink.x() << "," << ink.y() << " " << ink.width() << "x"
                                          << ink.height();
        EXPECT_LE(ink.left(), c.maxLeft);
        EXPECT_EQ(countPixels(img, kLcd, isRedInk), 0);
    }
}

TEST_F(MeterPanelTest, DegreeUnitsDrawDegreeMarkUnitAndRh)
{
    DisplayTexts f = typicalTexts();
    f.unitMark = QStringLiteral("F");
    DisplayTexts other = f;
    other.unitMark = QString();  // no degree unit: no degree marks, no %RH
    const QImage withF = renderWith(f);
    const QImage without = renderWith(other);
    // the degree mark at (98, 217), the F at (102, 217), %RH at (145, 209)
    EXPECT_FALSE(diffBox(withF, without, QRect(98, 217, 4, 7)).isEmpty());
    EXPECT_FALSE(diffBox(withF, without, QRect(102, 217, 6, 12)).isEmpty());
    EXPECT_FALSE(diffBox(withF, without, QRect(145, 209, 20, 12)).isEmpty());
    // and the lower unit with its degree mark at (151..160, 279)
    EXPECT_FALSE(diffBox(withF, without, QRect(151, 279, 4, 7)).isEmpty());
    EXPECT_FALSE(diffBox(withF, without, QRect(155, 279, 8, 12)).isEmpty());
}

TEST_F(MeterPanelTest, DashesLeaveTheLowerUnitBlank)
{
    const QRect lowerUnit(149, 277, 20, 20);
    DisplayTexts t = typicalTexts();
    DisplayTexts noUnit = t;
    noUnit.unitMark = QString();
    // a reading shows its unit ...
    EXPECT_FALSE(diffBox(renderWith(t), renderWith(noUnit), lowerUnit).isEmpty());
    // ... dashes do not
    t.value3 = noUnit.value3 = QStringLiteral("----");
    EXPECT_TRUE(diffBox(renderWith(t), renderWith(noUnit), lowerUnit).isEmpty());
}

TEST_F(MeterPanelTest, BacklightChangesOnlyTheLcdBackground)
{
    for (bool noLink : {false, true}) {
        SCOPED_TRACE(noLink ? "offline" : "online");
        DisplayTexts t = typicalTexts();
        const QImage dark = renderWith(t, noLink);
        t.backlight = true;
        const QImage lit = renderWith(t, noLink);
        const QRect changed = diffBox(dark, lit, QRect(0, 0, dark.width(), dark.height()));
        EXPECT_TRUE(CMeterPanel::kLcdRect.contains(changed));
        // a spot with no text: the plain LCD colours
        const QPoint blank(166, 344);
        EXPECT_EQ(QColor(dark.pixel(blank)), CMeterPanel::kLcdColour);
        EXPECT_EQ(QColor(lit.pixel(blank)), CMeterPanel::kBacklightColour);
    }
}

TEST_F(MeterPanelTest, BrandBlockAndStripInEveryState)
{
    DisplayTexts lit = typicalTexts();
    lit.backlight = true;
    const QImage states[] = {render(m_panel), renderWith(typicalTexts()), renderWith(lit), renderWith(lit, true)};
    if (const QString dir = qEnvironmentVariable("ZB740_PICTURE_DIR"); !dir.isEmpty()) {
        int i = 0;
        for (const QImage& img : states)
            img.save(QStringLiteral("%1/meter_panel_%2.png").arg(dir).arg(i++));
    }
    for (const QImage& img : states) {
        EXPECT_GT(countPixels(img, QRect(3, 0, 110, 25), isDarkInk), 150);  // ORVANE
        EXPECT_GT(countPixels(img, QRect(47, 26, 70, 12), isDarkInk), 20);  // INSTRUMENTS
        for (int x : {3, 20, 46}) {
            EXPECT_EQ(QColor(img.pixel(x, 28)), QColor(Qt::black));
            EXPECT_EQ(QColor(img.pixel(x, 33)), QColor(Qt::black));
            EXPECT_EQ(QColor(img.pixel(x, 30)), QColor(Qt::white));
        }
        EXPECT_EQ(QColor(img.pixel(1, 36)), QColor(Qt::white));
        EXPECT_EQ(QColor(img.pixel(119, 37)), QColor(Qt::white));
        EXPECT_EQ(QColor(img.pixel(5, 660)), CMeterPanel::kStripColour);
        EXPECT_EQ(QColor(img.pixel(225, 699)), CMeterPanel::kStripColour);
    }
}

// Records the area of every paint the panel gets.
struct PaintRecorder : QObject {
    QRegion painted;
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(e)->region();
            ++paints;
        }
        return false;
    }
};

TEST_F(MeterPanelTest, RepaintsTheLcdOnlyWhenSomethingChanged)
{
    m_panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_panel));
    PaintRecorder rec;
    m_panel.installEventFilter(&rec);
    auto settle = [&] {
        QCoreApplication::processEvents();
        QRegion r = rec.painted;
        rec.painted = QRegion();
        rec.paints = 0;
        return r;
    };
    settle();

    m_panel.setLinkUp(true);
    m_panel.setDisplayTexts(typicalTexts());
    EXPECT_EQ(settle(), QRegion(CMeterPanel::kLcdUpdateRect));

    m_panel.setDisplayTexts(typicalTexts());
    EXPECT_TRUE(settle().isEmpty());

    DisplayTexts lit = typicalTexts();
    lit.backlight = true;
    m_panel.setDisplayTexts(lit);
    EXPECT_EQ(settle(), QRegion(CMeterPanel::kLcdUpdateRect));

    m_panel.setLinkUp(false);
    EXPECT_EQ(settle(), QRegion(m_panel.rect()));

    // The link comes back with the very same texts: OFFLINE must go.
    m_panel.setLinkUp(true);
    m_panel.setDisplayTexts(lit);
    EXPECT_EQ(settle(), QRegion(CMeterPanel::kLcdUpdateRect));
    EXPECT_EQ(countPixels(render(m_panel), kLcd, isRedInk), 0);
}

TEST_F(MeterPanelTest, AnLcdRepaintLeavesWhatAFullRepaintDraws)
{
    m_panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_panel));
    PaintRecorder rec;
    m_panel.installEventFilter(&rec);
    m_panel.setLinkUp(true);
    m_panel.repaint();
    // What the window holds now, without painting again.
    auto onScreen = [this] {
        return m_panel.screen()->grabWindow(m_panel.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    for (const bool backlight : {false, true}) {
        DisplayTexts t = typicalTexts();
        t.backlight = backlight;
        t.value1 = backlight ? QStringLiteral("31.4") : QStringLiteral("27.2");
        rec.painted = QRegion();
        m_panel.setDisplayTexts(t);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !rec.painted.isEmpty(); }));
        EXPECT_EQ(rec.painted, QRegion(CMeterPanel::kLcdUpdateRect));
        const QImage painted = onScreen();
        ASSERT_EQ(painted.size(), m_panel.size());
        EXPECT_EQ(diffBox(painted, render(m_panel), m_panel.rect()), QRect()) << backlight;
    }
}

// ---- keys ----

QByteArray hex(const char* s) { return QByteArray::fromHex(QByteArray(s).replace(' ', "")); }

using meter::RemoteKey;

struct KeyCase {
    RemoteKey key;
    QPoint pos;
    QSize size;
    const char* press;
    const char* doubleClick;  // nullptr: none
};

const KeyCase kKeyCases[] = {
    {RemoteKey::HoldUp, {135, 368}, {29, 26}, "FF AA 55 6B 1E 00 00 00 89 00 FF", nullptr},
    {RemoteKey::PowerOff, {143, 578}, {24, 23}, "FF AA 55 6B 50 00 00 00 BB 00 FF", nullptr},
    {RemoteKey::MaxMinUp, {58, 368}, {29, 26}, "FF AA 55 6B 0A 00 00 00 75 00 FF", "FF AA 55 6B 0B 00 00 00 76 00 FF"},
    {RemoteKey::Irt, {99, 408}, {25, 25}, "FF AA 55 69 0A 00 00 00 73 00 FF", nullptr},
    {RemoteKey::MaxMinDown, {62, 502}, {41, 23}, "FF AA 55 6B 3C 00 00 00 A7 00 FF",
     "FF AA 55 6B 42 00 00 00 AD 00 FF"},
    {RemoteKey::HoldDown, {120, 504}, {38, 22}, "FF AA 55 6B 32 00 00 00 9D 00 FF", nullptr},
    {RemoteKey::Avg, {96, 367}, {30, 30}, "FF AA 55 6B 14 00 00 00 7F 00 FF", "FF AA 55 6B 16 00 00 00 81 00 FF"},
    {RemoteKey::Units, {89, 469}, {43, 24}, "FF AA 55 6B 28 00 00 00 93 00 FF", "FF AA 55 6B 2C 00 00 00 97 00 FF"},
    {RemoteKey::Area, {91, 535}, {38, 23}, "FF AA 55 6B 46 46 00 00 F7 00 FF", "FF AA 55 6B 4D 00 00 00 B8 00 FF"},
};

std::vector<QByteArray> packets(const QSignalSpy& spy)
{
    std::vector<QByteArray> out;
    for (const auto& args : spy)
        out.push_back(args.at(0).toByteArray());
    return out;
}

TEST_F(MeterPanelTest, KeysSitAtTheirPlacesAndSendTheirPackets)
{
    m_panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_panel));
    for (const KeyCase& c : kKeyCases) {
        CBitmapKey* key = m_panel.key(c.key);
        SCOPED_TRACE(key->text().toStdString());
        EXPECT_EQ(key->geometry(), QRect(c.pos, c.size));
        EXPECT_EQ(m_panel.childAt(c.pos + QPoint(c.size.width() / 2, c.size.height() / 2)), key);

        QSignalSpy spy(&m_panel, &CMeterPanel::keyPacket);
        QTest::mouseClick(key, Qt::LeftButton);
        EXPECT_EQ(packets(spy), std::vector<QByteArray> {hex(c.press)});

        // a double-click: the first click presses, the second sends the
        // double-click code when the key has one
        // (the window system delivers press, release, double-click, release)
        spy.clear();
        QTest::mouseClick(key, Qt::LeftButton);
        QTest::mouseDClick(key, Qt::LeftButton);
        std::vector<QByteArray> expected {hex(c.press)};
        if (c.doubleClick)
            expected.push_back(hex(c.doubleClick));
        EXPECT_EQ(packets(spy), expected);
    }
}

TEST_F(MeterPanelTest, HeldKeyShowsThePressedCursorAndPressesAgainWhenReentered)
{
    m_panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_panel));
    CBitmapKey* key = m_panel.key(RemoteKey::Units);
    QSignalSpy spy(&m_panel, &CMeterPanel::keyPacket);
    const QPoint inside(10, 10);

    QTest::mousePress(key, Qt::LeftButton, {}, inside);
    EXPECT_TRUE(key->testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(key->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(key->cursor().hotSpot(), QPoint(11, 1));

    QTest::mouseMove(key, QPoint(80, 10));  // off the key, still held
    EXPECT_FALSE(key->isDown());
    QTest::mouseMove(key, inside);  // back on it
    EXPECT_TRUE(key->isDown());
    QTest::mouseRelease(key, Qt::LeftButton, {}, inside);
    EXPECT_FALSE(key->testAttribute(Qt::WA_SetCursor));

    const QByteArray press = hex("FF AA 55 6B 28 00 00 00 93 00 FF");
    EXPECT_EQ(packets(spy), (std::vector<QByteArray> {press, press}));
}

// A parent that records the keys reaching it.
struct KeySink : QWidget {
    std::vector<int> keys;
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
};

TEST(MeterPanelKeys, EnterAndEscapeStopAtThePanel)
{
    KeySink frame;
    auto* panel = new CMeterPanel(&frame);
    QTest::keyClick(panel, Qt::Key_Escape);
    QTest::keyClick(panel, Qt::Key_Return);
    QTest::keyClick(panel, Qt::Key_Enter);
    QTest::keyClick(panel, Qt::Key_A);
    EXPECT_EQ(frame.keys, std::vector<int> {Qt::Key_A});
}

} // namespace
