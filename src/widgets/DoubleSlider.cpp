#include "DoubleSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>
#include <limits>

namespace talvor {

void DoubleSliderCell::drawKnob(std::int32_t t, std::int32_t numberOfTicks) {
    const std::int32_t main = mainSliderLoc;
    std::int32_t& alt = altSliderLoc;
    if (t != main) {
        if (wasMouseDown) {
            const bool between = (main < alt && alt < t) || (t < alt && alt < main);
            if (alt == t || between) {
                alt = main;
            }
            swapFocus = false;
        } else if (alt == t) {
            if (t == 0) {
                alt = 1;
                swapFocus = true;
            } else if (t == numberOfTicks - 1) {
                alt = numberOfTicks - 2;
                swapFocus = true;
            } else if (swapFocus) {
                alt = main < t ? alt - 1 : alt + 1;
                swapFocus = false;
            } else {
                alt = main < t ? alt + 1 : alt - 1;
            }
        }
    } else if (wasMouseDown && swapFocus) {
        swapFocus = false;
    }
    mainSliderLoc = t;
    wasMouseDown = false;
}

std::int32_t DoubleSliderCell::closestTickIndex(double value,
                                                const std::vector<double>& tickValues) {
    std::int32_t best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < tickValues.size(); ++i) {
        const double d = std::fabs(tickValues[i] - value);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<std::int32_t>(i);
        }
    }
    return best;
}

DoubleSlider::DoubleSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(1);
    setPageStep(1);
    setRange(0.0, 1.0, 2);
    connect(this, &QSlider::valueChanged, this, [this](int tick) {
        cell_.drawKnob(tick, ticks_);
        update();
    });
}

void DoubleSlider::setRange(double minValue, double maxValue, std::int32_t numberOfTickMarks) {
    min_ = minValue;
    max_ = maxValue;
    ticks_ = std::max<std::int32_t>(numberOfTickMarks, 2);
    QSlider::setRange(0, ticks_ - 1);
    cell_.mainSliderLoc = value();
    cell_.altSliderLoc = std::clamp<std::int32_t>(cell_.altSliderLoc, 0, ticks_ - 1);
    update();
}

double DoubleSlider::tickMarkValueAtIndex(std::int32_t index) const {
    return min_ + (max_ - min_) * index / (ticks_ - 1);
}

std::vector<double> DoubleSlider::tickValues() const {
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(std::max(ticks_, 0)));
    for (std::int32_t i = 0; i < ticks_; ++i) {
        values.push_back(tickMarkValueAtIndex(i));
    }
    return values;
}

void DoubleSlider::setDoubleValue(double value) {
    setValue(DoubleSliderCell::closestTickIndex(value, tickValues()));
}

void DoubleSlider::setAltDoubleValue(double value) {
    const std::int32_t tick = DoubleSliderCell::closestTickIndex(value, tickValues());
    if (tick >= 0) {
        cell_.altSliderLoc = tick;
    }
    update();
}

void DoubleSlider::mousePressEvent(QMouseEvent* event) {
    cell_.noteMouseDown();
    const int before = value();
    QSlider::mousePressEvent(event);
    if (value() == before) {
        // The original system redraws the pressed knob at once, which ends the press's turn.
        cell_.drawKnob(before, ticks_);
    }
}

void DoubleSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionSlider groove;
    initStyleOption(&groove);
    groove.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &groove, &painter, this);

    const auto knob = [&](std::int32_t tick, bool ring, QRectF* rect) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        option.subControls = QStyle::SC_SliderHandle;
        option.sliderPosition = tick;
        option.sliderValue = tick;
        cell_.suppressFocusRing = !ring;
        if (cell_.suppressFocusRing) {
            option.state &= ~QStyle::State_HasFocus;
        }
        *rect = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    };
    // The knob drawn last carries the focus ring.
    if (cell_.swapFocus) {
        knob(value(), false, &cell_.mainRect);
        knob(cell_.altSliderLoc, true, &cell_.altRect);
    } else {
        knob(cell_.altSliderLoc, false, &cell_.altRect);
        knob(value(), true, &cell_.mainRect);
    }
    cell_.suppressFocusRing = false;
}

}  // namespace talvor
