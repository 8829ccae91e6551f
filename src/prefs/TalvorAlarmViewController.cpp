#include "TalvorAlarmViewController.h"

#include "foundation/FoundationKeys.h"
#include "foundation/TalvorTimeSettings.h"

#include <QVBoxLayout>

namespace talvor {
namespace {

const char* const kTimeMenu = QT_TRANSLATE_NOOP("talvor::TalvorAlarmViewController", "Time menu");

// The time menu's group of the alarm items.
constexpr qint32 kAlarmsGroup = 3;

}  // namespace

TalvorAlarmViewController::TalvorAlarmViewController(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorAlarmViewController"), std::move(nibName),
                     QStringLiteral("Alarms")),
      delegate_(std::move(delegate)),
      table_(staticMetaObject.className(), makeRows(),
             {[] { TalvorTimeSettings::sharedInstance().writePrefsAndSync(); },
              [this](const QString& name) { delegate_.postDistributed(name); },
              [this](const PaneCall& call) { perform(call); }, [this] { table_.load(); }}) {}

std::vector<PaneRow> TalvorAlarmViewController::makeRows() {
    using K = PaneRow::Kind;
    return {
        {.id = QStringLiteral("showAlarm"),
         .kind = K::Check,
         .label = QT_TRANSLATE_NOOP("talvor::TalvorAlarmViewController",
                                    "Show \"Alarms...\" in the time menu"),
         .binding = PaneBinding::timeSetting(&TalvorTimeSettings::showAlarm),
         .defaultValue = false,
         .effects = {.store = true,
                     .post = keys::TalvorSettingsUpdatedNotification,
                     .call = PaneCall{PaneRequest::UpdateMenu{kAlarmsGroup}}},
         .section = kTimeMenu},
        {.id = QStringLiteral("showTake5"),
         .kind = K::Check,
         .label = QT_TRANSLATE_NOOP("talvor::TalvorAlarmViewController",
                                    "Show \"Take 5...\" in the time menu"),
         .binding = PaneBinding::timeSetting(&TalvorTimeSettings::showTake5),
         .defaultValue = false,
         .effects = {.store = true, .call = PaneCall{PaneRequest::UpdateTake5{}}},
         .section = kTimeMenu},
    };
}

void TalvorAlarmViewController::perform(const PaneCall& call) {
    std::visit(PaneCallHandlers{[this](const PaneRequest::UpdateMenu& r) {
                                    if (delegate_.UpdateMenu) {
                                        delegate_.UpdateMenu(r.code);
                                    }
                                },
                                [this](const PaneRequest::UpdateTake5&) {
                                    delegate_.call(delegate_.UpdateTake5);
                                },
                                // The alarm rows make no other request.
                                [](const auto&) {}},
               call);
}

void TalvorAlarmViewController::viewDidShow() {
    TalvorTimeSettings::sharedInstance().loadPrefs();
    table_.load();
}

void TalvorAlarmViewController::buildInto(QWidget& view, QBoxLayout& layout) {
    table_.build(view, layout);
    table_.load();
}

std::unique_ptr<QWidget> TalvorAlarmViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);
    buildInto(*view, *layout);
    layout->addStretch(1);
    return view;
}

}  // namespace talvor
