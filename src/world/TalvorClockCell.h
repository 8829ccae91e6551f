#pragma once

#include "CalendarDate.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QTime>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class QPainter;

namespace talvor {

namespace platform {
class Menu;
}

// One analog clock: a face picture chosen by type (or any image file), hour, minute and
// optional second hands with a soft shadow, and an AM/PM mark. Its time carries its own zone
// and calendar format. When the time may change, the user sets it by dragging the hour hand,
// clicking outside the dial (12 hours on) or with the arrow keys.
// Drawn in y-down coordinates: hands point the same way on screen as on any clock.
class TalvorClockCell {
  public:
    // The time is now (the platform clock), in the clock's current zone.
    TalvorClockCell();
    explicit TalvorClockCell(const CalendarDate& time);

    // The hosting control's redraw, and the target's action; either may be empty.
    std::function<void()> updateCell;
    std::function<void()> action;
    // The hosting control's redraw of a part (in the drawn frame's coordinates); without it
    // every change redraws the whole clock.
    std::function<void(const QRect&)> updateArea;

    const CalendarDate& time() const { return time_; }
    QVariant objectValue() const { return QVariant::fromValue(time_.date); }
    // An equal time (the same instant, zone and format) changes nothing; another is stored,
    // redrawn and sent as the action.
    void setTime(const CalendarDate& time);
    void sendActionToTarget();
    // A Date goes to setTime (in the clock's zone), a string to setStringValue; anything else
    // is refused with a log line (false).
    bool setObjectValue(const QVariant& value);
    // "%I:%M %p", else "%H:%M:%S", on the clock's day; other texts leave the time alone.
    void setStringValue(const QString& text);
    // The time in its own zone as "%H:%M:%S".
    QString stringValue() const;
    // Now, keeping the zone and the calendar format.
    void setTimeToNow(Date now);
    void setTimeToNow();

    void incrementHour(int hours, int minutes);
    // A negative hour or minute leaves that part alone.
    void setHour(int hour, int minute);
    // Degrees clockwise from 12: 30 degrees an hour, the minutes from what is left over; the
    // afternoon stays the afternoon.
    void setHourHandByAngleFromNorth(double degrees);
    void toggleAmPm();
    void takeHourValueFrom(int hour) { setHour(hour, -1); }
    void takeMinuteValueFrom(int minute) { setHour(-1, minute); }

    void SetClockType(int type);
    void SetShowAMPM(int show) { showAMPM_ = show; }
    void SetAnalogSecHand(int show) { analogSecHand_ = show; }
    void SetFontName(const QString& name);
    void SetBGColor(const QColor& color);
    void SetTextColor(const QColor& color);
    // Return the previous value.
    float setFontSize(float size);
    bool setChangeTime(bool change);
    bool setChangeDigital(bool digital);
    void setImagePath(const std::optional<QString>& path);
    const std::optional<QString>& imagePath() const { return imagePath_; }
    void setAlignment(Qt::Alignment alignment) { alignment_ = alignment; }

    int clockType() const { return clockType_; }
    float handColor() const { return HandColor_; }
    bool changeTime() const { return bChangeTime_; }
    bool digital() const { return bDigitalTime_; }
    int showAMPM() const { return showAMPM_; }
    int analogSecHand() const { return analogSecHand_; }
    float fontSize() const { return fontSize_; }
    const QString& fontName() const { return aFontName_; }
    const QColor& bgColor() const { return bgColor_; }
    const QColor& textColor() const { return textColor_; }

    // The analog drawing unless digital mode, which draws nothing.
    void drawWithFrame(QPainter& painter, const QRectF& frame, bool showsFocus = false);
    void drawClockHandsForTime(const CalendarDate& time, const QRectF& frame, QPainter& painter,
                               bool showsFocus = false);
    // The time as text through its calendar format, over the background colour.
    void drawDigitalClockForTime(const CalendarDate& time, const QRectF& frame, QPainter& painter);

    // A press at `point` (in the frame's coordinates). False when the time may not change.
    // Inside the dial (0.9 of the radius) it starts dragging the hour hand; elsewhere it adds
    // 12 hours.
    bool trackMouse(const QPointF& point, const QRectF& frame);
    // One step of dragging the hour hand to `point`.
    void trackMouseForTimeChangeEvent(const QPointF& point, const QRectF& frame);
    bool isTracking() const { return tracking_; }
    void stopTracking() { tracking_ = false; }
    // One minute back or on, 15 with Shift, when the time may change.
    void moveLeft(Qt::KeyboardModifiers modifiers = {});
    void moveRight(Qt::KeyboardModifiers modifiers = {});
    // Adds 12 hours when the time may change.
    void performClick();
    // The time, then the zone: "Time Zone - <standard name> (<abbreviation>)".
    std::shared_ptr<platform::Menu> menuForEvent() const;
    bool mouseDownCanMoveWindow() const { return bChangeTime_; }

  private:
    // The face, the focus ring and the hour and minute hands as last drawn, and what they
    // were drawn from: they change once a minute, the second hand every second.
    struct DialLayer {
        qint64 face = 0;
        QRectF frame;
        qreal ratio = 0;
        float handGrey = 0;
        int minuteOfDay = -1;
        bool focus = false;
        QPoint origin;
        QImage image;
        bool sameKey(const DialLayer& o) const {
            return face == o.face && frame == o.frame && ratio == o.ratio &&
                   handGrey == o.handGrey && minuteOfDay == o.minuteOfDay && focus == o.focus;
        }
    };

    void redraw();
    // Redraws what a change of the time from `before` to `after` moved.
    void redrawChange(QTime before, QTime after);
    void updateDialLayer(const QRectF& face, QPointF centre, float r, QTime time, qreal ratio,
                         bool showsFocus);
    QImage faceImage();
    void drawAmPm(const CalendarDate& time, const QRectF& frame, double left, QPainter& painter);
    std::optional<QFont> markFont();

    CalendarDate time_;
    bool bChangeTime_ = true;
    bool bDigitalTime_ = false;
    float fontSize_ = 18.0f;
    float HandColor_ = 0.0f;
    int clockType_ = 0;
    int showAMPM_ = 1;
    int analogSecHand_ = 0;
    QString aFontName_ = QStringLiteral("Palatino");
    std::optional<QString> imagePath_;
    QColor bgColor_ = QColor::fromRgbF(2.0f / 3, 2.0f / 3, 2.0f / 3);
    QColor textColor_ = QColor(Qt::blue);
    Qt::Alignment alignment_ = Qt::AlignLeft;
    bool tracking_ = false;

    // Made at a draw and kept while what they were made from stays the same.
    std::optional<QFont> aFont_;
    QString aFontKey_;
    QImage pathImage_;
    QString pathImageSource_;
    QImage scaledFace_;
    qint64 scaledFaceSource_ = 0;
    DialLayer layer_;
    // The frame of the last analog drawing.
    std::optional<QRectF> drawnFrame_;
};

}  // namespace talvor
