#pragma once
// The two fixed-size records of the document. Both are allocated once, in
// full, and written in place: nothing grows while readings arrive.
#include "base/Channel.h"
#include "base/LocalTime.h"

#include <QString>
#include <cstdint>

// Live readings of the current run, channel after channel.
struct LiveSeries {
    float values[kChannelCount][kMaxSamples] = {};

    float at(int channel, int sample) const { return values[channel][sample]; }
    // The slot being filled (index m_nCount) takes every decoded frame.
    void writeSlot(int sample, const ChannelValues& v)
    {
        for (int c = 0; c < kChannelCount; ++c)
            values[c][sample] = v[c];
    }
};

// One saved record loaded for review, sample-major.
struct ReviewRecord {
    int32_t count = 0;
    float values[kMaxSamples * kChannelCount] = {};
    int64_t startTime = 0;  // seconds since 1970, computed from the fields below (64 bits:
                            // files may name any year from 1900 to 9999)
    int32_t interval = 0;   // seconds
    uint8_t unitFlag = 0;   // 1 = degrees F
    int32_t hour = 0, minute = 0, second = 0;
    int32_t year = 0, month = 0, day = 0;
    QString unitText;
    QString spareText;
    QString writtenMagic;
    QString readMagic;

    float at(int sample, int channel) const { return values[sample * kChannelCount + channel]; }

    // The start as the local time fields the data file stores.
    LocalTime::Fields startFields() const { return {year, month, day, hour, minute, second}; }
    void setStartFields(const LocalTime::Fields& f)
    {
        year = f.year;
        month = f.month;
        day = f.day;
        hour = f.hour;
        minute = f.minute;
        second = f.second;
    }
};
