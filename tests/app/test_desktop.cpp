// The main window as a keyboard user, a screen reader and a dark desktop
// meet it: the command keys, the Run dialog's keys, the accessibility tree
// and the contrast of the panels' texts on a dark palette at every scale.
#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "app/CSampleRateDlg.h"
#include "graph/RealtimeGraph.h"
#include "logger/CLoggerGraphDlg.h"
#include "panels/CAlarmPanel.h"
#include "panels/CCurveBar.h"
#include "panels/CMeterPanel.h"
#include "widgets/StepButtons.h"
#include "../logger/LoggerFixtures.h"
#include "ModalAnswers.h"
#include "TempDir.h"

#include <QAccessible>
#include <QDir>
#include <QFontMetrics>
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

class DesktopTest : public TempDirTest {
protected:
    void SetUp() override { options = tempOptions(); }

    std::unique_ptr<CMainFrame> makeFrame()
    {
        auto f = std::make_unique<CMainFrame>(options);
        f->resize(1200, 800);
        f->show();
        f->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(f.get()));
        return f;
    }

    AppOptions options;
};

TEST_F(DesktopTest, EveryCommandHasItsKeyAndTheKeyTriggersIt)
{
    using Command = CMainFrame::Command;
    struct Case {
        Command command;
        QKeySequence key;
    };
    const Case cases[] = {
        {Command::Contents, QKeySequence(Qt::Key_F1)},
        {Command::Exit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {Command::Run, QKeySequence(Qt::Key_F5)},
        {Command::Stop, QKeySequence(Qt::SHIFT | Qt::Key_F5)},
        {Command::UndoZoom, QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {Command::StepBack, QKeySequence(Qt::Key_Backspace)},
        {Command::Open, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {Command::Save, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {Command::Print, QKeySequence(Qt::CTRL | Qt::Key_P)},
    };
    auto f = makeFrame();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.toString().toStdString());
        QAction* a = f->action(c.command);
        EXPECT_EQ(a->shortcut(), c.key);
        // The key reaches the command from the window, whatever has the
        // focus there (the command's own work is tested elsewhere).
        QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
        a->setEnabled(true);
        QSignalSpy triggered(a, &QAction::triggered);
        const QKeyCombination combination = c.key[0];
        QTest::keyClick(f.get(), combination.key(), combination.keyboardModifiers());
        EXPECT_EQ(triggered.count(), 1);
    }
    // No two commands share a key.
    QMap<QString, int> keys;
    for (QAction* a : f->findChildren<QAction*>())
        if (!a->shortcut().isEmpty())
            ++keys[a->shortcut().toString()];
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key().toStdString();
}

TEST_F(DesktopTest, F5OpensTheRunDialogWhoseFieldsAndArrowsTakeTheKeys)
{
    auto f = makeFrame();
    f->run().onValidFrame(1000); // the meter answers: Run is available
    f->updateCommands();
    ASSERT_TRUE(f->action(CMainFrame::Command::Run)->isEnabled());

    bool seen = false;
    whenModalAppears([&seen](QWidget* w) {
        auto* dlg = qobject_cast<CSampleRateDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        seen = true;
        dlg->setSampleRate(5);
        dlg->setSampleData(3000);
        struct Step {
            QWidget* target;
            Qt::Key key;
            const char* rate;
            const char* data;
        };
        // Tab order: rate field, its arrows, count field, its arrows.
        dlg->rateEdit()->setFocus();
        const Step steps[] = {
            {dlg->rateEdit(), Qt::Key_Up, "6", "3000"},
            {dlg->rateEdit(), Qt::Key_PageUp, "16", "3000"},
            {dlg->rateEdit(), Qt::Key_Down, "15", "3000"},
            {dlg->rateSpin(), Qt::Key_PageDown, "5", "3000"},
            {dlg->rateSpin(), Qt::Key_Down, "4", "3000"},
            {dlg->dataEdit(), Qt::Key_Up, "4", "4000"},
            {dlg->dataEdit(), Qt::Key_Down, "4", "3000"},
            {dlg->dataSpin(), Qt::Key_Up, "4", "4000"},
            {dlg->dataSpin(), Qt::Key_PageUp, "4", "10000"},
            {dlg->dataSpin(), Qt::Key_PageDown, "4", "1000"},
        };
        for (const Step& s : steps) {
            SCOPED_TRACE(QKeySequence(s.key).toString().toStdString());
            if (QApplication::focusWidget() != s.target)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), s.target) << QApplication::focusWidget()->metaObject()->className();
            QTest::keyClick(s.target, s.key);
            EXPECT_EQ(dlg->rateEdit()->text(), QLatin1String(s.rate));
            EXPECT_EQ(dlg->dataEdit()->text(), QLatin1String(s.data));
        }
        // Alt+O presses OK.
        dlg->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dlg));
        QTest::keyClick(dlg, Qt::Key_O, Qt::AltModifier);
        // (a button pressed by its key shows itself pressed for a moment)
        EXPECT_TRUE(QTest::qWaitFor([dlg] { return !dlg->isVisible(); }, 5000));
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
    });
    QTest::keyClick(f.get(), Qt::Key_F5);
    EXPECT_TRUE(seen);
    EXPECT_EQ(f->run().m_nSampleLimit, 1000);
}

