#include "DeleteEventController.h"

#include "calendar/CalendarBackEnd.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "widgets/ProgressController.h"
#include "widgets/WindowExtras.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvor {
namespace {

DeleteEventController*& replacement() {
    static DeleteEventController* controller = nullptr;
    return controller;
}

constexpr int kLabelWidth = 320;

}  // namespace

DeleteEventController::DeleteEventController(QObject* parent) : QObject(parent) {
    build();
}

DeleteEventController::~DeleteEventController() {
    delete alert_.data();
    delete singleWindow_.data();
    delete recurWindow_.data();
}

DeleteEventController& DeleteEventController::controller() {
    if (replacement() != nullptr) {
        return *replacement();
    }
    static DeleteEventController* const made = new DeleteEventController();
    return *made;
}

void DeleteEventController::setController(DeleteEventController* controller) {
    replacement() = controller;
}

QWidget* DeleteEventController::buildWindow(const QString& name, QLabel*& label,
                                            const QString& text, bool repeating) {
    // A dialog for Escape and the default button, shown and never run modally.
    auto* w = new QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
    w->setObjectName(name);
    w->setWindowTitle(tr("Delete Event"));
    w->setAttribute(Qt::WA_QuitOnClose, false);
    WindowExtras::useAppProxyIcon(*w);
    auto* layout = new QVBoxLayout(w);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    label = new QLabel(text, w);
    label->setObjectName(repeating ? QStringLiteral("recurTitle") : QStringLiteral("singleTitle"));
    label->setWordWrap(true);
    label->setFixedWidth(kLabelWidth);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(label);
    auto* row = new QHBoxLayout;
    auto button = [&](const QString& objectName, const QString& title,
                      void (DeleteEventController::*action)()) {
        auto* b = new QPushButton(title, w);
        b->setObjectName(objectName);
        connect(b, &QPushButton::clicked, this, action);
        row->addWidget(b);
        return b;
    };
    row->addStretch(1);
    button(QStringLiteral("cancelButton"), tr("Cancel"), &DeleteEventController::cancel);
    if (repeating) {
        button(QStringLiteral("deleteAllButton"), tr("All Events"),
               &DeleteEventController::deleteAll);
        button(QStringLiteral("deleteAfterButton"), tr("This and Following"),
               &DeleteEventController::deleteAfter);
        button(QStringLiteral("deleteSingleButton"), tr("Only This Event"),
               &DeleteEventController::deleteSingle)
            ->setDefault(true);
    } else {
        button(QStringLiteral("deleteSingleButton"), tr("Delete"),
               &DeleteEventController::deleteSingle)
            ->setDefault(true);
    }
    layout->addLayout(row);
    // However it goes (a button, Escape, the title bar), the event is forgotten.
    connect(w, &QDialog::finished, this, [this, w] {
        if (currWindow_ == w) {
            currentEvent_.reset();
        }
    });
    return w;
}

void DeleteEventController::build() {
    singleText_ = tr("Are you sure you want to delete the event \"%1\"?");
    recurText_ =
        tr("\"%1\" repeats. Do you want to delete only this occurrence, this and "
           "all the following ones, or all of them?");
    singleWindow_ = buildWindow(QStringLiteral("DeleteEvent"), singleTitle_, singleText_, false);
    recurWindow_ =
        buildWindow(QStringLiteral("DeleteRecurringEvent"), recurTitle_, recurText_, true);
}

bool DeleteEventController::canDelete(const CalEvent& event) {
    return !event.editLink_().isEmpty() || !event.originalEditLink().isEmpty();
}

bool DeleteEventController::isOccurrence(const CalEvent& event) {
    // A single event may carry its own link as its series link.
    return !event.originalEditLink().isEmpty() && event.originalEditLink() != event.editLink_();
}

Date DeleteEventController::cutOffDate(const CalEvent& event) {
    return event.adjustedStartDate().addingTimeInterval(-60);
}

