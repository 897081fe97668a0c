#pragma once
// A recorder without a meter: the test plays the link's part, handing it
// readings as the link parses them from frames, and ticks its poll timer by
// hand on the recorder's clock, so the run's journal can be followed sample
// by sample.
#include "ReadingOf.h"
#include "TempDir.h"

#include "data/Recovery.h"
#include "recorder/Recorder.h"

#include <QDir>
#include <memory>

class RecorderFixture : public TempDirTest {
protected:
    void SetUp() override
    {
        LinkOptions o;
        o.sysfsRoot = path("sys");
        recorder = std::make_unique<Recorder>(o, *live);
        recorder->setClockMs([this] { return clockNow * 1000; });
        QObject::connect(recorder.get(), &Recorder::sampleCommitted, [this] { ++commits; });
        recorder->setJournalPaths([this](int64_t start, QString& p) {
            return Recovery::newJournalPath(path("ZB740"), start, p);
        });
    }

    // A valid frame with these readings at `now` (by the recorder's clock),
    // as the link hands it over; the recorder folds it into the run.
    void frame(int64_t now, ChannelValues v, bool fahrenheit = false)
    {
        clockNow = now;
        emit recorder->link().readingReceived(readingOf(v, fahrenheit));
    }

    // The poll timer's tick at `now`: the samples whose moment has come
    // are due, and the poll goes out.
    void tick(int64_t now)
    {
        clockNow = now;
        recorder->pollTick();
    }

    // The reading for a sample at `now`: the tick at that moment and the
    // reply to its poll. On a run waiting for its start, the reading starts
    // it and is its first sample. True when a sample was committed.
    bool sample(int64_t now, ChannelValues v, bool fahrenheit = false)
    {
        const int before = commits;
        tick(now);
        frame(now, v, fahrenheit);
        return commits == before + 1;
    }

    static ChannelValues reading(int i) { return {20.0f + 0.5f * i, 15.0f, 10.0f - i, 30.25f, 50.0f + i}; }

    // The watchdog found the meter silent.
    void linkLost()
    {
        recorder->run().onLinkLost();
        emit recorder->link().linkLost(true);
    }

    QStringList journals() const { return Recovery::journalsIn(path("ZB740")); }

    std::unique_ptr<LiveSeries> live = std::make_unique<LiveSeries>();
    std::unique_ptr<Recorder> recorder;
    int64_t clockNow = 0;  // the recorder's clock in seconds, unless a test sets its own
    int commits = 0;       // samples committed
};
