#pragma once

#include "TalvorClockCell.h"

#include <QWidget>

namespace talvor {

// The view of one clock: it hosts a TalvorClockCell, forwards the clock's settings and
// commands to it, takes keyboard focus and shows the focus ring while its window is active.
// Assistive technology sees an analog clock whose value is the time, settable as text and
// stepped a minute at a time. While the time may change, clicks and drags set it and never
// move the window; a clock whose time is fixed passes them on to its window.
class TalvorClockControl : public QWidget {
    Q_OBJECT
  public:
    explicit TalvorClockControl(QWidget* parent = nullptr);
    ~TalvorClockControl() override;

    TalvorClockCell& cell() { return cell_; }
    const TalvorClockCell& cell() const { return cell_; }

    void moveRight(Qt::KeyboardModifiers modifiers = {}) { cell_.moveRight(modifiers); }
    void moveLeft(Qt::KeyboardModifiers modifiers = {}) { cell_.moveLeft(modifiers); }
    void performClick() { cell_.performClick(); }
    void setTimeToNow(Date now) { cell_.setTimeToNow(now); }
    void SetClockType(int type) {
        cell_.SetClockType(type);
        update();
    }
    void SetShowAMPM(int show) {
        cell_.SetShowAMPM(show);
        update();
    }
    void SetAnalogSecHand(int show) {
        cell_.SetAnalogSecHand(show);
        update();
    }
    void SetFontName(const QString& name) {
        cell_.SetFontName(name);
        update();
    }
    void SetBGColor(const QColor& color) {
        cell_.SetBGColor(color);
        update();
    }
    void SetTextColor(const QColor& color) {
        cell_.SetTextColor(color);
        update();
    }
    void setTime(const CalendarDate& time) { cell_.setTime(time); }
    const CalendarDate& time() const { return cell_.time(); }
    float setFontSize(float size);
    bool setChangeTime(bool change) { return cell_.setChangeTime(change); }
    bool setChangeDigital(bool digital) { return cell_.setChangeDigital(digital); }
    void setStringValue(const QString& text) { cell_.setStringValue(text); }
    QString stringValue() const { return cell_.stringValue(); }
    void setImagePath(const std::optional<QString>& path);
    const std::optional<QString>& imagePath() const { return cell_.imagePath(); }
    void takeMinuteValueFrom(int minute) { cell_.takeMinuteValueFrom(minute); }
    void takeHourValueFrom(int hour) { cell_.takeHourValueFrom(hour); }
    void drawWithFrame(QPainter& painter, const QRectF& frame) {
        cell_.drawWithFrame(painter, frame);
    }

    // What assistive technology and speech are given.
    static constexpr const char* kRole = "AnalogClock";
    static constexpr const char* kRoleDescription = "Analog Clock";
    QString accessibilitySynthesis() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    bool showsFocus() const;

    TalvorClockCell cell_;
};

}  // namespace talvor
