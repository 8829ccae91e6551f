#pragma once

#include <QString>

#include <cstdint>

namespace talvor {

// The eight on/off fields of the chimes, stored together as the text "ChimeStates".
struct ChimeStates {
    int32_t bSpeakHour = 0;
    int32_t bPlayChimes = 0;
    int32_t bChimeOnlyOnce = 0;
    int32_t bChimeHour = 0;
    int32_t bChimeQuarter = 0;
    int32_t bChimeHalf = 0;
    int32_t bChime3Quarter = 0;
    int32_t OClockFlag = 0;

    // Fields the text lacks, or a text that does not scan, stay 0.
    static ChimeStates parse(const QString& text);
    QString format() const;
    bool operator==(const ChimeStates&) const = default;
};

}  // namespace talvor
