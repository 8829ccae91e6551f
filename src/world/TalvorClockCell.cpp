#include "TalvorClockCell.h"

#include "ClockFaces.h"
#include "CountryFlags.h"
#include "foundation/StringsBundle.h"
#include "platform/Clock.h"
#include "platform/FontResolver.h"
#include "platform/Log.h"
#include "platform/Menu.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>

#include <cmath>
#include <map>
#include <numbers>
#include <tuple>

namespace talvor {
namespace {

const QString kStringFormat = QStringLiteral("%H:%M:%S");
const QString kTwelveHourFormat = QStringLiteral("%I:%M %p");

QColor grey(double level, double alpha) {
    return QColor::fromRgbF(static_cast<float>(level), static_cast<float>(level),
                            static_cast<float>(level), static_cast<float>(alpha));
}

// The point `length` from the centre towards `degrees` (counter-clockwise from 3 o'clock),
// on a screen whose y grows downwards.
QPointF along(QPointF centre, double degrees, double length) {
    const double a = degrees * std::numbers::pi / 180.0;
    return centre + QPointF(length * std::cos(a), -length * std::sin(a));
}

struct Hand {
    double degrees;
    double length;
    QColor color;
    double width;
};

// A picture copied one to one. At a whole point, smooth transformation changes no pixel but
// would take the span filler's path (the worker threads, below) for a picture with
// transparency.
void copyPicture(QPainter& p, const QPointF& at, const QImage& image) {
    const bool smooth = p.testRenderHint(QPainter::SmoothPixmapTransform);
    const bool whole = at.x() == std::floor(at.x()) && at.y() == std::floor(at.y());
    p.setRenderHint(QPainter::SmoothPixmapTransform, smooth && !whole);
    p.drawImage(at, image);
    p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

// A shape in a translucent colour goes through the raster engine's span filler, which hands
// large shapes to its worker threads and waits for them: every worker wakes for each such
// stroke. Drawn opaque into a scratch picture and copied with the colour's alpha, the same
// pixels come from this thread alone. `p` may be translated, not scaled or turned.
template <typename Draw>
void drawTranslucent(QPainter& p, const QRectF& bounds, const QColor& color, Draw draw) {
    if (color.alpha() == 255) {
        draw(p, color);
        return;
    }
    const QRect area = bounds.toAlignedRect();
    if (area.isEmpty() || color.alpha() == 0) {
        return;
    }
    const qreal ratio = p.device() != nullptr ? p.device()->devicePixelRatioF() : 1.0;
    QImage scratch((QSizeF(area.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    scratch.setDevicePixelRatio(ratio);
    scratch.fill(Qt::transparent);
    {
        QPainter s(&scratch);
        s.setRenderHints(p.renderHints());
        s.translate(-area.topLeft());
        QColor opaque = color;
        opaque.setAlpha(255);
        draw(s, opaque);
    }
    p.save();
    p.setOpacity(p.opacity() * color.alphaF());
    copyPicture(p, area.topLeft(), scratch);
    p.restore();
}

void strokeLine(QPainter& p, const QLineF& line, const QPen& pen) {
    const double reach = pen.widthF() / 2.0 + 2.0;
    const QRectF bounds =
        QRectF(line.p1(), line.p2()).normalized().adjusted(-reach, -reach, reach, reach);
    drawTranslucent(p, bounds, pen.color(), [&](QPainter& s, const QColor& color) {
        QPen solid = pen;
        solid.setColor(color);
        s.setPen(solid);
        s.drawLine(line);
    });
}

void drawHandShadow(QPainter& p, QPointF centre, double r, const Hand& hand, const QColor& shadow) {
    // A blur of 4 points, offset one point right and down: widening strokes fading out.
    const QPointF offset(1.0, 1.0);
    const struct { double extra, alpha; } layers[] = {{4.0, 0.12}, {2.5, 0.2}, {1.0, 0.35}};
    for (const auto& layer : layers) {
        QColor c = shadow;
        c.setAlphaF(static_cast<float>(layer.alpha));
        strokeLine(p,
                   QLineF(along(centre, hand.degrees, -0.1 * r) + offset,
                          along(centre, hand.degrees, hand.length) + offset),
                   QPen(c, hand.width + layer.extra, Qt::SolidLine, Qt::RoundCap));
    }
}

void drawHand(QPainter& p, QPointF centre, double r, const Hand& hand) {
    strokeLine(
        p, QLineF(along(centre, hand.degrees, -0.1 * r), along(centre, hand.degrees, hand.length)),
        QPen(hand.color, hand.width, Qt::SolidLine, Qt::FlatCap));
}

Hand secondHand(int second, float r) {
    return Hand{90.0 - second * 6.0, 0.8 * r, QColor(Qt::red), 1.0};
}

// What the second hand and its shadow cover, about a centre at (0, 0).
QRect secondHandArea(int second, float r) {
    const Hand hand = secondHand(second, r);
    const QPointF tail = along(QPointF(), hand.degrees, -0.1 * r);
    const QPointF tip = along(QPointF(), hand.degrees, hand.length);
    // The widest shadow stroke's round cap and a point of smoothing, the shadow one point
    // right and down.
    const double reach = (hand.width + 4.0) / 2.0 + 1.0;
    return QRectF(tail, tip)
        .normalized()
        .adjusted(-reach, -reach, reach + 1.0, reach + 1.0)
        .toAlignedRect();
}

// A picture of a hand and its shadow, placed by its offset from the dial's centre.
struct HandSprite {
    QPoint offset;
    QImage image;
};

// The second hand at each of its sixty places, drawn once and shared by every clock of the
// same size and hand colour: a dial then copies one small picture a second.
const HandSprite& secondHandSprite(int second, float r, qreal ratio, float handGrey) {
    using Key = std::tuple<int, float, qreal, float>;
    static std::map<Key, HandSprite> sprites;
    const Key key{second, r, ratio, handGrey};
    if (const auto found = sprites.find(key); found != sprites.end()) {
        return found->second;
    }
    // A few sizes' worth; more means sizes came and went.
    if (sprites.size() >= 4 * 60) {
        sprites.clear();
    }
    const Hand hand = secondHand(second, r);
    // The centre is always on a whole point, so a picture drawn about (0, 0) is the same.
    const QRect area = secondHandArea(second, r);
    HandSprite sprite;
    sprite.offset = area.topLeft();
    sprite.image =
        QImage((QSizeF(area.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    sprite.image.setDevicePixelRatio(ratio);
    sprite.image.fill(Qt::transparent);
    QPainter p(&sprite.image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.translate(-area.topLeft());
    drawHandShadow(p, QPointF(), r, hand, grey(1.0 - handGrey, 1.0));
    drawHand(p, QPointF(), r, hand);
    p.end();
    return sprites.emplace(key, std::move(sprite)).first->second;
}

// "%@" by "%@": each takes the next argument.
QString fillObjects(QString format, const QStringList& objects) {
    for (const QString& o : objects) {
        const qsizetype at = format.indexOf(QLatin1String("%@"));
        if (at < 0) {
            break;
        }
        format.replace(at, 2, o);
    }
    return format;
}

}  // namespace

TalvorClockCell::TalvorClockCell()
    : TalvorClockCell(
          CalendarDate{platform::Clock::shared().now(), platform::Clock::shared().currentZone()}) {}

TalvorClockCell::TalvorClockCell(const CalendarDate& time) : time_(time) {}

void TalvorClockCell::redraw() {
    if (updateCell) {
        updateCell();
    }
}

void TalvorClockCell::setTime(const CalendarDate& time) {
    // Equal dates are the same instant: in another zone it is another time on the dial.
    if (time == time_ && time.timeZone == time_.timeZone &&
        time.calendarFormat == time_.calendarFormat) {
        return;
    }
    const QTime before = time_.timeOfDay();
    time_ = time;
    redrawChange(before, time_.timeOfDay());
    sendActionToTarget();
}

void TalvorClockCell::redrawChange(QTime before, QTime after) {
    const bool sameMinute = before.hour() == after.hour() && before.minute() == after.minute();
    if (!sameMinute || !updateArea || !drawnFrame_ || bDigitalTime_) {
        redraw();
        return;
    }
    // Within a minute only the second hand moves: where it was and where it is now.
    if (analogSecHand_ != 0) {
        const QRectF& frame = *drawnFrame_;
        const auto r = static_cast<float>(std::min(frame.width(), frame.height()) / 2.0);
        const QPoint centre(static_cast<int>(std::floor(frame.x() + frame.width() / 2.0 + 0.5)),
                            static_cast<int>(std::floor(frame.y() + r + 0.5)));
        updateArea(secondHandArea(before.second(), r).translated(centre) |
                   secondHandArea(after.second(), r).translated(centre));
    }
}

void TalvorClockCell::sendActionToTarget() {
    if (action) {
        action();
    }
}

bool TalvorClockCell::setObjectValue(const QVariant& value) {
    if (value.canConvert<Date>() && value.userType() == qMetaTypeId<Date>()) {
        CalendarDate t = time_;
        t.date = value.value<Date>();
        setTime(t);
        return true;
    }
    if (value.userType() == QMetaType::QString) {
        setStringValue(value.toString());
        return true;
    }
    platform::log(QStringLiteral("setObjectValue: Invalid object %1").arg(value.toString()));
    return false;
}

void TalvorClockCell::setStringValue(const QString& text) {
    std::optional<QTime> parsed = parseCalendarTime(text, kTwelveHourFormat);
    if (!parsed) {
        parsed = parseCalendarTime(text, kStringFormat);
    }
    if (parsed) {
        setTime(time_.withTimeOfDay(*parsed));
    }
}

QString TalvorClockCell::stringValue() const {
    return time_.descriptionWithCalendarFormat(kStringFormat);
}

void TalvorClockCell::setTimeToNow(Date now) {
    CalendarDate t = time_;
    t.date = now;
    setTime(t);
}

void TalvorClockCell::setTimeToNow() {
    setTimeToNow(platform::Clock::shared().now());
}

void TalvorClockCell::incrementHour(int hours, int minutes) {
    setTime(time_.adding(hours * 3600.0 + minutes * 60.0));
}

void TalvorClockCell::setHour(int hour, int minute) {
    const QTime now = time_.timeOfDay();
    const QTime wanted(hour < 0 ? now.hour() : hour % 24, minute < 0 ? now.minute() : minute % 60,
                       now.second());
    setTime(time_.withTimeOfDay(wanted));
}

void TalvorClockCell::setHourHandByAngleFromNorth(double degrees) {
    const int hours = static_cast<int>(degrees / 30.0);
    const int minutes = static_cast<int>((degrees - hours * 30.0) / 30.0 * 60.0);
    setHour(time_.timeOfDay().hour() >= 12 ? hours + 12 : hours, minutes);
}

void TalvorClockCell::toggleAmPm() {
    incrementHour(12, 0);
}

void TalvorClockCell::SetClockType(int type) {
    if (type != clockType_) {
        HandColor_ = ClockFaces::handGreyForType(type);
    }
    clockType_ = type;
}

void TalvorClockCell::SetFontName(const QString& name) {
    if (!name.isNull()) {
        aFontName_ = name;
    }
}

void TalvorClockCell::SetBGColor(const QColor& color) {
    if (color.isValid()) {
        bgColor_ = color;
    }
}

void TalvorClockCell::SetTextColor(const QColor& color) {
    if (color.isValid()) {
        textColor_ = color;
    }
}

float TalvorClockCell::setFontSize(float size) {
    return std::exchange(fontSize_, size);
}

bool TalvorClockCell::setChangeTime(bool change) {
    return std::exchange(bChangeTime_, change);
}

bool TalvorClockCell::setChangeDigital(bool digital) {
    const bool previous = std::exchange(bDigitalTime_, digital);
    redraw();
    return previous;
}

void TalvorClockCell::setImagePath(const std::optional<QString>& path) {
    imagePath_ = path;
}

void TalvorClockCell::drawWithFrame(QPainter& painter, const QRectF& frame, bool showsFocus) {
    if (!bDigitalTime_) {
        drawClockHandsForTime(time_, frame, painter, showsFocus);
    }
}

QImage TalvorClockCell::faceImage() {
    if (imagePath_ && !imagePath_->isEmpty()) {
        // Kept while the path stays the same, rather than read from disk at every second.
        if (pathImageSource_ != *imagePath_) {
            pathImageSource_ = *imagePath_;
            pathImage_ = imagePath_->endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)
                             ? CountryFlags::drawFlag(*imagePath_, 256)
                             : QImage(*imagePath_);
        }
        if (!pathImage_.isNull()) {
            return pathImage_;
        }
    }
    return ClockFaces::clockFaceImage(clockType_);
}

std::optional<QFont> TalvorClockCell::markFont() {
    const QString key = aFontName_ + QLatin1Char('/') + QString::number(fontSize_);
    if (key == aFontKey_) {
        return aFont_;
    }
    // Made and logged once per name and size, not at every second.
    aFontKey_ = key;
    float size = fontSize_;
    if (size < 0.0f) {
        platform::log(
            QStringLiteral("Clock face: font size %1 cannot be drawn, using 12 points").arg(size));
    }
    if (size <= 0.0f) {
        size = 12.0f;
    }
    aFont_ = platform::FontResolver::shared().fontNamed(aFontName_, size);
    if (!aFont_) {
        // A family this machine does not have (the stored default often is one): the
        // desktop's own font, at the size asked for.
        platform::debugLog(
            QStringLiteral("Clock face: no font family \"%1\", using the default").arg(aFontName_));
        QFont fallback = QGuiApplication::font();
        fallback.setPointSizeF(size);
        aFont_ = fallback;
    }
    return aFont_;
}

void TalvorClockCell::drawAmPm(const CalendarDate& time, const QRectF& frame, double left,
                               QPainter& painter) {
    const QString text = time.descriptionWithCalendarFormat(QStringLiteral("%p"));
    const std::optional<QFont> font = markFont();
    if (font) {
        painter.setFont(*font);
    }
    const QFontMetricsF metrics(painter.font());
    const double xa = (frame.x() + left) / 2.0;
    // The mark sits on the dial's lower edge, its shadow one point down and right.
    const double bottom = frame.y() + frame.height();
    painter.setPen(QColor(Qt::darkGray));
    painter.drawText(QPointF(xa + 3, bottom - 1 - metrics.descent()), text);
    painter.setPen(textColor_);
    painter.drawText(QPointF(xa + 2, bottom - 2 - metrics.descent()), text);
}

void TalvorClockCell::updateDialLayer(const QRectF& face, QPointF centre, float r, QTime time,
                                      qreal ratio, bool showsFocus) {
    const QImage source = faceImage();
    DialLayer wanted;
    wanted.face = source.isNull() ? 0 : source.cacheKey();
    wanted.frame = face;
    wanted.ratio = ratio;
    wanted.handGrey = HandColor_;
    wanted.minuteOfDay = time.hour() * 60 + time.minute();
    wanted.focus = showsFocus;
    if (!layer_.image.isNull() && layer_.sameKey(wanted)) {
        return;
    }
    // The hands' shadows and the focus ring stay within a few points of the face.
    constexpr int kMargin = 8;
    const QPoint origin(static_cast<int>(std::floor(face.left())) - kMargin,
                        static_cast<int>(std::floor(face.top())) - kMargin);
    const QPoint end(static_cast<int>(std::ceil(face.right())) + kMargin,
                     static_cast<int>(std::ceil(face.bottom())) + kMargin);
    wanted.origin = origin;
    wanted.image = QImage((QSizeF(end.x() - origin.x(), end.y() - origin.y()) * ratio).toSize(),
                          QImage::Format_ARGB32_Premultiplied);
    wanted.image.setDevicePixelRatio(ratio);
    wanted.image.fill(Qt::transparent);

    QPainter p(&wanted.image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.translate(-origin);
    if (!source.isNull()) {
        // Scaled once per size, not at every minute.
        const QSize pixels = (face.size() * ratio).toSize();
        if (scaledFaceSource_ != source.cacheKey() || scaledFace_.size() != pixels) {
            scaledFace_ = source.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            scaledFace_.setDevicePixelRatio(ratio);
            scaledFaceSource_ = source.cacheKey();
        }
        copyPicture(p, face.topLeft(), scaledFace_);
    }
    if (showsFocus) {
        const QRectF ring =
            QRectF(face.x(), face.y(), face.width(), face.height() - 2).adjusted(4, 4, -4, -4);
        drawTranslucent(p, ring.adjusted(-3, -3, 3, 3), QColor(0x3D, 0x8E, 0xF5, 200),
                        [&](QPainter& s, const QColor& color) {
                            s.setPen(QPen(color, 3.0));
                            s.setBrush(Qt::NoBrush);
                            s.drawEllipse(ring);
                        });
    }
    const double hand = HandColor_;
    const Hand hands[] = {
        {90.0 - time.minute() / 60.0 * 360.0, 0.775 * r, grey(hand, 0.7), 2.0},
        {90.0 - (time.hour() / 12.0 * 360.0 + time.minute() / 60.0 * 30.0), 0.5 * r,
         grey(hand, 0.8), 4.0},
    };
    const QColor shadow = grey(1.0 - hand, 1.0);
    for (const Hand& h : hands) {
        drawHandShadow(p, centre, r, h, shadow);
        drawHand(p, centre, r, h);
    }
    p.end();
    layer_ = std::move(wanted);
}

void TalvorClockCell::drawClockHandsForTime(const CalendarDate& time, const QRectF& frame,
                                            QPainter& painter, bool showsFocus) {
    if (!textColor_.isValid()) {
        return;
    }
    const auto r = static_cast<float>(std::min(frame.width(), frame.height()) / 2.0);
    if (!(r > 0.0f)) {
        return;
    }
    const double left = frame.x() + frame.width() / 2.0 - r;
    const QRectF face(left, frame.y(), 2.0 * r, 2.0 * r);
    const QPointF centre(std::floor(left + r + 0.5), std::floor(frame.y() + r + 0.5));
    const QTime t = time.timeOfDay();
    const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    drawnFrame_ = frame;

    // A second of a floating clock costs two copied pictures: the face with the hour and
    // minute hands, drawn again when the minute changes, and the second hand.
    updateDialLayer(face, centre, r, t, ratio, showsFocus);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    copyPicture(painter, layer_.origin, layer_.image);
    if (analogSecHand_ != 0) {
        const HandSprite& second = secondHandSprite(t.second(), r, ratio, HandColor_);
        copyPicture(painter, centre + QPointF(second.offset), second.image);
    }
    if (showAMPM_ != 0) {
        drawAmPm(time, frame, left, painter);
    }
    painter.restore();
}

void TalvorClockCell::drawDigitalClockForTime(const CalendarDate& time, const QRectF& frame,
                                              QPainter& painter) {
    const QString text = time.descriptionWithCalendarFormat(time.calendarFormat);
    painter.save();
    if (const std::optional<QFont> font = markFont()) {
        painter.setFont(*font);
    }
    const QFontMetricsF metrics(painter.font());
    const QSizeF size = metrics.size(0, text);
    painter.fillRect(QRectF(frame.x(), frame.y(), frame.width(), size.height()),
                     bgColor_.isValid() ? bgColor_ : grey(HandColor_, 0.7));
    const double x =
        (alignment_ & Qt::AlignHCenter) ? (frame.width() + frame.x() - size.width()) / 2.0 : 2.0;
    painter.setPen(textColor_.isValid() ? textColor_ : QColor(Qt::blue));
    painter.drawText(QPointF(x, frame.y() + metrics.ascent()), text);
    painter.restore();
}

bool TalvorClockCell::trackMouse(const QPointF& point, const QRectF& frame) {
    if (!bChangeTime_) {
        return false;
    }
    const auto r = static_cast<float>(std::min(frame.width(), frame.height()) / 2.0);
    const QPointF centre(std::floor(frame.x() + r + 0.5), std::floor(frame.y() + r + 0.5));
    const QPointF d = point - centre;
    if (frame.contains(point) && std::hypot(d.x(), d.y()) < 0.9 * r) {
        tracking_ = true;
        trackMouseForTimeChangeEvent(point, frame);
    } else {
        toggleAmPm();
    }
    return true;
}

void TalvorClockCell::trackMouseForTimeChangeEvent(const QPointF& point, const QRectF& frame) {
    const auto r = static_cast<float>(std::min(frame.width(), frame.height()) / 2.0);
    const QPointF centre(std::floor(frame.x() + r + 0.5), std::floor(frame.y() + r + 0.5));
    const QPointF d = point - centre;
    const auto length = static_cast<float>(std::hypot(d.x(), d.y()));
    if (!(length > 0.0f)) {
        return;
    }
    // Screen y grows downwards: north is negative y.
    double degrees = std::atan2(d.x() / length, -d.y() / length) * 180.0 / std::numbers::pi;
    if (degrees < 0) {
        degrees += 360.0;
    }
    setHourHandByAngleFromNorth(degrees);
    redraw();
}

void TalvorClockCell::moveLeft(Qt::KeyboardModifiers modifiers) {
    if (bChangeTime_) {
        incrementHour(0, (modifiers & Qt::ShiftModifier) ? -15 : -1);
    }
}

void TalvorClockCell::moveRight(Qt::KeyboardModifiers modifiers) {
    if (bChangeTime_) {
        incrementHour(0, (modifiers & Qt::ShiftModifier) ? 15 : 1);
    }
}

void TalvorClockCell::performClick() {
    if (bChangeTime_) {
        toggleAmPm();
    }
}

std::shared_ptr<platform::Menu> TalvorClockCell::menuForEvent() const {
    auto menu = platform::Menu::create();
    menu->addItemWithTitle(stringValue());
    menu->addItem(platform::MenuItem::separatorItem());
    const QString format =
        StringsBundle::mainBundle()
            .localizedString(QStringLiteral("%@ - %@ (%@)"), QStringLiteral("Localizable"))
            .value_or(QStringLiteral("%@ - %@ (%@)"));
    QString name = time_.timeZone.displayName(QTimeZone::StandardTime, QTimeZone::LongName);
    if (name.isEmpty() || name.startsWith(QLatin1String("GMT"))) {
        name = QString::fromLatin1(time_.timeZone.id());
    }
    menu->addItemWithTitle(
        fillObjects(format, {QStringLiteral("Time Zone"), name, time_.timeZoneAbbreviation()}));
    return menu;
}

}  // namespace talvor
