#pragma once
// What the meter link hands to the panels and what it reads from them.
#include "data/Channel.h"

#include <QString>
#include <array>

// Texts mirroring the meter's LCD, with the backlight flag. Filled by frame
// decoding, drawn by the virtual meter face.
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

// High and low alarm limits per channel, in display units. Supplied by the
// alarm panel; the defaults are those of a missing configuration file.
struct AlarmLimits {
    std::array<float, kChannelCount> high {140.0f, 140.0f, 140.0f, 2501.0f, 100.0f};
    std::array<float, kChannelCount> low {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
};

// Limits as the configuration file and the alarm panel hold them: texts
// read as decimal numbers (leading number, 0.0 when there is none).
AlarmLimits alarmLimitsFromTexts(const std::array<QString, kChannelCount>& high,
    const std::array<QString, kChannelCount>& low);

// Running extremes as texts for the alarm panel ("" until first set).
struct MinMaxTexts {
    std::array<QString, kChannelCount> max;
    std::array<QString, kChannelCount> min;
};
