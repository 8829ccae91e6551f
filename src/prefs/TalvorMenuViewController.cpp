#include "TalvorMenuViewController.h"

#include "foundation/FoundationKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorMenuItemFlags.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Log.h"
#include "services/Manual.h"
#include "widgets/FontTextField.h"
#include "widgets/TalvorCustomDatePanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace talvor {
namespace {

TalvorTimeSettings& timeSettings() {
    return TalvorTimeSettings::sharedInstance();
}

const QString kLocFormatIndex = QStringLiteral("LocFormatIndex");

const char* const kLayoutTitles[] = {
    "Name", "Name, Region", "Time, Name", "Time, Name, Region", "Name, Time", "Name, Time, Region"};
static_assert(std::size(kLayoutTitles) == TalvorMenuViewController::kLocationOrderCodes.size());

bool checked(const QPointer<QCheckBox>& box) {
    return box && box->isChecked();
}

}  // namespace

TalvorMenuViewController::TalvorMenuViewController(QString nibName, TalvorMenuDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorMenuViewController"), std::move(nibName),
                     QStringLiteral("Menu Items")),
      delegate_(std::move(delegate)) {}

TalvorMenuViewController::~TalvorMenuViewController() = default;

std::optional<int> TalvorMenuViewController::locationOrderItem(quint32 word) {
    const quint32 code = word & kLocationOrderMask;
    for (std::size_t i = 0; i < kLocationOrderCodes.size(); ++i) {
        if (kLocationOrderCodes[i] == code) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

std::unique_ptr<QWidget> TalvorMenuViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    QWidget* v = view.get();
    auto* root = new QVBoxLayout(v);

    auto* locations = new QGroupBox(QStringLiteral("Location lines"), v);
    auto* grid = new QGridLayout(locations);
    format_ = new QComboBox(locations);
    format_->setObjectName(QStringLiteral("format"));
    for (const char* title : kLayoutTitles) {
        format_->addItem(QString::fromLatin1(title));
    }
    connect(format_, &QComboBox::activated, this, &TalvorMenuViewController::setLocationOrder);
    grid->addWidget(new QLabel(QStringLiteral("Layout:"), locations), 0, 0);
    grid->addWidget(format_, 0, 1, 1, 2);

    locationTimeFormat_ = new QLabel(locations);
    locationTimeFormat_->setObjectName(QStringLiteral("timeLocFormat"));
    auto* custom = new QPushButton(QStringLiteral("Custom…"), locations);
    custom->setObjectName(QStringLiteral("chooseCustomDate"));
    connect(custom, &QPushButton::clicked, this, &TalvorMenuViewController::chooseCustomDate);
    grid->addWidget(new QLabel(QStringLiteral("Time format:"), locations), 1, 0);
    grid->addWidget(locationTimeFormat_, 1, 1);
    grid->addWidget(custom, 1, 2);

    fontText_ = new FontTextField(locations);
    fontText_->setObjectName(QStringLiteral("fontText"));
    fontText_->setReadOnly(true);
    fontText_->delegateChangeFont = [this](QObject* sender) {
        if (auto* panel = qobject_cast<QFontDialog*>(sender)) {
            changeFont(panel->currentFont(), panel);
        }
    };
    auto* fontButton = new QPushButton(QStringLiteral("Font…"), locations);
    fontButton->setObjectName(QStringLiteral("setFont"));
    connect(fontButton, &QPushButton::clicked, this, [this] { setFont(); });
    grid->addWidget(new QLabel(QStringLiteral("Font:"), locations), 2, 0);
    grid->addWidget(fontText_, 2, 1);
    grid->addWidget(fontButton, 2, 2);

    menuColor_ = new QPushButton(locations);
    menuColor_->setObjectName(QStringLiteral("menuColor"));
    menuColor_->setFixedSize(44, 22);
    connect(menuColor_, &QPushButton::clicked, this, &TalvorMenuViewController::setColor);
    grid->addWidget(new QLabel(QStringLiteral("Colour:"), locations), 3, 0);
    grid->addWidget(menuColor_, 3, 1, Qt::AlignLeft);

    auto* boxes = new QVBoxLayout();
    grid->addLayout(boxes, 4, 0, 1, 3);
    dropShadowMenuItem_ = addBox(locations, "dropShadowMenuItem", QStringLiteral("Drop shadow"),
                                 &TalvorMenuViewController::setDropShadow);
    showLocation_ = addBox(locations, "showLocation", QStringLiteral("Show location names"),
                           &TalvorMenuViewController::showLocation);
    hideCountryName_ = addBox(locations, "hideCountryName", QStringLiteral("Hide country name"),
                              &TalvorMenuViewController::setHideCountry);
    for (QCheckBox* box :
         {dropShadowMenuItem_.data(), showLocation_.data(), hideCountryName_.data()}) {
        boxes->addWidget(box);
    }
    auto* sheet = new QPushButton(QStringLiteral("Edit Locations…"), locations);
    sheet->setObjectName(QStringLiteral("locationTimeZoneSetup"));
    connect(sheet, &QPushButton::clicked, this, &TalvorMenuViewController::locationTimeZoneSetup);
    boxes->addWidget(sheet, 0, Qt::AlignLeft);
    root->addWidget(locations);

    auto* network = new QGroupBox(QStringLiteral("Network"), v);
    auto* net = new QVBoxLayout(network);
    showIP_ = addBox(network, "showIP", QStringLiteral("Show external IP address"),
                     &TalvorMenuViewController::showIP);
    showInternalIP_ = addBox(network, "showInternalIP", QStringLiteral("Show internal IP address"),
                             &TalvorMenuViewController::showInternalIP);
    showIPV4IP_ = addBox(network, "showIPV4IP", QStringLiteral("Show IPv4 addresses"),
                         &TalvorMenuViewController::showIPV4IP);
    showIPV6IP_ = addBox(network, "showIPV6IP", QStringLiteral("Show IPv6 addresses"),
                         &TalvorMenuViewController::showIPV6IP);
    showOnlineInfo_ = addBox(network, "showOnlineInfo", QStringLiteral("Show online information"),
                             &TalvorMenuViewController::actShowOnlineInfo);
    showNetworkIP_ = addBox(network, "showNetworkIP", QStringLiteral("Network IP"),
                            &TalvorMenuViewController::setNetworkIP);
    for (QCheckBox* box : {showIP_.data(), showInternalIP_.data(), showIPV4IP_.data(),
                           showIPV6IP_.data(), showOnlineInfo_.data(), showNetworkIP_.data()}) {
        net->addWidget(box);
    }
    root->addWidget(network);

    auto* cells = new QGroupBox(QStringLiteral("Menu items"), v);
    auto* cellGrid = new QGridLayout(cells);
    menuItems_ = new QButtonGroup(cells);
    menuItems_->setObjectName(QStringLiteral("menuItems"));
    menuItems_->setExclusive(false);
    for (std::size_t i = 0; i < kCellTags.size(); ++i) {
        auto* cell = new QCheckBox(QStringLiteral("Option %1").arg(kCellTags[i]), cells);
        cell->setObjectName(QStringLiteral("menuItem%1").arg(kCellTags[i]));
        menuItems_->addButton(cell, kCellTags[i]);
        cellGrid->addWidget(cell, static_cast<int>(i / 3), static_cast<int>(i % 3));
    }
    connect(menuItems_, &QButtonGroup::idClicked, this,
            [this](int tag) { toggleMenuItems(tag, menuItems_->button(tag)->isChecked()); });
    root->addWidget(cells);

    auto* bottom = new QHBoxLayout();
    auto* reset = new QPushButton(QStringLiteral("Reset to Defaults"), v);
    reset->setObjectName(QStringLiteral("resetToDefaults"));
    connect(reset, &QPushButton::clicked, this, &TalvorMenuViewController::resetToDefaults);
    auto* help = new QPushButton(QStringLiteral("?"), v);
    help->setObjectName(QStringLiteral("helpBtn"));
    connect(help, &QPushButton::clicked, this, &TalvorMenuViewController::helpBtnClicked);
    btnHelpVersionNo_ =
        new QPushButton(QStringLiteral("Version ") + QCoreApplication::applicationVersion(), v);
    btnHelpVersionNo_->setObjectName(QStringLiteral("btnHelpVersionNo"));
    btnHelpVersionNo_->setFlat(true);
    connect(btnHelpVersionNo_, &QPushButton::clicked, this,
            &TalvorMenuViewController::OnVersionNoClicked);
    bottom->addWidget(btnHelpVersionNo_);
    bottom->addStretch(1);
    bottom->addWidget(reset);
    bottom->addWidget(help);
    root->addLayout(bottom);
    root->addStretch(1);

    LoadMenuBarOptions();
    doneLoadNib_ = true;
    return view;
}

QCheckBox* TalvorMenuViewController::addBox(QWidget* parent, const char* name, const QString& title,
                                            void (TalvorMenuViewController::*action)(bool)) {
    auto* box = new QCheckBox(title, parent);
    box->setObjectName(QString::fromLatin1(name));
    // `clicked`, not `toggled`: loading the boxes must not write anything back.
    connect(box, &QCheckBox::clicked, this, action);
    return box;
}

void TalvorMenuViewController::LoadMenuBarOptions() {
    TalvorTimeSettings& settings = timeSettings();
    settings.loadPrefs();
    if (locationTimeFormat_) {
        locationTimeFormat_->setText(settings.locationTimeFormat);
    }
    LocFont_ = settings.locationFont;
    showWellColor(settings.locationColor);
    updateFontInfo();

    const std::pair<QPointer<QCheckBox>*, bool> boxes[] = {
        {&showOnlineInfo_, settings.showOnlineInfo},
        {&hideCountryName_, settings.hideCountryInMenuItems},
        {&showLocation_, settings.showLoctionNames},
        {&dropShadowMenuItem_, settings.locationHasDropShadow},
        {&showIP_, settings.showIP},
        {&showInternalIP_, settings.showInternalIP},
        {&showIPV4IP_, settings.showIPV4IP},
        {&showIPV6IP_, settings.showIPV6IP},
    };
    for (const auto& [box, on] : boxes) {
        if (*box) {
            (*box)->setChecked(on);
        }
    }

    const quint32 word = loadTalvorMenuItemFlags();
    if (format_) {
        // The layout lives in the word; "LocFormatIndex" only stands in for a code the
        // pop-up does not know, so a reopened pane shows what the menu does.
        format_->setCurrentIndex(locationOrderItem(word).value_or(savedLocationOrderItem()));
    }
    if (menuItems_) {
        for (int tag : kCellTags) {
            menuItems_->button(tag)->setChecked((word & (1u << tag)) != 0);
        }
    }
}

int TalvorMenuViewController::savedLocationOrderItem() const {
    const int count = format_->count();
    const qint32 index = PreferenceDomain::readInteger(kLocFormatIndex, -1);
    return index >= 0 && index < count ? index : count - 3;
}

void TalvorMenuViewController::saveTalvorMenuItemFlags() {
    storeTalvorMenuItemFlags();
    timeSettings().writePrefsAndSync();
    platform::DistributedNotificationCenter::defaultCenter().post(
        keys::TalvorSettingsUpdatedNotification);
    askUpdateMenu(WorldClocks);
}

void TalvorMenuViewController::toggleMenuItems(int tag, bool on) {
    const quint32 bit = 1u << (static_cast<unsigned>(tag) % 32u);
    TalvorMenuItemFlags = on ? (TalvorMenuItemFlags | bit) : (TalvorMenuItemFlags & ~bit);
    saveTalvorMenuItemFlags();
}

void TalvorMenuViewController::setLocationOrder(int item) {
    if (item < 0 || item >= static_cast<int>(kLocationOrderCodes.size())) {
        return;
    }
    TalvorMenuItemFlags = (TalvorMenuItemFlags & ~kLocationOrderMask) |
                          kLocationOrderCodes[static_cast<std::size_t>(item)];
    saveTalvorMenuItemFlags();
}

void TalvorMenuViewController::setDropShadow(bool on) {
    if (!doneLoadNib_) {
        return;
    }
    timeSettings().locationHasDropShadow = on;
    timeSettings().writePrefsAndSync();
}

void TalvorMenuViewController::setHideCountry(bool on) {
    if (!doneLoadNib_) {
        return;
    }
    timeSettings().hideCountryInMenuItems = on;
    timeSettings().writePrefsAndSync();
    askUpdateMenu(WorldClocks);
}

void TalvorMenuViewController::showLocation(bool on) {
    if (!doneLoadNib_) {
        return;
    }
    timeSettings().showLoctionNames = on;
    timeSettings().writePrefsAndSync();
    askUpdateMenu(WorldClocks);
}

void TalvorMenuViewController::showIP(bool on) {
    if (!doneLoadNib_) {
        return;
    }
    timeSettings().showIP = on;
    timeSettings().writePrefsAndSync();
    askUpdateMenu(ExternalIP);
}

void TalvorMenuViewController::showIPV4IP(bool on) {
    if (!doneLoadNib_) {
        return;
    }
    timeSettings().showIPV4IP = on;
    timeSettings().writePrefsAndSync();
    askUpdateMenu(IPv4Lines);
}

void TalvorMenuViewController::showIPV6IP(bool on) {
    if (!doneLoadNib_) {
        return;
    }
    timeSettings().showIPV6IP = on;
    timeSettings().writePrefsAndSync();
    askUpdateMenu(IPv6Lines);
}

void TalvorMenuViewController::showInternalIP(bool on) {
    if (!doneLoadNib_) {
        return;
    }
    timeSettings().showInternalIP = on;
    timeSettings().writePrefsAndSync();
    askUpdateMenu(InternalIP);
}

void TalvorMenuViewController::actShowOnlineInfo(bool on) {
    if (!doneLoadNib_) {
        return;
    }
    timeSettings().showOnlineInfo = on;
    timeSettings().writePrefsAndSync();
    askUpdateMenu(WorldClocks);
}

void TalvorMenuViewController::setNetworkIP(bool) {
    if (!doneLoadNib_) {
        platform::log(QStringLiteral("setNetworkIP pre nib load"));
        return;
    }
    timeSettings().writePrefsAndSync();
    platform::DistributedNotificationCenter::defaultCenter().post(
        keys::TalvorMenuBarPrefsChangeNotification);
}

QFontDialog* TalvorMenuViewController::setFont() {
    if (!fontText_) {
        return nullptr;
    }
    QFontDialog* panel = fontText_->openFontPanel();
    const QSignalBlocker quiet(panel);
    panel->setCurrentFont(LocFont_);
    return panel;
}

void TalvorMenuViewController::changeFont(const QFont& chosen, QFontDialog* panel) {
    QFont font = chosen;
    if (font.pointSizeF() > MaxLocFontSize) {
        font.setPointSizeF(MaxLocFontSize);
        if (panel != nullptr) {
            const QSignalBlocker quiet(panel);
            panel->setCurrentFont(font);
        }
    }
    LocFont_ = font;
    timeSettings().locationFont = font;
    timeSettings().writePrefsAndSync();
    updateFontInfo();
}

void TalvorMenuViewController::setColor() {
    QWidget* parent = viewIfLoaded();
    auto* panel = new QColorDialog(wellColor_, parent);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QColorDialog::ShowAlphaChannel);
    panel->setOption(QColorDialog::NoButtons);
    connect(panel, &QColorDialog::currentColorChanged, this,
            &TalvorMenuViewController::changeColor);
    panel->show();
}

