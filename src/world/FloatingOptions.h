#pragma once

#include <QString>

namespace talvor {

// The floating clocks' options as the packed "FloatingStates" text holds them, with the
// defaults that fields missing from the text keep.
struct FloatingOptions {
    // The packed text: "Floating:" and 20 numbers, "%d" or "%f" as the field table in
    // FloatingOptions.cpp says. Shorter texts are read as far as they go.
    // Face type that shows each location's country flag.
    static constexpr int kFlagFace = 101;
    // Beyond these a stored number is damage, not a choice: a window must stay drawable.
    static constexpr float kMaxClockSize = 1024.0f;
    static constexpr float kMaxSpacing = 512.0f;

    enum class Layer { Desktop, Normal, Above };

    // Defaults before any text is read (before normalising).
    int floatingOn = 0;  // read, then replaced by "Floater"
    int iFloaterWinLayer = -1;
    int bShowText = 1;
    int bIncCountry = 0;
    int hotKeyEnabled = 0;  // read only: the hot key lives with the other hot keys
    int aDigital = 0;
    int iFloaterColumns = -1;
    int faceType = -1;
    float fFloaterClockSize = 128.0f;
    float fFloaterSpacing = -1.0f;
    float fFloaterTransparency = -1.0f;
    int ShowAMPM = 1;
    int ShowSeconds = 1;
    int ShowDay = 1;
    int ShowDate = 1;
    int ShowDayForDigital = 1;
    int ShowDateForDigital = 1;
    int ShowYearForDigital = 1;
    int ShowTimeWithClock = 1;
    int ShowDateWithClock = 1;
    int bIncTimeZone = 0;
    int ShowFloater = 0;

    // Reads the packed text over these values, as far as it is readable; the columns field
    // stores the count minus one, and the second hand is always shown.
    void scan(const QString& floatingStates);
    // The packed text of these values, reals as "%3.3f" (what the floating-clocks pane stores).
    QString format() const;
    // Missing or damaged values take their fallbacks: columns below 1 give 10, a negative
    // face 101, spacing 2.0, alpha 1.0, a size below 16 gives 48, a negative city flag or
    // layer 1; a layer above 2 is a normal window.
    void normalise();

    Layer layer() const;
    bool showsBelowText() const { return bShowText != 0 || bIncCountry != 0 || bIncTimeZone != 0; }
    bool showsAboveText() const { return ShowTimeWithClock != 0 || ShowDateWithClock != 0; }
};

}  // namespace talvor
