// The run state machine, driven as the frame, the meter link and the sample
// timer drive it.
#include "run/RunState.h"
#include "base/LocalTime.h"
#include "data/ReadingStore.h"

#include <memory>

#include <gtest/gtest.h>

namespace {

struct Flags {
    bool running, startPending, idle;
};


void expectFlags(const RunState& r, Flags f, const char* what)
{
    EXPECT_EQ(r.m_bRunning, f.running) << what;
    EXPECT_EQ(r.m_bStartPending, f.startPending) << what;
    EXPECT_EQ(r.m_bIdle, f.idle) << what;
}

} // namespace

TEST(RunState, TransitionTable)
{
    enum Event { Confirm, Stop, Frame, LinkLost, ReachLimit };
    struct Case {
        const char* name;
        std::vector<Event> events;
        Flags expected;
    };
    const Case cases[] = {
        {"Idle at creation", {}, {false, false, true}},
        {"Armed after Run confirmed", {Confirm}, {true, true, true}},
        {"Recording on first valid frame", {Confirm, Frame}, {true, false, false}},
        {"Stop while recording", {Confirm, Frame, Stop}, {false, false, true}},
        {"Stopped before start", {Confirm, Stop}, {false, true, true}},
        {"Watchdog while armed", {Confirm, LinkLost}, {false, true, true}},
        {"Stopped-started after next frame", {Confirm, Stop, Frame}, {false, false, false}},
        // A run that a frame started after Stop has no sample: Run arms a
        // new one, which the next frame starts with its own time.
        {"Run from stopped-started waits for its start", {Confirm, Stop, Frame, Confirm}, {true, true, true}},
        {"... and records from the next frame", {Confirm, Stop, Frame, Confirm, Frame}, {true, false, false}},
        {"Run end at the limit", {Confirm, Frame, ReachLimit}, {false, false, true}},
        {"Watchdog ends a recording", {Confirm, Frame, LinkLost}, {false, false, true}},
    };
    for (const Case& c : cases) {
        RunState r;
        r.onValidFrame(1000); // meter answered: Run enabled
        for (Event e : c.events) {
            switch (e) {
            case Confirm: r.confirm(1, 1000); break;
            case Stop: r.stop(); break;
            case Frame: r.onValidFrame(2000); r.checkRunEnd(); break;
            case LinkLost: r.onLinkLost(); break;
            case ReachLimit:
                r.m_nCount = r.m_nSampleLimit;
                r.onValidFrame(3000);
                r.checkRunEnd();
                break;
            }
        }
        expectFlags(r, c.expected, c.name);
    }
}

TEST(RunState, StartStepStampsAndResetsCountEvenWhenStoppedBeforeStart)
{
    RunState r;
    r.m_nCount = 7;
    r.confirm(2, 3000);
    r.stop();
    EXPECT_TRUE(r.onValidFrame(12345));
    EXPECT_EQ(r.m_nCount, 0);
    EXPECT_EQ(r.m_tStart, 12345);
    r.m_bNewFrame = true;
    EXPECT_FALSE(r.commit()) << "not running: nothing committed";
}

TEST(RunState, ARunAfterOneStoppedBeforeItsStartTakesTheTimeOfItsOwnFirstFrame)
{
    RunState r;
    r.onValidFrame(50);
    r.confirm(1, 1000);
    r.stop();
    EXPECT_TRUE(r.onValidFrame(100)); // the stopped run's start step
    EXPECT_EQ(r.m_tStart, 100);
    r.confirm(1, 1000);
    EXPECT_FALSE(r.commit()) << "armed: nothing to commit before the start";
    EXPECT_TRUE(r.onValidFrame(200));
    EXPECT_EQ(r.m_tStart, 200);
    EXPECT_EQ(r.m_nCount, 0);
    ASSERT_TRUE(r.commit());
    EXPECT_EQ(r.info().start, 200);
}

TEST(RunState, CommandEnabling)
{
    RunState r;
    EXPECT_FALSE(r.m_bRunEnabled) << "Run stays disabled until the first valid frame";
    r.onValidFrame(1);
    EXPECT_TRUE(r.m_bRunEnabled);
    r.confirm(1, 1000);
    EXPECT_FALSE(r.m_bRunEnabled);
    EXPECT_TRUE(r.m_bStopEnabled);
    r.onValidFrame(2);
    EXPECT_FALSE(r.m_bRunEnabled) << "a frame while running leaves Run disabled";
    r.stop();
    EXPECT_FALSE(r.m_bStopEnabled);
    r.onValidFrame(3);
    EXPECT_TRUE(r.m_bRunEnabled);
    r.onLinkLost();
    EXPECT_FALSE(r.m_bRunEnabled);
    EXPECT_FALSE(r.m_bStopEnabled);
    EXPECT_TRUE(r.m_bNoLink);
}

