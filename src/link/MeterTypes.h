#pragma once
// What the meter link hands to the panels and what it reads from them.
#include "base/Channel.h"
#include "data/AlarmLimitSet.h"

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

// Running extremes as texts for the alarm panel ("" until first set).
struct MinMaxTexts {
    std::array<QString, kChannelCount> max;
    std::array<QString, kChannelCount> min;
};
