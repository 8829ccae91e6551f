#include "CountDownTimerViewController.h"

#include "alarms/AlarmsKeys.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/DistributedNotificationCenter.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace talvor {
namespace {

// The time menu's group of the "Count Down..." item.
constexpr qint32 kCountDownMenuGroup = 8;

const QString kShowHideCountDown = QStringLiteral("showHideCountDown");

}  // namespace

CountDownTimerViewController::CountDownTimerViewController(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("CountDownTimerViewController"), std::move(nibName),
                     QStringLiteral("Countdown Timer")),
      delegate_(std::move(delegate)),
      table_(
          staticMetaObject.className(), makeRows(),
          {{}, {}, PaneTableHost::menuRebuilds(delegate_.UpdateMenu), [this] { table_.load(); }}) {}

CountDownTimerViewController::~CountDownTimerViewController() {
    if (savedAlert_) {
        savedAlert_->close();
    }
}

std::unique_ptr<QWidget> CountDownTimerViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    QWidget* v = view.get();
    auto* layout = new QVBoxLayout(v);
    layout->setContentsMargins(24, 20, 24, 20);

    table_.build(*v, *layout);
    table_.load();

    auto* newBox = new QGroupBox(tr("New count-down"), v);
    auto* newLayout = new QVBoxLayout(newBox);
    form_ = new CountDownForm(newBox);
    newLayout->addWidget(form_);
    auto* addRow = new QHBoxLayout;
    addRow->addStretch(1);
    addButton_ = new QPushButton(tr("Add"), newBox);
    addButton_->setObjectName(QStringLiteral("addButton"));
    addRow->addWidget(addButton_);
    newLayout->addLayout(addRow);
    layout->addWidget(newBox);

    auto* scroll = new QScrollArea(v);
    scroll->setObjectName(QStringLiteral("eventsScroll"));
    scroll->setWidgetResizable(true);
    scroll->setMinimumHeight(200);
    eventsCollectionView_ = new EventsCollectionView(2);
    eventsCollectionView_->setEditEvent(
        [](const Event& event) { NewCountDownEventWindowController::openFor(event); });
    scroll->setWidget(eventsCollectionView_);
    layout->addWidget(scroll, 1);
    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *v, [this] { delegate_.open(PaneLinks::changeLogPage()); },
        [this] { delegate_.openManual(Manual::Section::CountdownTimer); });
    layout->addLayout(links.layout);

    eventsCollectionView_->setContent(sortedEvents(loadEvents()));
    eventsUpdate_ = platform::DistributedNotificationCenter::defaultCenter().addObserver(
        keys::EventsUpdate, QVariant(),
        [this](const platform::Notification&) { updateEventsGUI(); });
    connect(addButton_, &QPushButton::clicked, this, [this] { setEvent(); });
    view->resize(560, 640);
    return view;
}

bool CountDownTimerViewController::setEvent() {
    const QString problems = form_->problems();
    if (!problems.isEmpty()) {
        showCountDownProblems(viewIfLoaded(), problems);
        return false;
    }
    storeEvent(form_->eventWithUid(newUID()));
    // An open events window (or another copy of this page) shows it too.
    platform::DistributedNotificationCenter::defaultCenter().post(keys::EventsUpdate);
    auto* box = new QMessageBox(QMessageBox::Information, QString(), QString(), QMessageBox::Ok,
                                viewIfLoaded());
    box->setObjectName(QStringLiteral("EventSaved"));
    box->setInformativeText(QStringLiteral("Event Saved!"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::finished, this, [this, box](int) {
        eventSavedDidEnd(box->clickedButton() == box->button(QMessageBox::Ok) ? 1 : 0);
    });
    savedAlert_ = box;
    box->open();
    return true;
}

void CountDownTimerViewController::eventSavedDidEnd(int returnCode) {
    if (returnCode != 1) {
        return;
    }
    form_->setEvent(std::nullopt);
    updateEventsGUI();
}

void CountDownTimerViewController::updateEventsGUI() {
    if (eventsCollectionView_) {
        eventsCollectionView_->setContent(sortedEvents(loadEvents()));
    }
}

void CountDownTimerViewController::showHideCountDownMenuItem() {
    if (const QCheckBox* box = showHideCountDown()) {
        table_.apply(kShowHideCountDown, box->isChecked());
    }
}

std::vector<PaneRow> CountDownTimerViewController::makeRows() {
    return {timeMenuSwitch(kShowHideCountDown,
                           QT_TRANSLATE_NOOP("talvor::CountDownTimerViewController",
                                             "Show \"Count Down...\" in the time menu"),
                           &TalvorTimeSettings::showCountDown, kCountDownMenuGroup)};
}

QCheckBox* CountDownTimerViewController::showHideCountDown() const {
    return qobject_cast<QCheckBox*>(table_.control(kShowHideCountDown));
}

}  // namespace talvor
