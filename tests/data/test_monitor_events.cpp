// Events as values: their one JSON form read back, the events log that
// only appends whole lines and keeps what it cannot write, and the alarm
// limits a command line gives.
#include "data/AlarmLimitSet.h"
#include "data/EventLog.h"
#include "data/MonitorEvent.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>

namespace {

struct ZoneGuard {
    explicit ZoneGuard(const char* zone)
    {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneGuard()
    {
        ::unsetenv("TZ");
        ::tzset();
    }
};

TEST(MonitorEvents, EachKindHasOneJsonLineThatReadsBack)
{
    ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const int64_t t = 1796950807; // 2026-12-11T02:00:07+01:00
    MonitorEvent failed = MonitorEvent::simple(MonitorEvent::Kind::CommandFailed, t);
    failed.message = QStringLiteral("say \"hi\"\\ failed\n");
    MonitorEvent stop = MonitorEvent::simple(MonitorEvent::Kind::Stop, t);
    stop.samples = 12;
    MonitorEvent ended = MonitorEvent::simple(MonitorEvent::Kind::RunEnded, t);
    ended.reason = MonitorEvent::Reason::Link;
    ended.samples = 17;
    struct Case {
        MonitorEvent event;
        const char* json;
    };
    const Case cases[] = {
        {MonitorEvent::alarm(t, kAir, 0, true, 31.25f, 30.0f, false),
         R"({"time":"2026-12-11T02:00:07+01:00","event":"alarm","channel":"air","bound":"high","state":"on","value":31.3,"limit":30.0,"unit":"C"})"},
        {MonitorEvent::alarm(t, kRh, 1, false, std::nanf(""), 5.0f, true),
         R"({"time":"2026-12-11T02:00:07+01:00","event":"alarm","channel":"rh","bound":"low","state":"off","value":null,"limit":5.0,"unit":"F"})"},
        {MonitorEvent::alarm(t, kDp, 1, true, -0.04f, 0.0f, false),
         R"({"time":"2026-12-11T02:00:07+01:00","event":"alarm","channel":"dew_point","bound":"low","state":"on","value":0.0,"limit":0.0,"unit":"C"})"},
        {MonitorEvent::simple(MonitorEvent::Kind::LinkLost, t), R"({"time":"2026-12-11T02:00:07+01:00","event":"link_lost"})"},
        {MonitorEvent::simple(MonitorEvent::Kind::LinkBack, t), R"({"time":"2026-12-11T02:00:07+01:00","event":"link_back"})"},
        {MonitorEvent::ofFile(MonitorEvent::Kind::File, t, QStringLiteral("room-20261211-000000.AsmDat"), 10000,
                              MonitorEvent::Reason::Midnight),
         R"({"time":"2026-12-11T02:00:07+01:00","event":"file","file":"room-20261211-000000.AsmDat","samples":10000,"reason":"midnight"})"},
        {MonitorEvent::ofFile(MonitorEvent::Kind::Recovered, t, QStringLiteral("r.AsmDat"), 3, MonitorEvent::Reason::None),
         R"({"time":"2026-12-11T02:00:07+01:00","event":"recovered","file":"r.AsmDat","samples":3})"},
        {stop, R"({"time":"2026-12-11T02:00:07+01:00","event":"stop","samples":12})"},
        {ended, R"({"time":"2026-12-11T02:00:07+01:00","event":"run_ended","reason":"link","samples":17})"},
        {failed, R"({"time":"2026-12-11T02:00:07+01:00","event":"command_failed","message":"say \"hi\"\\ failed\u000a"})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(MonitorEvents::json(c.event), QByteArray(c.json));
        MonitorEvent back;
        ASSERT_TRUE(MonitorEvents::fromJson(c.json, back));
        EXPECT_EQ(MonitorEvents::json(back), QByteArray(c.json));
        EXPECT_FALSE(MonitorEvents::describe(back).isEmpty());
    }
    EXPECT_EQ(MonitorEvents::json(MonitorEvent::simple(MonitorEvent::Kind::Start, t), true),
              QByteArray(R"({"time":"2026-12-11T01:00:07Z","event":"start"})"));
    MonitorEvent none;
    for (const char* bad : {"", "{}", "not json", R"({"time":"x","event":"start"})",
                            R"({"time":"2026-12-11T01:00:07Z","event":"party"})",
                            R"({"time":"2026-12-11T01:00:07Z","event":"alarm","channel":"air","bound":"up","state":"on"})"})
        EXPECT_FALSE(MonitorEvents::fromJson(bad, none)) << bad;
    EXPECT_EQ(MonitorEvents::describe(cases[0].event), QString::fromUtf8("AIR above its high limit of 30.0 °C: 31.3 °C"));
    EXPECT_EQ(MonitorEvents::describe(cases[1].event), QString::fromUtf8("RH back within its low limit of 5.0 %: no reading"));
}

TEST(EventLog, AppendsWholeLinesKeepsWhatItCannotWriteAndIsHeldByOneRecording)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("room.events.jsonl"));
    EventLog log;
    ASSERT_TRUE(log.open(path).ok());
    EventLog second;
    EXPECT_EQ(second.open(path).code(), Status::Code::Busy);
    ASSERT_TRUE(log.append(MonitorEvent::simple(MonitorEvent::Kind::Start, 1000)).ok());

    // No write gets through (as on a full disk): the lines wait, in order,
    // and the file holds only whole lines.
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit none = saved;
    none.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
    const Status failed = log.append(MonitorEvent::simple(MonitorEvent::Kind::LinkLost, 1001));
    const Status stillFailed = log.append(MonitorEvent::simple(MonitorEvent::Kind::LinkBack, 1002));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(failed.code(), Status::Code::WriteFailed);
    EXPECT_FALSE(stillFailed.ok());
    EXPECT_EQ(log.pending(), 2);
    QList<MonitorEvent> read;
    ASSERT_TRUE(EventLog::load(path, read).ok());
    EXPECT_EQ(read.size(), 1);

    ASSERT_TRUE(log.retry().ok());
    EXPECT_EQ(log.pending(), 0);
    read.clear();
    ASSERT_TRUE(EventLog::load(path, read).ok());
    ASSERT_EQ(read.size(), 3);
    EXPECT_EQ(read[1].kind, MonitorEvent::Kind::LinkLost);
    EXPECT_EQ(read[2].time, 1002);

    // Reopened later, it appends.
    log.close();
    ASSERT_TRUE(second.open(path).ok());
    ASSERT_TRUE(second.append(MonitorEvent::simple(MonitorEvent::Kind::Stop, 1003)).ok());
    read.clear();
    ASSERT_TRUE(EventLog::load(path, read).ok());
    EXPECT_EQ(read.size(), 4);

    EXPECT_EQ(EventLog::pathBeside(QStringLiteral("/x/cold room.AsmDat")), QStringLiteral("/x/cold room.events.jsonl"));
    EXPECT_EQ(EventLog::pathBeside(QStringLiteral("/x/run.dat")), QStringLiteral("/x/run.dat.events.jsonl"));
}

