#include "MenuCalendarPrefs.h"

#include "PrefsKeys.h"
#include "TCalendarPrefs.h"
#include "TalvorCalendarPrefs.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendarui/CalendarUiKeys.h"
#include "platform/UserDefaults.h"

#include <QHBoxLayout>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace talvor {
namespace {

const QString kMiniNib = QStringLiteral("TCalendarPrefs");
const QString kBigNib = QStringLiteral("TalvorCalendarPrefs");

}  // namespace

MenuCalendarPrefs::MenuCalendarPrefs(QString nibName, PaneDelegate delegate, HostedPanes hosted)
    : PreferencePane(QStringLiteral("MenuCalendarPrefs"), std::move(nibName),
                     QStringLiteral("Menubar Calendar")),
      delegate_(std::move(delegate)),
      hosted_(std::move(hosted)) {
    if (!hosted_.mini) {
        hosted_.mini = [delegate = delegate_](const QString& nib) {
            return std::make_unique<TCalendarPrefs>(nib, delegate);
        };
    }
    if (!hosted_.big) {
        hosted_.big = [delegate = delegate_](const QString& nib) {
            return std::make_unique<TalvorCalendarPrefs>(nib, delegate);
        };
    }
}

// The hosted panes delete their views, which sit in ours, before ours goes.
MenuCalendarPrefs::~MenuCalendarPrefs() = default;

void MenuCalendarPrefs::host(std::unique_ptr<PreferencePane>& slot, const PaneMaker& make,
                             const QString& nibName) {
    // Made anew each time, so its controls show what is stored, not unsaved edits.
    std::unique_ptr<PreferencePane> pane = make(nibName);
    if (containerView_) {
        for (QWidget* child :
             containerView_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            child->hide();
            child->setParent(nullptr);
        }
        if (QWidget* view = pane ? pane->view() : nullptr) {
            // Inside this pane's margins already: its own would indent it twice.
            if (view->layout() != nullptr) {
                view->layout()->setContentsMargins(0, 0, 0, 0);
            }
            view->setParent(containerView_);
            containerView_->layout()->addWidget(view);
            view->show();
        }
    }
    slot = std::move(pane);
}

void MenuCalendarPrefs::choose(bool big) {
    const QSignalBlocker blockMini(radioMinnow_.data());
    const QSignalBlocker blockBig(radioBigCal_.data());
    if (radioMinnow_ && radioBigCal_) {
        (big ? radioBigCal_ : radioMinnow_)->setChecked(true);
    }
    if (big) {
        host(bigPane_, hosted_.big, kBigNib);
    } else {
        host(miniPane_, hosted_.mini, kMiniNib);
    }
}

void MenuCalendarPrefs::btnPressed_radioMinnow() {
    choose(false);
    platform::UserDefaults::standard().setObject(keys::Minnow, keys::SelectedMenuCalendar);
    delegate_.call(delegate_.updatedCalendar);
}

void MenuCalendarPrefs::btnPressed_radioBigCal() {
    // Through the model the big pane and the calendar window read, before the pane is made:
    // a value written only to the file was overwritten by the model's next save.
    TalvorCalPrefsSettings& calendar = TalvorCalPrefsSettings::sharedInstance();
    calendar.ShowNoOfCalendar = 1;
    calendar.writePrefs();
    delegate_.postDistributed(keys::TalvorCalendarPrefsChangeNotification);
    choose(true);
    platform::UserDefaults::standard().setObject(keys::BigCal, keys::SelectedMenuCalendar);
    delegate_.call(delegate_.updatedCalendar);
}

void MenuCalendarPrefs::helpBtnClicked() {
    delegate_.openManual(helpPage());
}

void MenuCalendarPrefs::OnVersionNoClicked() {
    delegate_.open(PaneLinks::changeLogPage());
}

std::unique_ptr<QWidget> MenuCalendarPrefs::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);

    auto* choice = new QHBoxLayout();
    radioMinnow_ = new QRadioButton(tr("Mini Calendar"), view.get());
    radioMinnow_->setObjectName(QStringLiteral("radioMinnow"));
    radioBigCal_ = new QRadioButton(tr("Big Calendar"), view.get());
    radioBigCal_->setObjectName(QStringLiteral("radioBigCal"));
    choice->addWidget(radioMinnow_);
    choice->addWidget(radioBigCal_);
    choice->addStretch(1);
    layout->addLayout(choice);

    containerView_ = new QWidget(view.get());
    containerView_->setObjectName(QStringLiteral("containerView"));
    auto* hostLayout = new QVBoxLayout(containerView_);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(containerView_, 1);

    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *view, [this] { OnVersionNoClicked(); }, [this] { helpBtnClicked(); });
    versionButton_ = links.versionButton;
    layout->addLayout(links.layout);

    choose(platform::UserDefaults::standard().stringForKey(keys::SelectedMenuCalendar) ==
           keys::BigCal);
    // Only a change of choice acts: pressing the chosen calendar again keeps the big
    // calendar's number of months.
    connect(radioMinnow_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            btnPressed_radioMinnow();
        }
    });
    connect(radioBigCal_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            btnPressed_radioBigCal();
        }
    });
    view->resize(560, 480);
    return view;
}

}  // namespace talvor
