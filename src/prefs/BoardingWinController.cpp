#include "BoardingWinController.h"

#include "platform/Log.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvor {
namespace {

std::unique_ptr<QWidget> makeWindow() {
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window);
    window->setObjectName(QStringLiteral("BoardingWindow"));
    window->setWindowTitle(QStringLiteral("Welcome to Talvor"));
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(10);

    auto* heading = new QLabel(QStringLiteral("Welcome to Talvor"), window.get());
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.4);
    heading->setFont(bold);
    layout->addWidget(heading);

    const QStringList lines = {
        QStringLiteral("Talvor keeps the time, the date and your appointments in the menu bar."),
        QStringLiteral("The time menu holds world clocks, alarms, chimes, count-downs and "
                       "break reminders."),
        QStringLiteral("The date menu opens month calendars with your events and the moon."),
        QStringLiteral("Everything can be changed in Talvor's settings, from the time menu."),
    };
    for (const QString& line : lines) {
        auto* label = new QLabel(line, window.get());
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    layout->addStretch(1);

    auto* buttons = new QDialogButtonBox(window.get());
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, window.get(), &QWidget::close);
    layout->addWidget(buttons);
    window->resize(window->sizeHint().expandedTo(QSize(460, 0)));
    return window;
}

}  // namespace

BoardingWinController::BoardingWinController(std::unique_ptr<QWidget> window)
    : window_(std::move(window)) {}

std::optional<BoardingWinController> BoardingWinController::init() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        platform::log(
            QStringLiteral("The onboarding window needs a graphical application; "
                           "it is not shown."));
        return std::nullopt;
    }
    return BoardingWinController(makeWindow());
}

void BoardingWinController::showWindow() {
    window_->show();
    window_->raise();
    window_->activateWindow();
}

}  // namespace talvor
