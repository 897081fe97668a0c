// Save from the main window: the Save command and the Yes answers of the
// questions before a new run and before closing.
#include "DataFixtures.h"
#include "ModalAnswers.h"
#include "TempDir.h"

#include "app/CKMView.h"
#include "app/CMainFrame.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QFileInfo>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>


class FrameSaveTest : public TempDirTest {
protected:
    void SetUp() override
    {
        options = tempOptions();
        frame = std::make_unique<CMainFrame>(options);
        frame->resize(1200, 800);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));

        RunState& r = frame->run();
        r.m_nCount = 3;
        r.m_tStart = utc(2026, 12, 7, 23, 45, 55);
        r.m_nSampleMs = 2000;
        r.m_strUnit = QStringLiteral("C");
        for (int i = 0; i < 3; ++i)
            frame->doc().live().writeSlot(i, {20.0f + i, 15.0f, 10.0f, 25.96f, 55.0f});
        frame->view()->m_nYGain = 50;
        frame->view()->m_nYOffset = -2;
        frame->updateCommands();
    }

    void expectSaved(const QString& base)
    {
        auto rec = std::make_unique<ReviewRecord>();
        YScaleValues scale;
        const Status res = DataFile::load(path(base + ".AsmDat"), *rec, scale);
        ASSERT_TRUE(res.ok()) << res.message().toStdString() << " in " << QDir(m_tmp.path()).entryList().join(' ').toStdString();
        EXPECT_EQ(rec->count, 3);
        EXPECT_EQ(rec->at(2, kAir), 22.0f);
        EXPECT_EQ(scale, (YScaleValues {50, -2}));
        EXPECT_TRUE(readAll(path(base + ".csv")).startsWith("\xFF\xFEN\0O\0"));
    }

    AppOptions options;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(FrameSaveTest, SaveCommandWritesBothFilesFromTheSettingsFolder)
{
    ScopedTimeZone tz("UTC0");
    ModalAnswers answers;
    answers.saveAs(path("Run1"));
    ASSERT_TRUE(frame->action(CMainFrame::Command::Save)->isEnabled());
    frame->action(CMainFrame::Command::Save)->trigger();
    ASSERT_EQ(answers.seen.size(), 1);
    // The window offers the moment of the save as the name.
    EXPECT_TRUE(answers.seen[0].startsWith("file dialog in " + path("ZB740") + " offering "))
        << answers.seen[0].toStdString();
    expectSaved(QStringLiteral("Run1"));
}

TEST_F(FrameSaveTest, YesBeforeANewRunSavesFirst)
{
    frame->run().m_bHasRun = true;
    ModalAnswers answers;
    answers.click("Yes");
    answers.saveAs(path("Before run"));
    answers.cancel(); // the Run dialog
    frame->onRun();
    ASSERT_TRUE(answers.done());
    ASSERT_EQ(answers.seen.size(), 3);
    EXPECT_EQ(answers.seen[0], QStringLiteral("Do you want to save the existing graph data before continuing?"));
    EXPECT_EQ(answers.seen[2], QStringLiteral("other dialog"));
    expectSaved(QStringLiteral("Before run"));
}

TEST_F(FrameSaveTest, YesBeforeClosingSaves)
{
    ModalAnswers answers;
    answers.click("Yes");
    answers.saveAs(path("At close"));
    frame->close();
    ASSERT_TRUE(answers.done());
    ASSERT_EQ(answers.seen.size(), 2);
    EXPECT_EQ(answers.seen[0], QStringLiteral("Do you want to save the data before closing?"));
    expectSaved(QStringLiteral("At close"));
}

TEST_F(FrameSaveTest, AFailedSaveAtCloseKeepsTheWindowOpen)
{
    QFile blocker(path("notAFolder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ModalAnswers answers;
    answers.click("Yes");
    answers.saveAs(path("notAFolder/At close"));
    answers.click("OK"); // the failure
    frame->close();
    ASSERT_TRUE(answers.done());
    ASSERT_EQ(answers.seen.size(), 3);
    EXPECT_EQ(answers.seen[0], QStringLiteral("Do you want to save the data before closing?"));
    EXPECT_TRUE(answers.seen[2].contains("At close")) << answers.seen[2].toStdString();
    EXPECT_TRUE(frame->isVisible()) << "the run is still there to be saved elsewhere";
}

TEST_F(FrameSaveTest, AnAbandonedCloseLeavesTheRunRecording)
{
    // Yes to the question, then the file dialog cancelled, or a save that
    // fails: the window stays, the run records on, nothing is written.
    RunState& r = frame->run();
    r.m_bRunning = true;
    r.m_bIdle = false;
    r.m_bStopEnabled = true;
    QFile blocker(path("notAFolder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "file dialog cancelled" : "save failed");
        ModalAnswers answers;
        answers.click("Yes");
        if (cancel) {
            answers.cancel();
        } else {
            answers.saveAs(path("notAFolder/At close"));
            answers.click("OK"); // the failure
        }
        frame->close();
        EXPECT_TRUE(answers.done());
        EXPECT_EQ(answers.seen.value(0), QStringLiteral("Do you want to save the data before closing?"));
        EXPECT_TRUE(frame->isVisible());
        EXPECT_TRUE(r.m_bRunning && !r.m_bIdle) << "still recording";
        EXPECT_EQ(r.m_nCount, 3);
        EXPECT_TRUE(frame->recorder().pollTimer().isActive());
        EXPECT_FALSE(QFile::exists(path("ZB740/ZB740.ini"))) << "settings are written by a close that goes ahead";
    }
    // Answered No: the close goes ahead and writes the settings.
    answerMessageBox(QMessageBox::No);
    frame->close();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(QFile::exists(path("ZB740/ZB740.ini")));
    EXPECT_FALSE(frame->recorder().pollTimer().isActive());
}
