#include "MoonDisplay.h"

#include "StatusItemsController.h"
#include "foundation/StringsBundle.h"
#include "foundation/TalvorDateSettings.h"
#include "platform/Clock.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace talvor {
namespace {

const std::array<const char*, 8> kEnglishPhaseNames = {
    "New Moon",  "Waxing Crescent", "First Quarter", "Waxing Gibbous",
    "Full Moon", "Waning Gibbous",  "Last Quarter",  "Waning Crescent",
};

const QRgb kLit = qRgb(0xF2, 0xEE, 0xD8);
const QRgb kBlueLit = qRgb(0xA8, 0xC8, 0xFF);
const QRgb kShadow = qRgb(0x40, 0x40, 0x48);
// Samples per pixel side: enough for a smooth rim and terminator at menu-bar sizes.
constexpr int kSamples = 4;

// Whether the point (u, v) of the unit disc is lit at phase angle `angle` (0 new, pi full):
// the terminator is a half ellipse whose half width is |cos(angle)| of the disc's.
// `cosAngle` is cos(angle), taken once per picture rather than once per sample.
bool isLit(double u, double v, double angle, double cosAngle) {
    const double rim = std::sqrt(std::max(0.0, 1.0 - v * v));
    const double terminator = cosAngle * rim;
    return angle <= std::numbers::pi ? u > terminator : u < -terminator;
}

QImage drawDisc(int size, double angle, QRgb lit) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const double r = size / 2.0;
    const double cosAngle = std::cos(angle);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int inside = 0;
            int bright = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double u = (x + (sx + 0.5) / kSamples - r) / r;
                    const double v = (y + (sy + 0.5) / kSamples - r) / r;
                    if (u * u + v * v > 1.0) {
                        continue;
                    }
                    ++inside;
                    bright += isLit(u, v, angle, cosAngle) ? 1 : 0;
                }
            }
            if (inside == 0) {
                continue;
            }
            const double f = double(bright) / inside;
            const auto mix = [f](int a, int b) { return int(std::lround(a * f + b * (1.0 - f))); };
            const int alpha = inside * 255 / (kSamples * kSamples);
            image.setPixel(x, y,
                           qRgba(mix(qRed(lit), qRed(kShadow)), mix(qGreen(lit), qGreen(kShadow)),
                                 mix(qBlue(lit), qBlue(kShadow)), alpha));
        }
    }
    return image;
}

}  // namespace

QImage moonPicture(const QString& name, int size) {
    // The date item asks each minute and the phase's picture changes every few days; drawing
    // the disc costs more than a minute of ticks.
    struct Drawn {
        QString name;
        int size = 0;
        QImage picture;
    };
    thread_local Drawn last;
    if (last.size == size && last.name == name && !last.name.isNull()) {
        return last.picture;
    }
    QImage picture;
    if (name == QLatin1String("MMblue")) {
        picture = drawDisc(size, std::numbers::pi, kBlueLit);
    } else {
        bool ok = false;
        const int index = name.startsWith(QLatin1String("MM")) ? name.mid(2).toInt(&ok) : -1;
        if (!ok || index < 0 || index > 7 || name.size() != 3) {
            return QImage();
        }
        picture = drawDisc(size, index * std::numbers::pi / 4.0, kLit);
    }
    last = Drawn{name, size, picture};
    return picture;
}

MoonDisplay::MoonDisplay(const TalvorDateSettings& dateSettings, platform::Clock& clock)
    : dateSettings_(dateSettings), clock_(clock), moon_(clock.now()) {
    for (size_t i = 0; i < moonPhaseNames_.size(); ++i) {
        moonPhaseNames_[i] = QString::fromLatin1(kEnglishPhaseNames[i]);
    }
    nextFullMoonLabel_ = QStringLiteral("Next Full Moon");
    nextNewMoonLabel_ = QStringLiteral("Next New Moon");
}