void DeleteEventController::fitLabel(QLabel* label) {
    QWidget* w = label->window();
    // Measured free of the last fit, which the label would otherwise never go below.
    label->setMinimumHeight(0);
    label->setMaximumHeight(QWIDGETSIZE_MAX);
    label->setFixedHeight(label->heightForWidth(label->width()));
    // The layout's fixed size makes the window follow by the same difference.
    w->layout()->activate();
    w->adjustSize();
}

void DeleteEventController::deleteEvent(const CalEventPtr& event) {
    if (!event || !canDelete(*event)) {
        return;  // nothing this program can remove
    }
    if (currWindow_ && currWindow_->isVisible()) {
        currWindow_->close();
    }
    currentEvent_ = event;
    QLabel* label = nullptr;
    QString format;
    if (isOccurrence(*event)) {
        currWindow_ = recurWindow_;
        label = recurTitle_;
        format = recurText_;
    } else {
        currWindow_ = singleWindow_;
        label = singleTitle_;
        format = singleText_;
    }
    const QString title = event->title().isEmpty() ? tr("No title") : event->title();
    label->setText(format.arg(title));
    fitLabel(label);
    WindowExtras::makeKeyAndOrderFrontandCenter(*currWindow_);
}

void DeleteEventController::cancel() {
    if (currWindow_) {
        currWindow_->close();
    }
}

void DeleteEventController::deleteSingle() {
    remove(platform::RemoveScope::ThisEvent, tr("Deleting event..."));
}

void DeleteEventController::deleteAll() {
    remove(platform::RemoveScope::All, tr("Deleting events..."));
}

void DeleteEventController::deleteAfter() {
    // The occurrence itself is the first to go: nothing of the series starts within the
    // minute before it.
    remove(platform::RemoveScope::ThisAndFuture, tr("Deleting events..."));
}

void DeleteEventController::remove(platform::RemoveScope scope, const QString& progressTitle) {
    if (!currentEvent_) {
        return;
    }
    // A single event has one scope, whatever the button.
    if (!isOccurrence(*currentEvent_)) {
        scope = platform::RemoveScope::ThisEvent;
    }
    ProgressController::controller().startWithTitle(progressTitle, currWindow_);
    // The calendar the event came from, whichever is chosen for new ones.
    CalendarBackEnd* backEnd = CalendarBackEnds::of(*currentEvent_);
    if (backEnd == nullptr) {
        deleteFinished(tr("No calendar can remove events."));
        return;
    }
    const CalEventPtr event = currentEvent_;  // kept alive across the request
    QPointer<DeleteEventController> self(this);
    backEnd->deleteEvent(
        *event, scope, [self, event](bool ok, const std::optional<QString>& error) {
            if (self) {
                self->deleteFinished(ok ? std::nullopt
                                        : std::optional<QString>(error.value_or(QString())));
            }
        });
}

void DeleteEventController::deleteFinished(const std::optional<QString>& error) {
    ProgressController::controller().close();
    if (!error) {
        platform::NotificationCenter::defaultCenter().post(QStringLiteral("loadCalendarEvents"));
        if (currWindow_) {
            currWindow_->close();
        }
        return;
    }
    const QString text = error->isEmpty() ? tr("Unknown") : *error;
    platform::log(QStringLiteral("calendar: the event was not deleted: %1").arg(text));
    delete alert_.data();
    alert_ = new QMessageBox(QMessageBox::Warning, tr("Error Deleting Event"),
                             tr("Error Deleting Event"), QMessageBox::Ok, currWindow_);
    alert_->setObjectName(QStringLiteral("deleteEventAlert"));
    alert_->setInformativeText(text);
    alert_->setWindowModality(Qt::WindowModal);
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWidget> window(currWindow_);
    connect(alert_, &QMessageBox::finished, this, [window] {
        if (window) {
            window->close();
        }
    });
    alert_->open();
}

}  // namespace talvor