TEST(RunState, ConfirmStep)
{
    RunState r;
    r.confirm(0, 2000);
    EXPECT_EQ(r.m_nSampleMs, 1000) << "interval 0 becomes 1 s";
    EXPECT_EQ(r.m_nSampleLimit, 2000);
    EXPECT_EQ(r.intervalSeconds(), 1);
    r.confirm(-5, 1000);
    EXPECT_EQ(r.m_nSampleMs, 1000);
    r.confirm(5000, 50000);
    EXPECT_EQ(r.m_nSampleMs, 5000000);
    EXPECT_EQ(r.m_nSampleLimit, kMaxRunSamples) << "never more samples than the store holds";
}

TEST(RunState, IntervalsBeyondWhatMillisecondsHoldAreCut)
{
    // An interval from a configuration file can be any integer; its
    // milliseconds must still fit, and the time axis must run forward.
    struct Case {
        int seconds;
        int expectedSeconds;
    };
    for (const Case c : {Case {2147483, 2147483}, Case {2147484, 2147483}, Case {2147483647, 2147483},
                         Case {5000, 5000}}) {
        RunState r;
        r.confirm(c.seconds, 1000);
        EXPECT_EQ(r.intervalSeconds(), c.expectedSeconds) << c.seconds;
        EXPECT_GT(r.m_nSampleMs, 0) << c.seconds;
        EXPECT_EQ(r.info().interval, c.expectedSeconds);
    }
}

TEST(RunState, CommitRules)
{
    RunState r;
    r.onValidFrame(100);
    EXPECT_FALSE(r.commit()) << "not running";
    r.confirm(2, 1000);
    r.onValidFrame(200);
    ASSERT_TRUE(r.commit());
    EXPECT_EQ(r.m_nCount, 1);
    EXPECT_FALSE(r.m_bNewFrame);
    EXPECT_TRUE(r.m_bNewSample);
    EXPECT_EQ(r.info().start, 200);
    EXPECT_FALSE(r.commit()) << "no new frame since the last commit";
    EXPECT_EQ(r.m_nCount, 1);
}

TEST(RunState, ArmedRunCommitsNothingBeforeItsStart)
{
    // The last frame before Run is not the run's first sample: a sample tick
    // between Run and the run's first frame commits nothing, so no sample
    // ever carries the previous run's start time (or none at all).
    RunState r;
    r.onValidFrame(100); // a frame before Run
    r.confirm(1, 1000);
    EXPECT_FALSE(r.commit()) << "armed: not started yet";
    EXPECT_EQ(r.m_nCount, 0);
    r.stop();
    EXPECT_FALSE(r.commit());
    r.confirm(1, 1000);
    r.onValidFrame(300); // stopped before start: the next frame still starts it
    EXPECT_EQ(r.m_tStart, 300);
    ASSERT_TRUE(r.commit());
    EXPECT_EQ(r.info().start, 300);
    EXPECT_EQ(r.info().count, 1);
}

TEST(RunState, ABufferThatIsNoFrameLeavesANewRunWaitingForItsStart)
{
    RunState r;
    r.onValidFrame(1000);
    r.confirm(1, 5);
    for (int i = 0; i < 5; ++i) {
        r.onValidFrame(1001 + i);
        r.checkRunEnd();
        ASSERT_TRUE(r.commit());
    }
    r.checkRunEnd();
    expectFlags(r, {false, false, true}, "the last run ended at its limit");
    r.onValidFrame(1010); // Run is enabled again
    // A shorter run: the last run's count is above its limit until the
    // start step resets it, and line noise comes before the next frame.
    r.confirm(1, 3);
    ASSERT_TRUE(r.m_bStopEnabled);
    r.checkRunEnd();
    expectFlags(r, {true, true, true}, "still armed");
    EXPECT_TRUE(r.m_bStopEnabled);
    r.onValidFrame(1011);
    r.checkRunEnd();
    expectFlags(r, {true, false, false}, "recording");
    EXPECT_EQ(r.m_nCount, 0);
    EXPECT_TRUE(r.commit());
    // Once started, any receive event ends it at its limit as before.
    r.m_nCount = 3;
    r.checkRunEnd();
    expectFlags(r, {false, false, true}, "ended at the new limit");
}

TEST(RunState, TwoFramesInOneIntervalCommitTheLater)
{
    auto live = std::make_unique<LiveSeries>();
    RunState r;
    r.onValidFrame(1);
    r.confirm(2, 1000);
    r.onValidFrame(10); // run starts
    live->writeSlot(r.m_nCount, {20.0f, 15.0f, 10.0f, 30.0f, 50.0f});
    r.onValidFrame(11);
    live->writeSlot(r.m_nCount, {21.0f, 16.0f, 11.0f, 31.0f, 51.0f});
    ASSERT_TRUE(r.commit());
    EXPECT_EQ(live->at(kAir, 0), 21.0f);
    EXPECT_EQ(live->at(kRh, 0), 51.0f);
    // The next frame fills slot 1; slot 0 stays committed.
    r.onValidFrame(12);
    live->writeSlot(r.m_nCount, {22.0f, 17.0f, 12.0f, 32.0f, 52.0f});
    EXPECT_EQ(live->at(kAir, 0), 21.0f);
    EXPECT_EQ(live->at(kAir, 1), 22.0f);
}