void MoonDisplay::loadMoonStringsFromBundle(const StringsBundle& bundle) {
    const QString table = QString::fromLatin1(kStringsTable);
    for (size_t i = 0; i < moonPhaseNames_.size(); ++i) {
        moonPhaseNames_[i] = bundle.localizedString(QStringLiteral("PhaseName%1").arg(i), table)
                                 .value_or(QString::fromLatin1(kEnglishPhaseNames[i]));
    }
    nextFullMoonLabel_ = bundle.localizedString(QStringLiteral("NextFullMoon"), table)
                             .value_or(QStringLiteral("Next Full Moon"));
    nextNewMoonLabel_ = bundle.localizedString(QStringLiteral("NextNewMoon"), table)
                            .value_or(QStringLiteral("Next New Moon"));
    shown_.reset();
}

void MoonDisplay::setMoonDate(Date date) {
    // The days of "next" and of a blue moon are the user's days.
    moon_.setTimeZone(clock_.currentZone());
    moon_.setDisplayForSouthernHemisphere(dateSettings_.isSouthernHemisphere);
    moon_.setDate(date);
}

QString MoonDisplay::moonText(const std::optional<QString>& prefix) {
    const QTimeZone zone = clock_.currentZone();
    // The stored format may be a composite or an old percent pattern: read it as the date item
    // does.
    const QString format = dateSettings_.dateFormat.isEmpty() ? QStringLiteral("EEE dd MMM yyyy")
                                                              : dateSettings_.dateFormat;
    const int phase = moon_.moonPhaseAsInteger();
    const QString current =
        QStringLiteral("Current Moon: %1")
            .arg(phase >= 0 && phase < 8 ? moonPhaseNames_[size_t(phase)] : QString());
    const QString full = QStringLiteral("%1: %2").arg(
        nextFullMoonLabel_, texts_.dateText(format, moon_.nextFullMoon(), zone));
    const QString next = QStringLiteral("%1: %2").arg(
        nextNewMoonLabel_, texts_.dateText(format, moon_.nextNewMoon(), zone));
    // Each line names itself: "Next Full Moon: ..." under "Current Moon: ...".
    return prefix.value_or(QString()) + current + QLatin1Char('\n') + full + QLatin1Char('\n') +
           next;
}

QString MoonDisplay::addNextMoons(const std::optional<QString>& prefix) {
    setMoonDate(clock_.now());
    return moonText(prefix);
}

QString MoonDisplay::addNextMoons(Date date, const std::optional<QString>& prefix) {
    // Back to the calculator's own date, not to now: a caller that set a date keeps it.
    const Date kept = moon_.date();
    setMoonDate(date);
    QString text = moonText(prefix);
    setMoonDate(kept);
    return text;
}

QImage MoonDisplay::mooonImage() const {
    return moonPicture(moon_.moonImageName());
}

QImage MoonDisplay::mooonImage(Date date) {
    setMoonDate(date);
    return mooonImage();
}

void MoonDisplay::drawMoonInRect(QPainter& painter, const QRectF& rect) const {
    const QImage image = mooonImage();
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(1.0);
    painter.drawImage(rect, image);
    painter.restore();
}

QImage calendarLeafPicture(int day, const QFont& font, const QColor& colour, bool shadow,
                           double height, QSizeF* size) {
    constexpr double kLeafWidth = 20.0;
    constexpr int kScale = 2;  // drawn at twice the size, for sharp edges on any screen
    QFont numberFont = font;
    // 13 of the picture's points, whatever the screen's resolution.
    numberFont.setPixelSize(13);
    const QString text = QString::number(day);
    const double textWidth = QFontMetricsF(numberFont).horizontalAdvance(text);
    const double width = kLeafWidth > textWidth + 6.0 ? kLeafWidth : textWidth + 6.0;
    const double leafHeight = std::max(4.0, height - 2.0);
    QImage picture(int(std::ceil(width * kScale)), int(std::ceil(height * kScale)),
                   QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(kScale);
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        // The leaf: a white page with a red head and two rings.
        const QRectF page(1.0, 1.0, width - 2.0, leafHeight - 1.0);
        QPainterPath outline;
        outline.addRoundedRect(page, 2.5, 2.5);
        p.fillPath(outline, QColor(252, 252, 250));
        const double headHeight = std::max(3.0, page.height() * 0.22);
        p.save();
        p.setClipPath(outline);
        p.fillRect(QRectF(page.left(), page.top(), page.width(), headHeight), QColor(214, 48, 40));
        p.restore();
        p.strokePath(outline, QPen(QColor(120, 120, 120), 0.8));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(70, 70, 70));
        for (const double x :
             {page.left() + page.width() * 0.3, page.right() - page.width() * 0.3}) {
            p.drawEllipse(QPointF(x, page.top() + headHeight / 2.0), 1.0, 1.0);
        }
        // The number, centred in the page below the head.
        p.setFont(numberFont);
        const QRectF below(0.0, page.top() + headHeight - 1.0, width, page.bottom() - headHeight);
        if (shadow) {
            p.setPen(QColor(0, 0, 0, 90));
            p.drawText(below.translated(1.0, 1.0), Qt::AlignCenter, text);
        }
        p.setPen(colour.isValid() ? colour : QColor(Qt::black));
        p.drawText(below, Qt::AlignCenter, text);
    }
    if (size != nullptr) {
        *size = QSizeF(width, height);
    }
    return picture;
}