void TalvorMenuViewController::changeColor(const QColor& color) {
    showWellColor(color);
    timeSettings().locationColor = color;
    timeSettings().writePrefsAndSync();
    updateFontInfo();
}

void TalvorMenuViewController::showWellColor(const QColor& color) {
    wellColor_ = color;
    if (menuColor_) {
        menuColor_->setStyleSheet(
            QStringLiteral("background-color: %1;").arg(color.name(QColor::HexArgb)));
    }
}

void TalvorMenuViewController::updateFontInfo() {
    if (!fontText_) {
        return;
    }
    fontText_->setText(QStringLiteral("%1 %2").arg(
        LocFont_.family(), QString::asprintf("%2.0f", LocFont_.pointSizeF())));
    fontText_->setFont(LocFont_);
    QPalette palette = fontText_->palette();
    palette.setColor(QPalette::Text, wellColor_);
    fontText_->setPalette(palette);
}

void TalvorMenuViewController::chooseCustomDate() {
    TalvorCustomDatePanel& panel = TalvorCustomDatePanel::sharedPanel();
    panel.setPatternLanguage(TalvorCustomDatePanel::PatternLanguage::Uts35);
    panel.setSetting(timeSettings().locationTimeFormat);
    connect(&panel, &QDialog::finished, this, &TalvorMenuViewController::chooseCustomLocTimeDidEnd,
            Qt::SingleShotConnection);
    panel.beginSheet(viewIfLoaded() != nullptr ? viewIfLoaded()->window() : nullptr);
}

