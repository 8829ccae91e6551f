#pragma once

#include <QColor>
#include <QString>

#include <optional>

namespace talvor {

// The floating clocks' options as the packed "FloatingStates" text holds them. One table of
// defaults serves the settings pane and the clocks: the member initialisers are what an
// absent text means.
struct FloatingOptions {
    // Face type that shows each location's country flag.
    static constexpr int kFlagFace = 101;
    // Plain faces 1 to kLastFace; with the flag face they make the face pop-up's items.
    static constexpr int kLastFace = 21;
    // Beyond these a stored number is damage, not a choice: a window must stay drawable.
    static constexpr float kMaxClockSize = 1024.0f;
    static constexpr float kMaxSpacing = 512.0f;
    static constexpr float kMinClockSize = 16.0f;
    // Items of the columns pop-up: one to twelve clocks a row.
    static constexpr int kMaxColumns = 12;

    enum class Layer { Desktop, Normal, Above };

    int floatingOn = 0;  // read, then replaced by "Floater"
    int iFloaterWinLayer = 1;
    int bShowText = 1;
    int bIncCountry = 0;
    int hotKeyEnabled = 0;
    int aDigital = 0;
    int iFloaterColumns = 11;  // a count; stored as the count minus one
    int faceType = kFlagFace;
    float fFloaterClockSize = 48.0f;
    float fFloaterSpacing = 2.0f;
    float fFloaterTransparency = 0.75f;
    int ShowAMPM = 1;
    int ShowSeconds = 1;
    int ShowDay = 0;
    int ShowDate = 1;
    int ShowDayForDigital = 0;
    int ShowDateForDigital = 0;
    int ShowYearForDigital = 0;
    int ShowTimeWithClock = 1;
    int ShowDateWithClock = 1;
    int bIncTimeZone = 0;
    int ShowFloater = 0;

    // The options a stored text (or none) gives: the defaults, then, when there is a text,
    // the presets of the later fields, then the text scanned over them as far as it reads.
    // Not normalised.
    static FloatingOptions fromText(const std::optional<QString>& floatingStates);
    // What the pane's reset stores: 18 numbers, so that a reader keeps the presets of the
    // last two fields.
    static FloatingOptions resetValues();
    static QString resetText();

    // Reads the packed text over these values, as far as it is readable.
    void scan(const QString& floatingStates);
    // The packed text of these values: 20 numbers, reals as "%3.3f" in any locale.
    QString format() const;
    // Missing or damaged values take their fallbacks: columns below 1 give the default, a
    // face that is not a face the flags, a spacing that is not a number 2.0, a transparency
    // below 0.1 0.75, a size below 16 gives 48, a negative city flag 1, a layer out of
    // range 1.
    void normalise();

    // The widest spacing that keeps a row of `columnsIndex` + 1 clocks of `size` on a screen
    // `screenWidth` wide; never below 100. Saving and loading both obey it.
    static float spacingLimit(double screenWidth, int columnsIndex, float size);

    // The face pop-up: item 0 the flags, item i a plain face i. Every item has its own
    // code and back; a code that is no face (the old 0 included) shows the flags.
    static int faceItemCount() { return kLastFace + 1; }
    static int faceCodeForItem(int item);
    static int faceItemForCode(int code);

    // The labels' font and colours when nothing is stored.
    static QString defaultFontFamily() { return QStringLiteral("LucidaGrande"); }
    static constexpr float kDefaultFontSize = 14.0f;
    static QColor defaultBackground() { return QColor::fromRgbF(2.0f / 3, 2.0f / 3, 2.0f / 3); }
    static QColor defaultTextColour() { return QColor(Qt::black); }
    // The label formats when nothing is stored.
    static QString defaultTimeFormat() { return QStringLiteral("EEEE h:mm"); }
    static QString defaultDateFormat() { return QStringLiteral("M/d/yy"); }
    static QString defaultCustomFormat() { return QStringLiteral("%a %d, %I:%M %p"); }

    Layer layer() const;
    bool showsBelowText() const { return bShowText != 0 || bIncCountry != 0 || bIncTimeZone != 0; }
    bool showsAboveText() const { return ShowTimeWithClock != 0 || ShowDateWithClock != 0; }

    // The first `count` fields as a packed text.
    QString formatFields(int count) const;
};

}  // namespace talvor
