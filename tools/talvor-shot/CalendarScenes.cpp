#include "CalendarScenes.h"

#include "GrabWindow.h"

#include "calendarui/MinnowCalendarController.h"
#include "calendarui/ztCalendarController.h"
#include "platform/Clock.h"
#include "platform/PreferenceStore.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "shell/MoonDisplay.h"

#include <QPainter>
#include <QTimeZone>
#include <QWidget>

#include <vector>

namespace talvor::shot {
namespace {

// 2025-05-12 12:00:01 UTC.
class StillClock : public platform::Clock {
  public:
    Date now() const override { return Date::fromUnix(1747051201); }
    QTimeZone currentZone() const override { return QTimeZone::utc(); }
};

class DemoMoon : public ztCalendarMenuExtra {
  public:
    QImage mooonImage(Date) override { return moonPicture(QStringLiteral("MM3")); }
    QString addNextMoons(const std::optional<QString>&, Date) override {
        return QStringLiteral(
            "Current Moon: Waxing Gibbous\nNext Full Moon: Tue 13 May 2025\n"
            "Next New Moon: Tue 27 May 2025");
    }
    void showMenubarCalendarPrefs() override {}
};

struct Setting {
    StillClock clock;
    platform::MemoryPreferenceStore store{QStringLiteral("talvor-shot")};
    platform::UserDefaults defaults{store};
    Setting() { defaults.setInteger(2, QStringLiteral("FirstDayOfWeek")); }
};

}  // namespace

QImage renderMiniCalendar(double scale) {
    Setting s;
    MinnowCalendarController mini(s.clock, s.defaults, platform::Screens::shared());
    return grabWindow(*mini.window(), scale);
}

QImage renderBigCalendar(double scale) {
    Setting s;
    DemoMoon moon;
    ztCalendarController big(s.clock, s.defaults, platform::Screens::shared());
    big.setMenuExtra(&moon);
    big.showCalBGImg();
    return grabWindow(*big.window(), scale);
}

QImage renderCalendarLeaves(double scale) {
    constexpr double kHeight = 22.0;
    const QFont font(QStringLiteral("DejaVu Sans"));
    std::vector<QImage> leaves;
    std::vector<QSizeF> sizes;
    double width = 8.0;
    for (const int day : {1, 9, 10, 28}) {
        QSizeF size;
        leaves.push_back(calendarLeafPicture(day, font, Qt::black, day == 28, kHeight, &size));
        sizes.push_back(size);
        width += size.width() + 12.0;
    }
    QImage image((QSizeF(width, kHeight + 8.0) * scale).toSize(),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(QColor(236, 236, 236));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    double x = 8.0;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        painter.drawImage(QRectF(QPointF(x, 4.0), sizes[i]), leaves[i]);
        x += sizes[i].width() + 12.0;
    }
    return image;
}

}  // namespace talvor::shot