void TalvorMenuViewController::chooseCustomLocTimeDidEnd(int returnCode) {
    if (returnCode == 0) {
        return;
    }
    const QString pattern = TalvorCustomDatePanel::sharedPanel().format();
    if (locationTimeFormat_) {
        locationTimeFormat_->setText(pattern);
    }
    timeSettings().locationTimeFormat = pattern;
    timeSettings().writePrefsAndSync();
    // The location lines show the time in this format; without a rebuild they keep the old one.
    askUpdateMenu(WorldClocks);
}

void TalvorMenuViewController::locationTimeZoneSetup() {
    if (delegate_.locationTimeZoneSetup) {
        QWidget* view = viewIfLoaded();
        delegate_.locationTimeZoneSetup(view != nullptr ? view->window() : nullptr);
    }
}

void TalvorMenuViewController::resetToDefaults() {
    platform::log(QStringLiteral("resetToDefaults for TalvorTimeSettings"));
    // The menu items' own defaults; the time item's reset would change the clock instead.
    timeSettings().resetMenuItemsToDefaults();
    timeSettings().writePrefsAndSync();
    LoadMenuBarOptions();
}

void TalvorMenuViewController::helpBtnClicked() {
    Manual::open(Manual::Section::MenuItems, delegate_.openURL);
}

