#include "TalvorPrefsMenuExtra.h"

#include "PrefsKeys.h"
#include "foundation/PreferenceDomain.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvor {
namespace {

const QString kSyncFailed =
    QStringLiteral("About settings: the settings file could not be synchronised");

}  // namespace

TalvorPrefsMenuExtra::TalvorPrefsMenuExtra(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorPrefsMenuExtra"), std::move(nibName),
                     QStringLiteral("About")),
      delegate_(std::move(delegate)) {}

QColor TalvorPrefsMenuExtra::linkColor() {
    return QColor::fromRgbF(0.0f, 70.0f / 255.0f, 1.0f, 1.0f);
}

void TalvorPrefsMenuExtra::readPrefs() {
    PreferenceDomain::synchronize(kSyncFailed);
    // Any non-zero value means "out of the taskbar"; kept as 0 or 1 so a click always flips it.
    flag_ = PreferenceDomain::readInteger(keys::AppDockIconFlag, 0) != 0 ? 1 : 0;
    if (dockIcon_) {
        dockIcon_->setChecked(flag_ != 0);
    }
}

void TalvorPrefsMenuExtra::writePrefs() {
    PreferenceDomain::writeInteger(keys::AppDockIconFlag, flag_);
    PreferenceDomain::synchronize(kSyncFailed);
}

void TalvorPrefsMenuExtra::displayVersionInfo() {
    const std::optional<QString> title = PaneLinks::versionTitle();
    if (!title) {
        return;
    }
    if (versionField_) {
        versionField_->setText(*title);
    }
    // The field under the name already says which version: the link opens what it brought.
    if (versionButton_) {
        versionButton_->setText(tr("Release Notes"));
    }
}

void TalvorPrefsMenuExtra::HideShowDockIcon() {
    flag_ = 1 - flag_;
    if (dockIcon_) {
        dockIcon_->setChecked(flag_ != 0);
    }
    writePrefs();
    delegate_.postDistributed(keys::TalvorASMPrefsUdpateNotification);
    delegate_.call(delegate_.appDockIcon);
}

void TalvorPrefsMenuExtra::helpBtnClicked() {
    delegate_.openManual(helpPage());
}

void TalvorPrefsMenuExtra::OnVersionNoClicked() {
    delegate_.open(PaneLinks::changeLogPage());
}

void TalvorPrefsMenuExtra::OnLarkSpindleClicked() {
    delegate_.open(PaneLinks::homePage());
}

std::unique_ptr<QWidget> TalvorPrefsMenuExtra::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);

    auto* name = new QLabel(QStringLiteral("Talvor Pro"), view.get());
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.5);
    name->setFont(bold);
    layout->addWidget(name);

    versionField_ = new QLabel(view.get());
    versionField_->setObjectName(QStringLiteral("versionField"));
    layout->addWidget(versionField_);

    dockIcon_ = new QCheckBox(tr("Hide Talvor from the taskbar"), view.get());
    dockIcon_->setObjectName(QStringLiteral("dockIcon"));
    // The flag, not the box, decides: the action sets the box from the flipped flag.
    connect(dockIcon_, &QCheckBox::clicked, this, [this] { HideShowDockIcon(); });
    layout->addWidget(dockIcon_);
    layout->addStretch(1);

    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *view, [this] { OnVersionNoClicked(); }, [this] { helpBtnClicked(); });
    versionButton_ = links.versionButton;
    helpButton_ = links.helpButton;
    companyButton_ = new QPushButton(QStringLiteral("larkspindle.com"), view.get());
    companyButton_->setObjectName(QStringLiteral("companyButton"));
    connect(companyButton_, &QPushButton::clicked, this, [this] { OnLarkSpindleClicked(); });
    links.layout->insertWidget(1, companyButton_);
    layout->addLayout(links.layout);

    displayVersionInfo();
    readPrefs();
    for (QWidget* w : {static_cast<QWidget*>(versionField_.data()),
                       static_cast<QWidget*>(companyButton_.data())}) {
        QPalette palette = w->palette();
        palette.setColor(QPalette::WindowText, linkColor());
        palette.setColor(QPalette::ButtonText, linkColor());
        w->setPalette(palette);
    }
    view->resize(480, 360);
    return view;
}

}  // namespace talvor
