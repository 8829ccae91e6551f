// The yardstick of bench/startup: a bare Qt program that shows a one-line label, built with
// the same compiler and flags as Talvor and timed by the same first-frame probe.
#include "platform/FirstFrame.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("10:09:30 AM"));
    new talvor::platform::FirstFrameWatch(label, [] { talvor::platform::recordFirstFrameTime(); });
    label.show();
    return QApplication::exec();
}
