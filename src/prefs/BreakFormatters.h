#pragma once

#include <QValidator>

namespace talvor {

// The break pane's number fields: whole numbers from `minimum` to `maximum`. While typing,
// any digits up to the maximum are allowed, so that 10 to 49 can be typed from their first
// digit; a number below the minimum is only unfinished, and is refused when editing ends.
// Anything but digits beeps.
class BreakNumberFormatter : public QValidator {
  public:
    BreakNumberFormatter(int minimum, int maximum, QObject* parent = nullptr);

    State validate(QString& input, int& pos) const override;
    // The slider's value replaces a number left below the minimum.
    void fixup(QString& input) const override;

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // The value to fall back on when editing ends below the minimum.
    void setFallback(int value) const { fallback_ = value; }

  private:
    int minimum_;
    int maximum_;
    // Follows the slider; not part of what the formatter accepts.
    mutable int fallback_;
};

// Minutes between breaks.
class BreakEveryFormatter : public BreakNumberFormatter {
  public:
    explicit BreakEveryFormatter(QObject* parent = nullptr)
        : BreakNumberFormatter(5, 300, parent) {}
};

// Minutes of a break.
class BreakDurationFormatter : public BreakNumberFormatter {
  public:
    explicit BreakDurationFormatter(QObject* parent = nullptr)
        : BreakNumberFormatter(2, 60, parent) {}
};

// Breaks before the reminders stop.
class BreakRepeatFormatter : public BreakNumberFormatter {
  public:
    explicit BreakRepeatFormatter(QObject* parent = nullptr)
        : BreakNumberFormatter(2, 30, parent) {}
};

}  // namespace talvor
