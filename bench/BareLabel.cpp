// The yardstick of bench/startup and bench/idle-cost: a bare Qt program that shows a one-line
// label, built with the same compiler and flags as Talvor and timed by the same first-frame
// probe.
//   bench_bare_label              the label, still (start-up)
//   bench_bare_label --tick       the label shows the time, changed on each second (idle cost)
//   bench_bare_label --dials N    N small windows, each an analog dial with a second hand
//                                 repainted each second (the floating clocks' yardstick)
#include "platform/FirstFrame.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

// Fires just after each wall-clock second begins, as a clock's tick does.
void everySecond(QObject* owner, const std::function<void()>& tick) {
    auto* timer = new QTimer(owner);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, tick] {
        tick();
        timer->start(1000 - static_cast<int>(QDateTime::currentMSecsSinceEpoch() % 1000) + 2);
    });
    timer->start(0);
}

class Dial : public QWidget {
  public:
    Dial() {
        setWindowFlags(Qt::FramelessWindowHint | Qt::Tool);
        setFixedSize(72, 72);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = rect().center();
        const double radius = width() / 2.0 - 2;
        p.drawEllipse(centre, radius, radius);
        const QTime now = QTime::currentTime();
        const auto hand = [&](double turns, double length, double penWidth) {
            const double angle = turns * 2 * std::numbers::pi;
            p.setPen(QPen(Qt::black, penWidth, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(centre,
                       centre + QPointF(std::sin(angle), -std::cos(angle)) * radius * length);
        };
        hand((now.hour() % 12 + now.minute() / 60.0) / 12.0, 0.5, 3);
        hand((now.minute() + now.second() / 60.0) / 60.0, 0.75, 2);
        hand(now.second() / 60.0, 0.9, 1);
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const bool tick = args.contains(QStringLiteral("--tick"));
    const qsizetype dialsAt = args.indexOf(QStringLiteral("--dials"));
    const int dialCount =
        dialsAt >= 0 && dialsAt + 1 < args.size() ? args.at(dialsAt + 1).toInt() : 0;

    QLabel label(QStringLiteral("10:09:30 AM"));
    new talvor::platform::FirstFrameWatch(label, [] { talvor::platform::recordFirstFrameTime(); });
    label.show();
    if (tick) {
        everySecond(&label, [&label] {
            label.setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss AP")));
        });
    }
    std::vector<std::unique_ptr<Dial>> dials;
    for (int i = 0; i < dialCount; ++i) {
        auto dial = std::make_unique<Dial>();
        dial->move(80 * (i % 20), 100 + 80 * (i / 20));
        dial->show();
        dials.push_back(std::move(dial));
    }
    if (!dials.empty()) {
        everySecond(&label, [&dials] {
            for (const auto& dial : dials) {
                dial->update();
            }
        });
    }
    return QApplication::exec();
}