void TalvorMenuViewController::OnVersionNoClicked() {
    openPage(QStringLiteral("/product/talvor/#changelog"));
}

void TalvorMenuViewController::openPage(const QString& path) const {
    const QUrl url(QLatin1String(kHelpHost) + path);
    if (delegate_.openURL) {
        delegate_.openURL(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

void TalvorMenuViewController::askUpdateMenu(qint32 code) const {
    if (delegate_.UpdateMenu) {
        delegate_.UpdateMenu(code);
    }
}

void TalvorMenuViewController::saveViewSettings() {
    if (viewIfLoaded() == nullptr) {
        return;
    }
    platform::debugLog(
        QStringLiteral("saveViewSettings: unloadView Time Menu items saving settings"));
    TalvorTimeSettings& settings = timeSettings();
    if (menuColor_) {
        settings.locationColor = wellColor_;
    }
    const std::pair<const QPointer<QCheckBox>*, bool*> boxes[] = {
        {&dropShadowMenuItem_, &settings.locationHasDropShadow},
        {&hideCountryName_, &settings.hideCountryInMenuItems},
        {&showLocation_, &settings.showLoctionNames},
        {&showIP_, &settings.showIP},
        {&showInternalIP_, &settings.showInternalIP},
    };
    for (const auto& [box, value] : boxes) {
        if (*box) {
            *value = checked(*box);
        }
    }
    settings.writePrefsAndSync();
}

}  // namespace talvor
