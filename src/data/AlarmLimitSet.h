#pragma once
// The ten alarm limits (high and low per channel) with the rules that keep
// them sane: a spin step clamps to the spin range, a text change to the text
// range, and each limit is then bounded by the other limit of its channel.
// Window-free; the alarm panel only shows and edits these.
#include "settings/Settings.h"
#include "base/Channel.h"

#include <QString>
#include <array>

// High and low alarm limits per channel, in display units, as the decoder
// compares them. The defaults are those of a missing configuration file.
struct AlarmLimits {
    ChannelValues high = settings::kDefaultHighLimits;
    ChannelValues low = settings::kDefaultLowLimits;
};

class AlarmLimitSet {
public:
    enum Bound { High = 0, Low = 1 };

    struct Range {
        float lo;
        float hi;
    };
    static Range spinRange(int channel);
    static Range textRange(int channel);

    // Takes the ten texts as the logger configuration file gives them; the
    // texts are kept as read, the floats are their decimal values.
    void load(const settings::LimitTexts& texts);
    // The ten texts as they stand (written to the settings file at close).
    settings::LimitTexts texts() const;

    float value(int channel, Bound bound) const { return m_value[bound][size_t(channel)]; }
    const QString& text(int channel, Bound bound) const { return m_text[bound][size_t(channel)]; }

    // One spin click (+1 or -1): the value moves, clamps to the spin range
    // and to the other limit, and its text becomes "%.1f".
    void spin(int channel, Bound bound, int step);
    // A new text in the limit's edit: read as a decimal number (0 when it is
    // none), clamped to the text range and the other limit; the text becomes
    // "%.1f" of the result, which is returned.
    QString applyText(int channel, Bound bound, const QString& text);

    AlarmLimits limits() const;


private:
    void setValue(int channel, Bound bound, double value, Range range);

    std::array<ChannelValues, 2> m_value {settings::kDefaultHighLimits, settings::kDefaultLowLimits};
    std::array<std::array<QString, kChannelCount>, 2> m_text;
};

// Limits from their texts as the configuration file holds them, read by the
// same rule as the alarm panel's (the leading decimal number, 0 when none).
AlarmLimits alarmLimitsFromTexts(const std::array<QString, kChannelCount>& high,
                                 const std::array<QString, kChannelCount>& low);

// Limits that never raise an alarm: a channel nobody set a limit for.
AlarmLimits noAlarmLimits();

// One limit as a command line gives it, "CHANNEL:LOW..HIGH" with either
// side empty ("air:5..30", "rh:..65", "dew_point:2.5.."), the channel
// named as in the JSON sample form (air, wet_bulb, dew_point, k_ir, rh),
// values in the display unit. Sets the bounds given in limits; false with
// the reason in error when the text is not such a limit, a value lies
// outside the channel's range or the low limit is not below the high one.
bool applyLimitOption(const QString& text, AlarmLimits& limits, QString& error);
