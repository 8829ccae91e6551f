#include "AlarmScene.h"

#include "DemoBar.h"
#include "GrabWindow.h"

#include "alarms/Alarm.h"
#include "alarms/SnoozeWindowController.h"
#include "alarms/StatusView.h"
#include "platform/OffscreenStatusBar.h"

#include <QDateTime>
#include <QPainter>

#include <algorithm>

namespace talvor::shot {

QImage renderRingingAlarm(int width, double scale) {
    auto demo = makeDemoBar();
    auto view = std::make_shared<StatusView>();
    auto item = demo->bar.statusItemWithLength(platform::VariableStatusItemLength);
    view->setStatusItem(item);
    item->setView(view);
    view->setShown(true);
    view->setAngleEnd(0, 60);
    platform::OffscreenStatusBar offscreen(demo->bar, QSize(width, 800));
    const QImage bar = offscreen.render(0, scale);

    auto alarm = Alarm::initWithTime(
        Date::fromQDateTime(QDateTime(QDate(2025, 5, 12), QTime(12, 0))), QStringLiteral("Tea"));
    alarm->setIsTimeWithDate(true);
    SnoozeWindowController snooze;
    snooze.setAlarm(alarm);
    snooze.window()->adjustSize();
    const QImage window = grabWindow(*snooze.window(), scale);

    const QRectF at = offscreen.itemRect(item.get());
    const QSizeF windowSize = QSizeF(window.size()) / scale;
    const double x = std::min(at.left(), width - windowSize.width());
    QImage out((QSizeF(width, at.bottom() + windowSize.height() + 8) * scale).toSize(),
               QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(scale);
    out.fill(QColor(0x3a, 0x3f, 0x4b));
    QPainter p(&out);
    p.drawImage(QPointF(0, 0), bar);
    p.drawImage(QPointF(x, at.bottom()), window);
    return out;
}

}  // namespace talvor::shot
