#pragma once

#include <QImage>

namespace talvor::shot {

// The bar with a ringing alarm: its item showing the full disc of the flashing, and the
// alarm's snooze window under it.
QImage renderRingingAlarm(int width, double scale);

// The settings window on the alarm page: a ten-minute tea alarm with a fading sound.
QImage renderAlarmEditor(double scale);
// The alarm page after Set with its problems: the alert over it.
QImage renderAlarmEditorProblems(double scale);
// The alarm item pane: both items of the time menu on.
QImage renderAlarmItemPane(double scale);
// The recorded-message window with two messages, one of them chosen.
QImage renderReminderWindow(double scale);

}  // namespace talvor::shot