TEST_F(DesktopTest, MeterKeysAreInTheTabOrderAndSpacePressesThem)
{
    auto f = makeFrame();
    CMeterPanel* meter = f->view()->meterPanel();
    QList<QAbstractButton*> keys = meter->findChildren<QAbstractButton*>();
    ASSERT_EQ(keys.size(), 9);
    QSignalSpy packets(meter, &CMeterPanel::keyPacket);
    // Tab goes through the window and reaches every key; Space presses
    // the key that has the focus.
    keys.first()->setFocus();
    QSet<QWidget*> visited;
    for (int i = 0; i < 200 && visited.size() < keys.size(); ++i) {
        QWidget* now = QApplication::focusWidget();
        ASSERT_NE(now, nullptr);
        if (keys.contains(qobject_cast<QAbstractButton*>(now)) && !visited.contains(now)) {
            visited.insert(now);
            QTest::keyClick(now, Qt::Key_Space);
        }
        QTest::keyClick(now, Qt::Key_Tab);
    }
    for (QAbstractButton* k : keys)
        EXPECT_TRUE(visited.contains(k)) << k->accessibleName().toStdString();
    EXPECT_EQ(packets.count(), 9);
}

// The interface's name, or why it has none.
QString nameOf(QAccessibleInterface* i) { return i->text(QAccessible::Name).trimmed(); }

// Every control and drawn reading under the interface, depth first.
void walk(QAccessibleInterface* node, const std::function<void(QAccessibleInterface*)>& visit, int depth = 0)
{
    if (!node || depth > 40)
        return;
    visit(node);
    for (int i = 0; i < node->childCount(); ++i)
        walk(node->child(i), visit, depth + 1);
}

bool needsName(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::ScrollBar:
    case QAccessible::ComboBox:
    case QAccessible::Chart:
    case QAccessible::Indicator:
    case QAccessible::Graphic:
    case QAccessible::ProgressBar:
        return true;
    default:
        return false;
    }
}

TEST_F(DesktopTest, TheAccessibilityTreeHasNoUnnamedControl)
{
    auto f = makeFrame();
    f->view()->alarmPanel()->setFahrenheit(false);
    QStringList unnamed;
    QMap<QString, QAccessibleInterface*> byName;
    auto check = [&](QWidget* window) {
        walk(QAccessible::queryAccessibleInterface(window), [&](QAccessibleInterface* i) {
            if (i->state().invisible)
                return;
            const QString name = nameOf(i);
            if (!name.isEmpty())
                byName.insert(name, i);
            if ((needsName(i->role()) || i->state().focusable) && name.isEmpty()) {
                QObject* o = i->object();
                unnamed << QStringLiteral("%1 %2 (role %3)")
                               .arg(o ? o->metaObject()->className() : "?", o ? o->objectName() : QString())
                               .arg(int(i->role()));
            }
        });
    };
    check(f.get());
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QStringLiteral("\n")).toStdString();

    // Named as a user reads them, drawn readings included.
    struct Expect {
        const char* name;
        QAccessible::Role role;
        const char* valueStarts; // nullptr: not checked
    };
    const Expect expected[] = {
        {"AIR high limit, \u00b0C", QAccessible::EditableText, nullptr},
        {"RH low limit, %RH", QAccessible::EditableText, nullptr},
        {"DP maximum", QAccessible::EditableText, nullptr},
        {"Hold, upper display", QAccessible::Button, nullptr},
        {"Max/Min, lower display", QAccessible::Button, nullptr},
        {"Power off", QAccessible::Button, nullptr},
        {"Upper display", QAccessible::StaticText, "OFFLINE"},
        {"AIR high alarm", QAccessible::Indicator, "off"},
        {"Real-time graph", QAccessible::Chart, "No samples yet"},
        {"Sample Rate, seconds", QAccessible::EditableText, nullptr},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.name);
        QAccessibleInterface* i = byName.value(QString::fromUtf8(e.name));
        ASSERT_NE(i, nullptr) << "names: " << QStringList(byName.keys()).join(" | ").toStdString();
        if (e.role != QAccessible::Button) {
            EXPECT_EQ(i->role(), e.role);
        } else {
            EXPECT_TRUE(i->role() == QAccessible::Button || i->role() == QAccessible::PushButton);
        }
        if (e.valueStarts) {
            EXPECT_TRUE(i->text(QAccessible::Value).startsWith(QString::fromUtf8(e.valueStarts)))
                << i->text(QAccessible::Value).toStdString();
            EXPECT_EQ(i->text(QAccessible::Description), i->text(QAccessible::Value));
        }
    }
    // No key is named by its packet's code.
    for (const char* code : {"HOLDUP", "POWEROFF", "MAXMIN"})
        EXPECT_FALSE(byName.contains(QLatin1String(code))) << code;

    // An alarm light reads "on" while it blinks; in degrees F the limits
    // say so.
    f->view()->alarmPanel()->setAlarm(kAir, AlarmLimitSet::High, true);
    EXPECT_EQ(byName.value(QStringLiteral("AIR high alarm"))->text(QAccessible::Value), QStringLiteral("on"));
    f->view()->alarmPanel()->setFahrenheit(true);
    EXPECT_EQ(f->view()->alarmPanel()->limitEdit(kAir, AlarmLimitSet::High)->accessibleName(),
              QStringLiteral("AIR high limit, \u00b0F"));

    // The Run dialog too.
    unnamed.clear();
    CSampleRateDlg dlg(options.configFile);
    dlg.show();
    check(&dlg);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QStringLiteral("\n")).toStdString();
}