void MoonDisplay::setMoonAsIcon(StatusItemsController& items, double extraHeight) {
    CustomDateStatusItem* item = items.customDateStatusItem().get();
    if (item == nullptr || extraHeight <= 5.0) {
        return;
    }
    const bool dark = items.isDark();
    const double side = extraHeight - 2.0;
    const int pixels = int(std::ceil(side));
    QImage picture(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        // (1, 2) from the bottom in a y-up picture is 1 from the top here.
        const QRectF rect(1.0, 1.0, extraHeight - 5.0, extraHeight - 5.0);
        QPainterPath oval;
        oval.addEllipse(rect);
        const QColor black(Qt::black), lightGrey(Qt::lightGray);
        if (moon_.moonPhaseAsInteger() != 0) {
            drawMoonInRect(painter, rect);
            painter.strokePath(oval, QPen(dark ? black : lightGrey, 0));
        } else {
            painter.fillPath(oval, dark ? lightGrey : black);
            painter.strokePath(oval, QPen(dark ? black : lightGrey, 0));
        }
    }
    item->setImage(picture, QSizeF(side, side));
}

void MoonDisplay::moonUpdate(StatusItemsController& items, double extraHeight) {
    CustomDateStatusItem* item = items.customDateStatusItem().get();
    const Date now = clock_.now();
    const Shown shown{std::floor(now.timeIntervalSinceReferenceDate() / 60.0),
                      dateSettings_.showMoon,
                      dateSettings_.showMoonToolTip,
                      dateSettings_.isSouthernHemisphere,
                      items.isDark(),
                      dateSettings_.showDateInMenu,
                      dateSettings_.hasDropShadow,
                      extraHeight,
                      item,
                      dateSettings_.dateFormat,
                      clock_.currentZone().id(),
                      dateSettings_.dateFont.toString(),
                      dateSettings_.dateColor.rgba()};
    // The tick asks every second; the moon changes far more slowly. A remade item (perhaps at
    // the old address) shows neither our picture nor our tip, so it is drawn again.
    const bool itemUnchanged = item != nullptr && item->moonImage().cacheKey() == shownImage_ &&
                               items.TalvorDate() && items.TalvorDate()->toolTip() == shownToolTip_;
    if (shown_ == shown && itemUnchanged) {
        return;
    }
    shown_ = shown;
    setMoonDate(now);
    if (items.TalvorDate()) {
        items.TalvorDate()->setToolTip(dateSettings_.showMoonToolTip ? moonText(std::nullopt)
                                                                     : QString());
    }
    if (item == nullptr) {
        return;
    }
    if (dateSettings_.showMoon) {
        setMoonAsIcon(items, extraHeight);
    } else if (dateSettings_.showDateInMenu || extraHeight <= 5.0) {
        item->setImage(QImage(), QSizeF(0, 0));
    } else {
        const int day = now.toQDateTime().toTimeZone(clock_.currentZone()).date().day();
        QSizeF size;
        const QImage leaf =
            calendarLeafPicture(day, dateSettings_.dateFont, dateSettings_.dateColor,
                                dateSettings_.hasDropShadow, extraHeight, &size);
        item->setImage(leaf, size);
    }
    shownImage_ = item->moonImage().cacheKey();
    shownToolTip_ = items.TalvorDate() ? items.TalvorDate()->toolTip() : QString();
}

}  // namespace talvor
