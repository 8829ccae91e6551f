#include "TalvorASMViewCtrl.h"

#include "PrefsKeys.h"
#include "foundation/PreferenceDomain.h"
#include "platform/Log.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvor {
namespace {

const QString kSyncFailed =
    QStringLiteral("Applications menu settings: the settings file could not be synchronised");

using Ctrl = TalvorASMViewCtrl;

// The boxes as they appear: the item, then its look and the menu's sections under it.
struct Box {
    const char* control;
    const char* title;
    qint32 Ctrl::*field;
    bool menuSection;
};
const Box kBoxes[] = {
    {"checkboxMenuExtra",
     QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl", "Show the Applications menu in the menu bar"),
     &Ctrl::ASMFlag, false},
    {"showIconOnly",
     QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl",
                       "Show only the icon of the frontmost application"),
     &Ctrl::ASMIconFlag, false},
    {"bCurrentRunningApp", QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl", "Running applications"),
     &Ctrl::RunningAppsFlag, true},
    {"bRecentMenu", QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl", "Recent items"),
     &Ctrl::RecentFlag, true},
    {"bSysPrefsMenu", QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl", "Settings panels"),
     &Ctrl::PrefsFlag, true},
    {"bMenuExtraMenu", QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl", "Menu extras"),
     &Ctrl::MenuExtraFlag, true},
    {"hideTimingInfo",
     QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl",
                       "Show how long each application has been in use"),
     &Ctrl::showAppTimes, true},
};

}  // namespace

TalvorASMViewCtrl::TalvorASMViewCtrl(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorASMViewCtrl"), std::move(nibName),
                     QStringLiteral("Applications Menu")),
      delegate_(std::move(delegate)),
      table_(staticMetaObject.className(), makeRows(),
             {[this] { writePrefs(); },
              [this](const QString& name) { delegate_.postDistributed(name); },
              [this](const PaneCall& call) { perform(call); }, [this] { showFlags(); }}) {}

