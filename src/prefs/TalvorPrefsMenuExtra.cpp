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

const QString kDockIcon = QStringLiteral("dockIcon");

}  // namespace

TalvorPrefsMenuExtra::TalvorPrefsMenuExtra(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorPrefsMenuExtra"), std::move(nibName),
                     QStringLiteral("About")),
      delegate_(std::move(delegate)),
      table_(staticMetaObject.className(), makeRows(),
             {{},
              [this](const QString& name) { delegate_.postDistributed(name); },
              [this](const PaneCall& call) { perform(call); },
              [this] { table_.load(); }}) {}

std::vector<PaneRow> TalvorPrefsMenuExtra::makeRows() {
    // The flag, not the box, is the truth: the box shows it, and a click stores the flip.
    return {
        {.id = kDockIcon,
         .kind = PaneRow::Kind::Check,
         .label = QT_TRANSLATE_NOOP("talvor::TalvorPrefsMenuExtra", "Hide Talvor from the taskbar"),
         .binding = {[this] { return QVariant(flag_ != 0); },
                     [this](const QVariant& hidden) {
                         flag_ = hidden.toBool() ? 1 : 0;
                         writePrefs();
                     }},
         .defaultValue = false,
         .effects = {.store = true,
                     .post = keys::TalvorASMPrefsUdpateNotification,
                     .call = PaneCall{PaneRequest::AppDockIcon{}}},
         .place = PaneRow::Place::Column}};
}

void TalvorPrefsMenuExtra::perform(const PaneCall& call) {
    if (std::holds_alternative<PaneRequest::AppDockIcon>(call)) {
        delegate_.call(delegate_.appDockIcon);
    }
}

QCheckBox* TalvorPrefsMenuExtra::dockIconCheckbox() const {
    return qobject_cast<QCheckBox*>(table_.control(kDockIcon));
}

QColor TalvorPrefsMenuExtra::linkColor() {
    return QColor::fromRgbF(0.0f, 70.0f / 255.0f, 1.0f, 1.0f);
}

void TalvorPrefsMenuExtra::readPrefs() {
    PreferenceDomain::synchronize(kSyncFailed);
    // Any non-zero value means "out of the taskbar"; kept as 0 or 1 so a click always flips it.
    flag_ = PreferenceDomain::readInteger(keys::AppDockIconFlag, 0) != 0 ? 1 : 0;
    table_.load();
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
    table_.apply(kDockIcon, flag_ == 0);
    table_.load();
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

    table_.build(*view, *layout);
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