// Relative luminance and contrast ratio as the accessibility guidelines
// define them.
double luminance(QRgb c)
{
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}
double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of a text in its rectangle of the picture: its ground is the
// commonest colour there, its ink the colour that stands out most from it.
double textContrast(const QImage& picture, const QRect& r)
{
    QMap<QRgb, int> counts;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[picture.pixel(x, y) | 0xff000000u];
    QRgb ground = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            ground = it.key();
        }
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrast(ground, it.key()));
    return best;
}

QPalette darkPalette()
{
    QPalette p;
    const QColor window(45, 45, 48), text(230, 230, 230), base(30, 30, 32), button(60, 60, 64);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(150, 150, 150));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(150, 150, 150));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(150, 150, 150));
    return p;
}

TEST_F(DesktopTest, PanelTextsAreReadableOnADarkPaletteAtEveryScale)
{
    const QPalette before = QApplication::palette();
    struct Restore {
        QPalette palette;
        ~Restore() { QApplication::setPalette(palette); }
    } restore {before};

    struct Theme {
        const char* name;
        QPalette palette;
    };
    const Theme themes[] = {{"light", before}, {"dark", darkPalette()}};
    for (const Theme& theme : themes) {
        SCOPED_TRACE(theme.name);
        QApplication::setPalette(theme.palette);
        auto f = makeFrame();
        f->run().onValidFrame(1000); // a reading: the fields show texts
        f->updateCommands();
        QApplication::processEvents();
        // The panels' texts: labels, fields and buttons of the curve bar and
        // the alarm panel, and the status bar's panes.
        QList<QWidget*> texts;
        for (QWidget* panel : {static_cast<QWidget*>(f->view()->curveBar()), static_cast<QWidget*>(f->view()->alarmPanel()),
                               static_cast<QWidget*>(f->statusBar())}) {
            for (QLabel* l : panel->findChildren<QLabel*>())
                // (CAP, NUM and SCRL are shown disabled: the lock is off)
                if (l->isVisible() && l->isEnabled() && !l->text().trimmed().isEmpty() && l->pixmap().isNull())
                    texts << l;
            for (QLineEdit* e : panel->findChildren<QLineEdit*>())
                if (e->isVisible() && !e->text().trimmed().isEmpty())
                    texts << e;
            for (QPushButton* b : panel->findChildren<QPushButton*>())
                if (b->isVisible() && !b->text().isEmpty())
                    texts << b;
        }
        ASSERT_GT(texts.size(), 20);
        if (QLatin1String(theme.name) == QLatin1String("dark")) {
            // The panels took the dark ground.
            const QColor ground = f->view()->alarmPanel()->palette().color(QPalette::Window);
            EXPECT_LT(ground.lightness(), 100);
        }
        for (const double scale : {1.0, 1.25, 1.5, 2.0}) {
            SCOPED_TRACE(scale);
            QImage picture((QSizeF(f->size()) * scale).toSize(), QImage::Format_RGB32);
            picture.setDevicePixelRatio(scale);
            picture.fill(Qt::magenta);
            f->render(&picture);
            for (QWidget* w : texts) {
                const QRect shown(w->mapTo(f.get(), QPoint(0, 0)), w->size());
                const QRect pixels = QRectF(QPointF(shown.topLeft()) * scale, QSizeF(shown.size()) * scale)
                                         .toAlignedRect()
                                         .adjusted(1, 1, -1, -1)
                                         .intersected(picture.rect());
                const double ratio = textContrast(picture, pixels);
                EXPECT_GE(ratio, 4.5) << w->metaObject()->className() << " '"
                                      << (qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text().toStdString()
                                                                   : w->accessibleName().toStdString())
                                      << "'";
            }
        }
        f->closeWithoutAsking();
        f->close();
    }
}