std::vector<PaneRow> TalvorASMViewCtrl::makeRows() {
    std::vector<PaneRow> rows;
    for (const Box& b : kBoxes) {
        PaneRow row{
            .id = QLatin1String(b.control),
            .kind = PaneRow::Kind::Check,
            .label = b.title,
            .binding = {[this, field = b.field] { return QVariant(this->*field != 0); }, {}},
            .place = PaneRow::Place::Column,
            .indent = b.field == &Ctrl::ASMFlag ? 0 : 1};
        // The flags in memory are the truth, written whole by the pane's store step.
        if (b.menuSection) {
            // A section flips from its value in memory, whatever the box shows.
            row.action = [this, field = b.field] {
                this->*field = 1 - this->*field;
                showFlags();
            };
            row.effects = {.store = true,
                           .post = keys::TalvorASMPrefsUdpateNotification,
                           .call = PaneCall{PaneRequest::ApplicationChange{}}};
        } else {
            // The item and its look follow their boxes; the item is rebuilt, nothing is
            // announced.
            row.action = [this, field = b.field, control = b.control] {
                if (QCheckBox* box = checkbox(control)) {
                    this->*field = box->isChecked() ? 1 : 0;
                }
                showFlags();
                if (field == &Ctrl::ASMFlag) {
                    platform::log(QStringLiteral("asm menu %1").arg(ASMFlag));
                }
            };
            row.effects = {.store = true, .call = PaneCall{PaneRequest::SetupASMMenu{}}};
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void TalvorASMViewCtrl::perform(const PaneCall& call) {
    std::visit(PaneCallHandlers{[this](const PaneRequest::SetupASMMenu&) {
                                    delegate_.call(delegate_.setupASMMenu);
                                },
                                [this](const PaneRequest::ApplicationChange&) {
                                    delegate_.call(delegate_.applicationChange);
                                },
                                // The boxes make no other request.
                                [](const auto&) {}},
               call);
}

const std::array<TalvorASMViewCtrl::Flag, 8>& TalvorASMViewCtrl::flags() {
    static const std::array<Flag, 8> table{{
        {keys::PrefsFlag, &Ctrl::PrefsFlag, "bSysPrefsMenu", 1, true},
        {keys::ASMIconFlag, &Ctrl::ASMIconFlag, "showIconOnly", 0, true},
        {keys::RecentFlag, &Ctrl::RecentFlag, "bRecentMenu", 1, true},
        {keys::RecentList, &Ctrl::RunningAppsFlag, "bCurrentRunningApp", 1, true},
        {keys::ASMFlag, &Ctrl::ASMFlag, "checkboxMenuExtra", 0, true},
        {keys::PrefsTimingFlag, &Ctrl::showAppTimes, "hideTimingInfo", 1, true},
        {keys::MenuExtraFlag, &Ctrl::MenuExtraFlag, "bMenuExtraMenu", 1, true},
        {keys::RecentSortFlag, &Ctrl::RecentSortFlag, nullptr, 0, false},
    }};
    return table;
}

void TalvorASMViewCtrl::readPrefs() {
    PreferenceDomain::synchronize(kSyncFailed);
    for (const Flag& f : flags()) {
        // Stored as 0 or 1; anything else non-zero counts as on, so a flip always turns it off.
        this->*f.field = PreferenceDomain::readInteger(f.key, f.whenAbsent) != 0 ? 1 : 0;
    }
    showFlags();
}

void TalvorASMViewCtrl::writePrefs() {
    for (const Flag& f : flags()) {
        if (f.written) {
            PreferenceDomain::writeInteger(f.key, this->*f.field);
        }
    }
    PreferenceDomain::synchronize(kSyncFailed);
}

void TalvorASMViewCtrl::postUpate() {
    delegate_.postDistributed(keys::TalvorASMPrefsUdpateNotification);
    delegate_.call(delegate_.applicationChange);
}

void TalvorASMViewCtrl::toggle(qint32 TalvorASMViewCtrl::*field) {
    for (const Flag& f : flags()) {
        if (f.field == field && f.control != nullptr) {
            table_.apply(QLatin1String(f.control));
        }
    }
}

void TalvorASMViewCtrl::toggleMenuExtra() {
    toggle(&Ctrl::MenuExtraFlag);
}

void TalvorASMViewCtrl::toggleCurrentlyInUseApps() {
    toggle(&Ctrl::RunningAppsFlag);
}

void TalvorASMViewCtrl::toggleRecent() {
    toggle(&Ctrl::RecentFlag);
}

void TalvorASMViewCtrl::toggleSysPrefs() {
    toggle(&Ctrl::PrefsFlag);
}

void TalvorASMViewCtrl::toggleActivityTimer() {
    toggle(&Ctrl::showAppTimes);
}

void TalvorASMViewCtrl::enableMenuExtra() {
    toggle(&Ctrl::ASMFlag);
}

void TalvorASMViewCtrl::showIconOnly() {
    toggle(&Ctrl::ASMIconFlag);
}

void TalvorASMViewCtrl::helpBtnClicked() {
    delegate_.openManual(helpPage());
}

void TalvorASMViewCtrl::OnVersionNoClicked() {
    delegate_.open(PaneLinks::changeLogPage());
}

QCheckBox* TalvorASMViewCtrl::checkbox(const char* control) const {
    return qobject_cast<QCheckBox*>(table_.control(QLatin1String(control)));
}

void TalvorASMViewCtrl::showFlags() {
    table_.load();
    // The menu's own options mean nothing while there is no menu.
    for (const Box& b : kBoxes) {
        if (QCheckBox* box = b.field != &Ctrl::ASMFlag ? checkbox(b.control) : nullptr) {
            box->setEnabled(ASMFlag != 0);
        }
    }
}

std::unique_ptr<QWidget> TalvorASMViewCtrl::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);
    table_.build(*view, *layout);
    layout->addStretch(1);

    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *view, [this] { OnVersionNoClicked(); }, [this] { helpBtnClicked(); });
    versionButton_ = links.versionButton;
    layout->addLayout(links.layout);

    readPrefs();
    view->resize(480, 360);
    return view;
}

}  // namespace talvor
