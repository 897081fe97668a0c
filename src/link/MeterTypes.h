#pragma once
// What the meter's readings become on the way to the panels: the texts of
// its LCD, the extremes and the alarm flags. Made by the recorder's fold of
// each reading (recorder/ReadingFold.h), shown by the panels.
#include "base/Channel.h"
#include "data/AlarmLimitSet.h"

#include <QString>
#include <array>

// Texts mirroring the meter's LCD, with the backlight flag. Drawn by the
// virtual meter face.
struct DisplayTexts {
    QString value1, value2, value3;
    QString unitMark;
    QString maxMinA, maxMinB;
    QString holdA, holdB;
    QString recordA, recordB;
    QString link;
    QString wbDp;
    QString mode;
    bool backlight = false;

    bool operator==(const DisplayTexts&) const = default;
};

// Running extremes as texts for the alarm panel ("" until first set).
struct MinMaxTexts {
    std::array<QString, kChannelCount> max;
    std::array<QString, kChannelCount> min;
};

// The alarm flags of the five channels: high on at or above the high
// limit, low on at or below the low limit.
struct AlarmFlags {
    std::array<bool, kChannelCount> high {};
    std::array<bool, kChannelCount> low {};

    bool& at(int channel, AlarmLimitSet::Bound bound)
    {
        return (bound == AlarmLimitSet::High ? high : low)[size_t(channel)];
    }
    bool at(int channel, AlarmLimitSet::Bound bound) const
    {
        return (bound == AlarmLimitSet::High ? high : low)[size_t(channel)];
    }
    bool operator==(const AlarmFlags&) const = default;
};

// Everything the panels show of the meter besides the graph: the LCD
// texts, the battery text, the min/max texts and the alarm flags.
struct MeterReadout {
    DisplayTexts lcd;
    QString battery;
    MinMaxTexts minMax;
    AlarmFlags alarms;
};
