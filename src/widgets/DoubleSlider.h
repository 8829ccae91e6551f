#pragma once

#include <QRectF>
#include <QSlider>

#include <cstdint>
#include <vector>

namespace talvor {

// The state of a slider with two knobs on tick marks: the main knob is the slider's value,
// the second knob keeps out of its way. `drawKnob` runs each time the main knob stands on a
// tick, as the slider draws it.
class DoubleSliderCell {
  public:
    std::int32_t mainSliderLoc = 0;
    std::int32_t altSliderLoc = 1;
    bool wasMouseDown = false;
    bool suppressFocusRing = false;
    bool swapFocus = false;  // the second knob carries the focus ring
    QRectF mainRect;
    QRectF altRect;

    void noteMouseDown() { wasMouseDown = true; }
    // The main knob is on tick `t` of `numberOfTicks`: after a press, a second knob it passed
    // or landed on trades places with it; from the keyboard, landing on the second knob
    // pushes it one tick on (or back, at either end, taking the focus ring).
    void drawKnob(std::int32_t t, std::int32_t numberOfTicks);

    // The index of the tick value nearest to `value` (the first of equals); -1 without
    // ticks.
    static std::int32_t closestTickIndex(double value, const std::vector<double>& tickValues);
};

// A horizontal slider on tick marks with a second knob (`altDoubleValue`). Values run from
// `minValue` to `maxValue` in `numberOfTickMarks` even steps; the slider's integer value is
// the main knob's tick.
class DoubleSlider : public QSlider {
    Q_OBJECT
  public:
    explicit DoubleSlider(QWidget* parent = nullptr);

    void setRange(double minValue, double maxValue, std::int32_t numberOfTickMarks);
    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    std::int32_t numberOfTickMarks() const { return ticks_; }
    double tickMarkValueAtIndex(std::int32_t index) const;

    double doubleValue() const { return tickMarkValueAtIndex(value()); }
    void setDoubleValue(double value);
    double altDoubleValue() const { return tickMarkValueAtIndex(cell_.altSliderLoc); }
    // The second knob goes to the tick nearest to `value`.
    void setAltDoubleValue(double value);

    const DoubleSliderCell& cell() const { return cell_; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<double> tickValues() const;

    double min_ = 0;
    double max_ = 1;
    std::int32_t ticks_ = 2;
    DoubleSliderCell cell_;
};

}  // namespace talvor
