#include "BigCalendarMenu.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QImageReader>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>

namespace talvor {

BigCalendarMenu::BigCalendarMenu(QWidget& window, Actions actions)
    : window_(window), actions_(std::move(actions)) {
    menu_ = new QMenu(&window_);
    menu_->setObjectName(QStringLiteral("calendarSettingsMenu"));
    addItems();
    addMoveToMenu();
}

BigCalendarMenu::~BigCalendarMenu() = default;

void BigCalendarMenu::addItems() {
    const struct {
        const char* title;
        std::function<void()> run;
    } items[] = {
        {QT_TR_NOOP("Print 1 Month"), [this] { printWithDialog(1); }},
        {QT_TR_NOOP("Print 3 Months"), [this] { printWithDialog(3); }},
        {QT_TR_NOOP("Print 6 Months"), [this] { printWithDialog(6); }},
        {QT_TR_NOOP("Print 12 Months"), [this] { printWithDialog(12); }},
        {QT_TR_NOOP("Add photo"), [this] { choosePhoto(); }},
        {QT_TR_NOOP("Set cal weekday font size"),
         [this] { chooseFont(CalendarFontOption::Weekday); }},
        {QT_TR_NOOP("Set cal Month font size"), [this] { chooseFont(CalendarFontOption::Month); }},
        {QT_TR_NOOP("Set cal day font size"), [this] { chooseFont(CalendarFontOption::Day); }},
    };
    for (const auto& item : items) {
        connect(menu_->addAction(tr(item.title)), &QAction::triggered, this, item.run);
    }
}

void BigCalendarMenu::addMoveToMenu() {
    // The placement's named positions, on the screen that holds the window.
    QMenu* moveTo = menu_->addMenu(tr("Move Window To"));
    moveTo->setObjectName(QStringLiteral("moveWindowMenu"));
    const struct {
        const char* title;
        const char* position;
    } places[] = {
        {QT_TR_NOOP("Top Left"), "top left"},
        {QT_TR_NOOP("Top Right"), "top right"},
        {QT_TR_NOOP("Center Left"), "center left"},
        {QT_TR_NOOP("Center Right"), "center right"},
        {QT_TR_NOOP("Bottom Left"), "bottom left"},
        {QT_TR_NOOP("Bottom Center"), "bottom center"},
        {QT_TR_NOOP("Bottom Right"), "bottom right"},
    };
    for (const auto& place : places) {
        const QString position = QString::fromLatin1(place.position);
        connect(moveTo->addAction(tr(place.title)), &QAction::triggered, this,
                [this, position] { actions_.moveTo(position); });
    }
}

template <class Dialog>
Dialog* BigCalendarMenu::opened(Dialog* dialog) {
    dialog_ = dialog;
    return dialog;
}

QDialog* BigCalendarMenu::openDialog() const {
    return dialog_ && dialog_->isVisible() ? dialog_.data() : nullptr;
}

void BigCalendarMenu::printWithDialog(int months) {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    auto* dialog = new QPrintDialog(printer_.get(), &window_);
    dialog->setObjectName(QStringLiteral("printCalendar"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, months] { actions_.print(*printer_, months); });
    opened(dialog)->open();
}

void BigCalendarMenu::choosePhoto() {
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    }
    auto* dialog = new QFileDialog(&window_, tr("Add photo"));
    dialog->setObjectName(QStringLiteral("addPhoto"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setNameFilter(tr("Pictures (%1)").arg(patterns.join(QLatin1Char(' '))));
    // Emitted for a local file by the dialog of any platform (a remote choice is no picture).
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& path) { actions_.addPhoto(path); });
    opened(dialog)->open();
}

void BigCalendarMenu::chooseFont(CalendarFontOption option) {
    auto* dialog = new QFontDialog(actions_.font(option), &window_);
    dialog->setObjectName(QStringLiteral("calendarFont"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFontDialog::DontUseNativeDialog);
    connect(dialog, &QFontDialog::fontSelected, this,
            [this, option](const QFont& font) { actions_.applyFont(option, font); });
    opened(dialog)->open();
}

}  // namespace talvor
