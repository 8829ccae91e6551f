#include "AlarmScene.h"

#include "DemoBar.h"
#include "GrabWindow.h"
#include "SettingsScene.h"

#include "alarms/Alarm.h"
#include "alarms/ReminderController.h"
#include "alarms/SavedAlarms.h"
#include "alarms/SnoozeWindowController.h"
#include "alarms/StatusView.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/OffscreenStatusBar.h"
#include "platform/OpenDialogs.h"
#include "platform/SharedInstance.h"
#include "prefs/AlarmSetController.h"
#include "shell/SettingsWindowHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QTemporaryDir>

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

namespace {

// The settings window on the alarm page, its form filled by `fill`.
template <class Fill>
QImage alarmPage(Fill fill) {
    TalvorTimeSettings time;
    time.showAlarm = true;
    SharedInstance<TalvorTimeSettings>::Override use(time);
    SettingsScene scene(PaneTag::createAlarm);
    auto* page = dynamic_cast<AlarmSetController*>(scene.host().viewCtrl());
    if (page == nullptr) {
        return {};
    }
    auto saved = Alarm::create();
    saved->setTitle(QStringLiteral("Stretch"));
    SavedAlarms::save({saved});
    page->showWithAlarm(nullptr);
    page->setTimeFormat(QStringLiteral("HH:mm"));
    QImage image = fill(scene, *page);
    platform::closeOpenDialogs();
    return image;
}

}  // namespace

QImage renderAlarmEditor(double scale) {
    return alarmPage([scale](SettingsScene& scene, AlarmSetController& page) {
        page.titleBox()->setEditText(QStringLiteral("Tea"));
        page.inTimeField()->setText(QStringLiteral("10"));
        page.playSoundCheck()->setChecked(true);
        page.setSoundPath(QStringLiteral("/usr/share/talvor/Sounds/Ping.ogg"));
        page.shouldFadeInCheck()->setChecked(true);
        return grabWindow(scene.window(), scale);
    });
}

QImage renderAlarmEditorProblems(double scale) {
    return alarmPage([scale](SettingsScene& scene, AlarmSetController& page) {
        page.inTimeField()->clear();
        page.playSoundCheck()->setChecked(true);
        page.setButtonPushed();
        QImage image = grabWindow(scene.window(), scale);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
                const QImage alert = grabWindow(*box, scale);
                QPainter p(&image);
                p.drawImage((image.width() - alert.width()) / 2, 40, alert);
            }
        }
        return image;
    });
}

QImage renderAlarmItemPane(double scale) {
    TalvorTimeSettings time;
    time.showAlarm = true;
    time.showTake5 = true;
    SharedInstance<TalvorTimeSettings>::Override use(time);
    SettingsScene scene(PaneTag::alarms);
    return grabWindow(scene.window(), scale);
}

QImage renderReminderWindow(double scale) {
    QTemporaryDir dir;
    for (const char* name : {"Take the pills.ogg", "Call home.ogg"}) {
        QFile f(QDir(dir.path()).filePath(QString::fromUtf8(name)));
        if (f.open(QIODevice::WriteOnly)) {
            f.write("x");
        }
    }
    ReminderController window(dir.path());
    window.runWithAlarm(nullptr);
    window.comboBox()->setCurrentIndex(0);
    window.reminderTitle()->setText(QStringLiteral("Stand up"));
    window.updatePlayButton();
    return grabWindow(window, scale);
}

}  // namespace talvor::shot
