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

// The boxes as they appear, with their titles and actions.
struct Box {
    const char* control;
    const char* title;
    void (Ctrl::*action)();
    int indent;
};
const Box kBoxes[] = {
    {"checkboxMenuExtra",
     QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl", "Show the Applications menu in the menu bar"),
     &Ctrl::enableMenuExtra, 0},
    {"showIconOnly",
     QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl",
                       "Show only the icon of the frontmost application"),
     &Ctrl::showIconOnly, 1},
    {"bCurrentRunningApp", QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl", "Running applications"),
     &Ctrl::toggleCurrentlyInUseApps, 1},
    {"bRecentMenu", QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl", "Recent items"),
     &Ctrl::toggleRecent, 1},
    {"bSysPrefsMenu", QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl", "Settings panels"),
     &Ctrl::toggleSysPrefs, 1},
    {"bMenuExtraMenu", QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl", "Menu extras"),
     &Ctrl::toggleMenuExtra, 1},
    {"hideTimingInfo",
     QT_TRANSLATE_NOOP("talvor::TalvorASMViewCtrl",
                       "Show how long each application has been in use"),
     &Ctrl::toggleActivityTimer, 1},
};

}  // namespace

TalvorASMViewCtrl::TalvorASMViewCtrl(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorASMViewCtrl"), std::move(nibName),
                     QStringLiteral("Applications Menu")),
      delegate_(std::move(delegate)) {}

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
    this->*field = 1 - this->*field;
    showFlags();
    writePrefs();
    postUpate();
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
    if (QCheckBox* box = checkbox("checkboxMenuExtra")) {
        ASMFlag = box->isChecked() ? 1 : 0;
    }
    showFlags();
    writePrefs();
    delegate_.call(delegate_.setupASMMenu);
    platform::log(QStringLiteral("asm menu %1").arg(ASMFlag));
}

void TalvorASMViewCtrl::showIconOnly() {
    if (QCheckBox* box = checkbox("showIconOnly")) {
        ASMIconFlag = box->isChecked() ? 1 : 0;
    }
    writePrefs();
    delegate_.call(delegate_.setupASMMenu);
}

void TalvorASMViewCtrl::helpBtnClicked() {
    delegate_.openManual(helpPage());
}

void TalvorASMViewCtrl::OnVersionNoClicked() {
    delegate_.open(PaneLinks::changeLogPage());
}

QCheckBox* TalvorASMViewCtrl::checkbox(const char* control) const {
    return controls_ ? controls_->findChild<QCheckBox*>(QLatin1String(control)) : nullptr;
}

void TalvorASMViewCtrl::showFlags() {
    for (const Flag& f : flags()) {
        if (QCheckBox* box = f.control ? checkbox(f.control) : nullptr) {
            box->setChecked(this->*f.field != 0);
        }
    }
    // The menu's own options mean nothing while there is no menu.
    for (const Box& b : kBoxes) {
        if (QCheckBox* box = b.indent > 0 ? checkbox(b.control) : nullptr) {
            box->setEnabled(ASMFlag != 0);
        }
    }
}

std::unique_ptr<QWidget> TalvorASMViewCtrl::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    controls_ = view.get();
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);
    for (const Box& b : kBoxes) {
        auto* box = new QCheckBox(tr(b.title), view.get());
        box->setObjectName(QLatin1String(b.control));
        connect(box, &QCheckBox::clicked, this, [this, action = b.action] { (this->*action)(); });
        auto* row = new QHBoxLayout();
        row->addSpacing(b.indent * 20);
        row->addWidget(box);
        layout->addLayout(row);
    }
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