TEST(EventLog, ReadsBackTheLineAtAnOffsetFromTheFileOrFromWhatWaitsInMemory)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("room.events.jsonl"));
    {
        // An earlier recording's line: the offsets count from the file's start.
        EventLog earlier;
        ASSERT_TRUE(earlier.open(path).ok());
        ASSERT_TRUE(earlier.append(MonitorEvent::simple(MonitorEvent::Kind::Stop, 900)).ok());
    }
    EventLog log;
    ASSERT_TRUE(log.open(path).ok());
    const qint64 first = log.endOffset();
    EXPECT_EQ(first, QFileInfo(path).size());
    const MonitorEvent start = MonitorEvent::simple(MonitorEvent::Kind::Start, 1000);
    ASSERT_TRUE(log.append(start).ok());
    const qint64 second = log.endOffset();
    EXPECT_EQ(second, first + MonitorEvents::json(start).size() + 1);

    // Cannot be written: waits in memory, and reads back from there.
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit none = saved;
    none.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
    const MonitorEvent lost = MonitorEvent::simple(MonitorEvent::Kind::LinkLost, 1001);
    const Status failed = log.append(lost);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(log.endOffset(), second + MonitorEvents::json(lost).size() + 1);

    QByteArray line;
    ASSERT_TRUE(log.lineAt(first, line).ok());
    EXPECT_EQ(line, MonitorEvents::json(start));
    ASSERT_TRUE(log.lineAt(second, line).ok());
    EXPECT_EQ(line, MonitorEvents::json(lost));
    ASSERT_TRUE(log.retry().ok());
    ASSERT_TRUE(log.lineAt(second, line).ok());
    EXPECT_EQ(line, MonitorEvents::json(lost));
    // Where no line starts, and past the end.
    for (const qint64 bad : {first + 1, second + 3, log.endOffset(), qint64(-1)})
        EXPECT_FALSE(log.lineAt(bad, line).ok()) << bad;
}

TEST(AlarmLimitOption, ReadsChannelAndBoundsByTheChannelsRules)
{
    struct Case {
        const char* text;
        bool ok;
        int channel;
        float low, high; // as set (the other limits stay off)
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"air:5..30", true, kAir, 5, 30},
        {"rh:..65", true, kRh, -inf, 65},
        {"dew_point:2.5..", true, kDp, 2.5f, inf},
        {"k_ir:-148..2501", true, kKir, -148, 2501},
        {"wet_bulb:-60..500", true, kWb, -60, 500},
        {"air:-11..30", false, 0, 0, 0},
        {"rh:..100.5", false, 0, 0, 0},
        {"air:30..30", false, 0, 0, 0},
        {"air:5,5..30", false, 0, 0, 0},
        {"AIR:5..30", false, 0, 0, 0},
        {"air:5-30", false, 0, 0, 0},
        {":5..30", false, 0, 0, 0},
        {"air:..", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        AlarmLimits limits = noAlarmLimits();
        QString error;
        EXPECT_EQ(applyLimitOption(QString::fromLatin1(c.text), limits, error), c.ok) << error.toStdString();
        if (!c.ok) {
            EXPECT_FALSE(error.isEmpty());
            continue;
        }
        for (int ch = 0; ch < kChannelCount; ++ch) {
            EXPECT_EQ(limits.low[size_t(ch)], ch == c.channel ? c.low : -inf);
            EXPECT_EQ(limits.high[size_t(ch)], ch == c.channel ? c.high : inf);
        }
    }
}

} // namespace
