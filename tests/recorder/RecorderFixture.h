#pragma once
// A recorder without a meter: the test plays the link's part, handing it
// readings as the link parses them from frames and ticking its sample timer
// by hand, so the run's journal can be followed sample by sample.
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
        recorder->setClock([this] { return clockNow; });
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

    // A frame and the sample timer's tick after it; true when committed.
    bool sample(int64_t now, ChannelValues v, bool fahrenheit = false)
    {
        frame(now, v, fahrenheit);
        return recorder->commitTick();
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
    int64_t clockNow = 0;  // the recorder's clock, unless a test sets its own
};