TEST_F(DesktopTest, GraphLabelsTakeThePalettesColoursAndAreReadableOnADarkOne)
{
    const QPalette before = QApplication::palette();
    struct Restore {
        QPalette palette;
        ~Restore() { QApplication::setPalette(palette); }
    } restore {before};
    RunSpec spec;
    spec.count = 300;
    const QString data = path("run.AsmDat");
    ASSERT_TRUE(writeRun(data, spec));

    struct Theme {
        const char* name;
        QPalette palette;
        QColor ground;  // around the plots
    };
    const Theme themes[] = {{"light", before, QColor(217, 218, 212)},
                            {"dark", darkPalette(), darkPalette().color(QPalette::Window)}};
    for (const Theme& theme : themes) {
        SCOPED_TRACE(theme.name);
        QApplication::setPalette(theme.palette);
        auto f = makeFrame();
        // The real-time graph with a run of 200 samples: time labels under
        // the plot, the legend above it.
        RunState& run = f->run();
        run.m_tStart = 1700000000;
        run.m_nSampleMs = 1000;
        for (int i = 0; i < 200; ++i)
            for (int c = 0; c < kChannelCount; ++c)
                f->doc().live().values[c][i] = 20.0f + 0.1f * i + c;
        run.m_nCount = 200;
        RealtimeGraph* graph = f->view()->graph();
        graph->invalidate();
        QApplication::processEvents();
        const PlotGeometry g = graph->geometry();
        const QFontMetrics fm(f->graphFont());
        QList<QPair<QString, QRect>> labels;
        for (int j = 0; j < plot::kTimeMarks; ++j)
            if (graph->frame().timeShown[j])
                labels.append({graph->renderer().timeLabel(j),
                               QRect(graph->frame().timeX[j], g.timeLabelY(),
                                     fm.horizontalAdvance(graph->renderer().timeLabel(j)), fm.height())});
        for (int c = 0; c < kChannelCount; ++c)
            labels.append({QLatin1String(kChannelLegend[size_t(c)]),
                           QRect(g.legendTextX(c), g.legendTextY(),
                                 fm.horizontalAdvance(QLatin1String(kChannelLegend[size_t(c)])), fm.height())});
        ASSERT_GT(labels.size(), 8);

        // The logger window with a set: its time and value labels.
        CLoggerGraphDlg* w = f->onOpen();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
        ASSERT_TRUE(w->loadFile(data).ok());
        w->repaintNow();
        const plot::PlotFrame& lf = w->frame();
        const QFontMetrics lm(LoggerChrome::mainFont());
        QList<QPair<QString, QRect>> loggerLabels;
        for (int j = 0; j < plot::kTimeMarks; ++j)
            if (lf.timeShown[j])
                loggerLabels.append({w->renderer().timeLabel(j),
                                     QRect(lf.timeX[j], lf.plot.bottom() + 8,
                                           lm.horizontalAdvance(w->renderer().timeLabel(j)), lm.height())});
        for (int i = 0; i <= kAxisDivisions; ++i)
            loggerLabels.append({w->renderer().yLabel(i),
                                 QRect(LoggerChrome::yLabelX(lf.plot, lf.yValue[size_t(i)]), LoggerChrome::yLabelY(lf.plot, i),
                                       lm.horizontalAdvance(w->renderer().yLabel(i)), lm.height())});
        ASSERT_GT(loggerLabels.size(), 12);

        for (const double scale : {1.0, 2.0}) {
            SCOPED_TRACE(scale);
            auto check = [&](QWidget* widget, const QList<QPair<QString, QRect>>& texts, QPoint groundAt) {
                QImage picture((QSizeF(widget->size()) * scale).toSize(), QImage::Format_RGB32);
                picture.setDevicePixelRatio(scale);
                picture.fill(Qt::magenta);
                widget->render(&picture);
                for (const auto& [text, r] : texts) {
                    const QRect pixels =
                        QRectF(QPointF(r.topLeft()) * scale, QSizeF(r.size()) * scale).toAlignedRect().intersected(
                            picture.rect());
                    EXPECT_GE(textContrast(picture, pixels), 4.5) << text.toStdString();
                }
                EXPECT_EQ(QColor(picture.pixel((QPointF(groundAt) * scale).toPoint())), theme.ground)
                    << widget->metaObject()->className();
            };
            // (the ground: above the time labels; left of the logger's)
            check(f->view(), labels, QPoint(g.x0 + 2, g.timeBand().y + 2));
            check(w, loggerLabels, QPoint(lf.plot.left - 20, lf.plot.bottom() + 40));
        }
        f->closeWithoutAsking();
        f->close();
    }
}

} // namespace
