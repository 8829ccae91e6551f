#include "TalvorMenuViewController.h"

#include "FormatPaneParts.h"
#include "PrefsKeys.h"
#include "foundation/FoundationKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorMenuItemFlags.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Log.h"
#include "platform/WindowPlacement.h"
#include "services/Manual.h"
#include "widgets/FontTextField.h"
#include "widgets/TalvorCustomDatePanel.h"

#include <QAbstractButton>
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
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace talvor {
namespace {

TalvorTimeSettings& timeSettings() {
    return TalvorTimeSettings::sharedInstance();
}

const QString kLocFormatIndex = QStringLiteral("LocFormatIndex");
const char* const kLocations =
    QT_TRANSLATE_NOOP("talvor::TalvorMenuViewController", "Location lines");
const char* const kNetwork = QT_TRANSLATE_NOOP("talvor::TalvorMenuViewController", "Network");
const char* const kCells = QT_TRANSLATE_NOOP("talvor::TalvorMenuViewController", "Menu items");

PaneBinding timeSetting(bool TalvorTimeSettings::*field) {
    return PaneBinding::member<TalvorTimeSettings, bool>(
        &TalvorTimeSettings::sharedInstance, field,
        [](TalvorTimeSettings& settings) { settings.writePrefsAndSync(); });
}

void storeFlagWord() {
    storeTalvorMenuItemFlags();
    timeSettings().writePrefsAndSync();
}

// One bit of the flag word.
PaneBinding flagBit(int bit) {
    const quint32 mask = 1u << bit;
    return {[mask] { return QVariant((TalvorMenuItemFlags & mask) != 0); },
            [mask](const QVariant& on) {
                TalvorMenuItemFlags =
                    on.toBool() ? (TalvorMenuItemFlags | mask) : (TalvorMenuItemFlags & ~mask);
                storeFlagWord();
            }};
}

// The layout pop-up's item when the word's code is one it does not know: "LocFormatIndex"
// when in range, else the item count minus 3.
int savedLocationOrderItem() {
    const auto count = static_cast<qint32>(TalvorMenuViewController::kLocationOrderCodes.size());
    const qint32 index = PreferenceDomain::readInteger(kLocFormatIndex, -1);
    return index >= 0 && index < count ? index : count - 3;
}

// Bits 4-7 of the flag word, by layout pop-up item.
PaneBinding locationOrder() {
    return {[] {
                // The layout lives in the word; "LocFormatIndex" only stands in for a code the
                // pop-up does not know, so a reopened pane shows what the menu does.
                return QVariant(TalvorMenuViewController::locationOrderItem(TalvorMenuItemFlags)
                                    .value_or(savedLocationOrderItem()));
            },
            [](const QVariant& item) {
                const int i = item.toInt();
                const auto& codes = TalvorMenuViewController::kLocationOrderCodes;
                if (i < 0 || i >= static_cast<int>(codes.size())) {
                    return;
                }
                TalvorMenuItemFlags =
                    (TalvorMenuItemFlags & ~TalvorMenuViewController::kLocationOrderMask) |
                    codes[static_cast<std::size_t>(i)];
                storeFlagWord();
            }};
}

PaneCall updateMenu(qint32 code) {
    return PaneRequest::UpdateMenu{code};
}

}  // namespace

TalvorMenuViewController::TalvorMenuViewController(QString nibName, TalvorMenuDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorMenuViewController"), std::move(nibName),
                     QStringLiteral("Menu Items")),
      delegate_(std::move(delegate)),
      table_(staticMetaObject.className(), makeRows(),
             {[] { timeSettings().writePrefsAndSync(); },
              [](const QString& name) {
                  platform::DistributedNotificationCenter::defaultCenter().post(name);
              },
              [this](const PaneCall& call) { perform(call); }, [this] { LoadMenuBarOptions(); }}) {}

TalvorMenuViewController::~TalvorMenuViewController() = default;

std::vector<PaneRow> TalvorMenuViewController::makeRows() {
    using K = PaneRow::Kind;
    const PaneEffects flagWord{.store = true,
                               .post = keys::TalvorSettingsUpdatedNotification,
                               .call = updateMenu(WorldClocks)};
    // A box of the time settings: stored at once, then the menu group rebuilt.
    const auto box = [](const char* id, const char* label, bool TalvorTimeSettings::*setting,
                        std::optional<qint32> group, const char* section) {
        return PaneRow{
            .id = QString::fromLatin1(id),
            .kind = K::Check,
            .label = label,
            .binding = timeSetting(setting),
            .defaultValue = false,
            .effects = {.store = true,
                        .call = group ? std::optional(updateMenu(*group)) : std::nullopt},
            .section = section};
    };
    const auto openURL = [](const QString& path) {
        return PaneCall{PaneRequest::OpenURL{page(path)}};
    };
    std::vector<PaneRow> rows = {
        {.id = QStringLiteral("format"),
         .kind = K::Choice,
         .label = QT_TR_NOOP("Layout:"),
         .binding = locationOrder(),
         .effects = flagWord,
         .section = kLocations,
         // What the line shows, in its order; the note is the location's own note.
         .choices = {QT_TR_NOOP("Name"), QT_TR_NOOP("Name, Note"), QT_TR_NOOP("Time, Name"),
                     QT_TR_NOOP("Time, Name, Note"), QT_TR_NOOP("Name, Time"),
                     QT_TR_NOOP("Name, Time, Note")}},
        box("dropShadowMenuItem", QT_TR_NOOP("Drop shadow"),
            &TalvorTimeSettings::locationHasDropShadow, std::nullopt, kLocations),
        box("showLocation", QT_TR_NOOP("Show location names"),
            &TalvorTimeSettings::showLoctionNames, WorldClocks, kLocations),
        box("hideCountryName", QT_TR_NOOP("Hide country name"),
            &TalvorTimeSettings::hideCountryInMenuItems, WorldClocks, kLocations),
        {.id = QStringLiteral("locationTimeZoneSetup"),
         .kind = K::Button,
         .label = QT_TR_NOOP("Edit Locations…"),
         .effects = {.call = PaneCall{PaneRequest::LocationTimeZoneSetup{}}},
         .section = kLocations},
        box("showIP", QT_TR_NOOP("Show external IP address"), &TalvorTimeSettings::showIP,
            ExternalIP, kNetwork),
        box("showInternalIP", QT_TR_NOOP("Show internal IP address"),
            &TalvorTimeSettings::showInternalIP, InternalIP, kNetwork),
        box("showIPV4IP", QT_TR_NOOP("Show IPv4 addresses"), &TalvorTimeSettings::showIPV4IP,
            IPv4Lines, kNetwork),
        box("showIPV6IP", QT_TR_NOOP("Show IPv6 addresses"), &TalvorTimeSettings::showIPV6IP,
            IPv6Lines, kNetwork),
        box("showOnlineInfo", QT_TR_NOOP("Show online information"),
            &TalvorTimeSettings::showOnlineInfo, WorldClocks, kNetwork),
        // It tells the menu bar to look again; kept, so that it shows what the user chose.
        {.id = QStringLiteral("showNetworkIP"),
         .kind = K::Check,
         .label = QT_TR_NOOP("Network IP"),
         .binding = PaneBinding::preferenceKey(QStringLiteral("showNetworkIP")),
         .defaultValue = false,
         .effects = {.store = true, .post = keys::TalvorMenuBarPrefsChangeNotification},
         .section = kNetwork},
    };
    const char* const cellTitles[] = {QT_TR_NOOP("Option 3"),  QT_TR_NOOP("Option 11"),
                                      QT_TR_NOOP("Option 12"), QT_TR_NOOP("Option 13"),
                                      QT_TR_NOOP("Option 14"), QT_TR_NOOP("Option 15")};
    static_assert(std::size(cellTitles) == kCellTags.size());
    for (std::size_t i = 0; i < kCellTags.size(); ++i) {
        rows.push_back({.id = QStringLiteral("menuItem%1").arg(kCellTags[i]),
                        .kind = K::Check,
                        .label = cellTitles[i],
                        .binding = flagBit(kCellTags[i]),
                        .defaultValue = false,
                        .effects = flagWord,
                        .section = kCells});
    }
    // The foot: the version on the left, the others on the right.
    rows.push_back({.id = QStringLiteral("btnHelpVersionNo"),
                    .kind = K::Button,
                    .label = QT_TR_NOOP("Version"),
                    .effects = {.call = openURL(QStringLiteral("/product/talvor/#changelog"))}});
    rows.push_back({.id = QStringLiteral("resetToDefaults"),
                    .kind = K::Button,
                    .label = QT_TR_NOOP("Reset to Defaults"),
                    .effects = {.store = true, .reload = true},
                    .action = [] {
                        platform::log(QStringLiteral("resetToDefaults for TalvorTimeSettings"));
                        // The menu items' own defaults; the time item's reset would change
                        // the clock instead.
                        timeSettings().resetMenuItemsToDefaults();
                    }});
    // The manual's section, opened through the delegate; with no manual installed the
    // button only says so in the log.
    const std::optional<QUrl> manual = Manual::url(Manual::Section::MenuItems);
    PaneRow help{.id = QStringLiteral("helpBtn"), .kind = K::Button, .label = QT_TR_NOOP("?")};
    if (manual) {
        help.effects.call = PaneCall{PaneRequest::OpenURL{*manual}};
    } else {
        help.action = [] { Manual::open(Manual::Section::MenuItems, [](const QUrl&) {}); };
    }
    rows.push_back(std::move(help));
    return rows;
}

std::optional<int> TalvorMenuViewController::locationOrderItem(quint32 word) {
    const quint32 code = word & kLocationOrderMask;
    for (std::size_t i = 0; i < kLocationOrderCodes.size(); ++i) {
        if (kLocationOrderCodes[i] == code) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

void TalvorMenuViewController::buildFormatChooser(QGroupBox& locations) {
    auto* grid = static_cast<QGridLayout*>(locations.layout());
    timeLocFormat_ = new QComboBox(&locations);
    timeLocFormat_->setObjectName(QStringLiteral("timeLocFormat"));
    TimeLocFormatStr_ = std::make_unique<FormatPopUp>(FormatList::Kind::Time, timeLocFormat_);
    connect(timeLocFormat_, &QComboBox::activated, this, &TalvorMenuViewController::setTimeFormat);
    auto* custom = new QPushButton(tr("Custom…"), &locations);
    custom->setObjectName(QStringLiteral("chooseCustomDate"));
    connect(custom, &QPushButton::clicked, this, &TalvorMenuViewController::chooseCustomDate);
    auto* remove = new QPushButton(tr("Delete"), &locations);
    remove->setObjectName(QStringLiteral("deleteFormat"));
    connect(remove, &QPushButton::clicked, this,
            &TalvorMenuViewController::actDeleteCustomTimeToMenu);
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(timeLocFormat_, 1);
    formatRow->addWidget(custom);
    formatRow->addWidget(remove);
    grid->addWidget(new QLabel(tr("Time format:"), &locations), 0, 0);
    grid->addLayout(formatRow, 0, 1, 1, 2);
}

void TalvorMenuViewController::buildFontAndColour(QGroupBox& locations) {
    auto* grid = static_cast<QGridLayout*>(locations.layout());
    fontText_ = new FontTextField(&locations);
    fontText_->setObjectName(QStringLiteral("fontText"));
    fontText_->setReadOnly(true);
    fontText_->delegateChangeFont = [this](QObject* sender) {
        if (auto* panel = qobject_cast<QFontDialog*>(sender)) {
            changeFont(panel->currentFont(), panel);
        }
    };
    auto* fontButton = new QPushButton(tr("Font…"), &locations);
    fontButton->setObjectName(QStringLiteral("setFont"));
    connect(fontButton, &QPushButton::clicked, this, [this] { setFont(); });
    grid->addWidget(new QLabel(tr("Font:"), &locations), 1, 0);
    grid->addWidget(fontText_, 1, 1);
    grid->addWidget(fontButton, 1, 2);

    menuColor_ = new QPushButton(&locations);
    menuColor_->setObjectName(QStringLiteral("menuColor"));
    menuColor_->setFixedSize(44, 22);
    connect(menuColor_, &QPushButton::clicked, this, &TalvorMenuViewController::setColor);
    grid->addWidget(new QLabel(tr("Colour:"), &locations), 2, 0);
    grid->addWidget(menuColor_, 2, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
}

void TalvorMenuViewController::buildComposer(QWidget& view, QBoxLayout& root) {
    const platform::Clock& clock = platform::Clock::shared();
    FormatComposerParts composer =
        buildFormatComposer(view, tr("Compose a location time format"),
                            timeTokenSources(clock.now(), clock.currentZone()), &renderNow);
    root.addWidget(composer.group);
    customTimeTokeField_ = composer.field;
    customTimePreview_ = composer.preview;
    addToTimeMenu_ = composer.add;
    connect(customTimeTokeField_, &FormatTokenField::objectsChanged, this,
            &TalvorMenuViewController::updateCustomTimePreview);
    connect(addToTimeMenu_, &QPushButton::clicked, this,
            &TalvorMenuViewController::actAddCustomTimeToMenu);
}

// The external IP line's page, under the boxes that show the IP lines.
void TalvorMenuViewController::buildEchoField(QWidget& view, QBoxLayout& root) {
    QGroupBox* network = table_.section(view, root, kNetwork);
    auto* networkGrid = static_cast<QGridLayout*>(network->layout());
    const int echoLine = networkGrid->rowCount();
    auto* echoLabel = new QLabel(tr("IP-echo address:"), network);
    ipEchoURL_ = new QLineEdit(network);
    ipEchoURL_->setObjectName(QStringLiteral("ipEchoURL"));
    ipEchoURL_->setPlaceholderText(tr("https://… a page that answers with your address"));
    echoLabel->setBuddy(ipEchoURL_);
    networkGrid->addWidget(echoLabel, echoLine, 0);
    networkGrid->addWidget(ipEchoURL_, echoLine, 1);
    connect(ipEchoURL_, &QLineEdit::editingFinished, this, &TalvorMenuViewController::setIPEchoURL);
}

void TalvorMenuViewController::gatherMenuCells(QWidget& view) {
    menuItems_ = new QButtonGroup(&view);
    menuItems_->setObjectName(QStringLiteral("menuItems"));
    menuItems_->setExclusive(false);
    for (int tag : kCellTags) {
        if (auto* cell = qobject_cast<QAbstractButton*>(
                table_.control(QStringLiteral("menuItem%1").arg(tag)))) {
            menuItems_->addButton(cell, tag);
        }
    }
    // The word's cells keep their bits, but nothing in the time menu reads those bits and
    // they have no agreed titles: cells named "Option 3" would only puzzle the user.
    if (QWidget* cell = table_.control(QStringLiteral("menuItem%1").arg(kCellTags.front()))) {
        if (QWidget* group = cell->parentWidget(); group != nullptr && group != &view) {
            group->setVisible(false);
        }
    }
}

void TalvorMenuViewController::finishFoot(QBoxLayout& root) {
    auto* version =
        qobject_cast<QAbstractButton*>(table_.control(QStringLiteral("btnHelpVersionNo")));
    if (version == nullptr) {
        root.addStretch(1);
        return;
    }
    version->setText(tr("Version %1").arg(QCoreApplication::applicationVersion()));
    // The foot sits at the bottom of the pane, as on every other pane.
    for (int i = 0; i < root.count(); ++i) {
        QLayout* row = root.itemAt(i)->layout();
        if (row != nullptr && row->indexOf(version) >= 0) {
            root.insertStretch(i, 1);
            break;
        }
    }
}

std::unique_ptr<QWidget> TalvorMenuViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    QWidget* v = view.get();
    auto* root = new QVBoxLayout(v);
    root->setContentsMargins(24, 20, 24, 20);  // as every pane

    // The choosers come first in their section; the table's rows follow them.
    QGroupBox* locations = table_.section(*v, *root, kLocations);
    buildFormatChooser(*locations);
    buildFontAndColour(*locations);

    table_.setColumns(kLocations, 3);
    table_.setColumns(kNetwork, 2);
    table_.setColumns(kCells, 3);
    table_.section(*v, *root, kNetwork);
    table_.section(*v, *root, kCells);
    // The composer of a location time format, after the sections.
    buildComposer(*v, *root);
    table_.build(*v, *root);
    buildEchoField(*v, *root);
    gatherMenuCells(*v);
    finishFoot(*root);

    TimeLocFormatStr_->LoadDateFormatMenu();
    LoadMenuBarOptions();
    doneLoadNib_ = true;
    return view;
}

void TalvorMenuViewController::LoadMenuBarOptions() {
    TalvorTimeSettings& settings = timeSettings();
    settings.loadPrefs();
    if (ipEchoURL_) {
        ipEchoURL_->setText(PreferenceDomain::readText(keys::IPEchoURL, QString()));
    }
    if (TimeLocFormatStr_) {
        TimeLocFormatStr_->select(settings.locationTimeFormat);
    }
    LocFont_ = settings.locationFont;
    showWellColor(settings.locationColor);
    updateFontInfo();
    loadTalvorMenuItemFlags();
    table_.load();
}

void TalvorMenuViewController::saveTalvorMenuItemFlags() {
    storeFlagWord();
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
    table_.apply(QStringLiteral("format"), item);
}

void TalvorMenuViewController::applyBox(const char* id, bool on) {
    if (doneLoadNib_) {
        table_.apply(QString::fromLatin1(id), on);
    }
}

void TalvorMenuViewController::setDropShadow(bool on) {
    applyBox("dropShadowMenuItem", on);
}

void TalvorMenuViewController::setHideCountry(bool on) {
    applyBox("hideCountryName", on);
}

void TalvorMenuViewController::showLocation(bool on) {
    applyBox("showLocation", on);
}

void TalvorMenuViewController::showIP(bool on) {
    applyBox("showIP", on);
}

void TalvorMenuViewController::showIPV4IP(bool on) {
    applyBox("showIPV4IP", on);
}

void TalvorMenuViewController::showIPV6IP(bool on) {
    applyBox("showIPV6IP", on);
}

void TalvorMenuViewController::showInternalIP(bool on) {
    applyBox("showInternalIP", on);
}

void TalvorMenuViewController::actShowOnlineInfo(bool on) {
    applyBox("showOnlineInfo", on);
}

void TalvorMenuViewController::setNetworkIP(bool on) {
    if (!doneLoadNib_) {
        platform::log(QStringLiteral("setNetworkIP pre nib load"));
        return;
    }
    applyBox("showNetworkIP", on);
}

void TalvorMenuViewController::setIPEchoURL() {
    const QString address = ipEchoURL_ ? ipEchoURL_->text().trimmed() : QString();
    if (address == PreferenceDomain::readText(keys::IPEchoURL, QString())) {
        return;
    }
    PreferenceDomain::writeText(keys::IPEchoURL, address);
    PreferenceDomain::synchronize(QStringLiteral("storing the IP-echo address failed"));
    perform(updateMenu(ExternalIP));
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
    platform::placeInFreeArea(*panel, parent);
    panel->show();
    // Escape is its only way out, and keys reach it only as the active window: nothing else
    // makes it so where no window manager runs.
    panel->raise();
    panel->activateWindow();
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
        // A border of its own makes the style paint the background flat: without one the
        // button's bevel lightens it (pure red showed as a pale red).
        menuColor_->setStyleSheet(
            QStringLiteral("QPushButton { background-color: %1; border: 1px solid palette(mid); "
                           "border-radius: 2px; }")
                .arg(color.name(QColor::HexArgb)));
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
    if (pattern.isEmpty()) {
        return;
    }
    if (TimeLocFormatStr_) {
        TimeLocFormatStr_->select(pattern);
    }
    storeLocationTimeFormat(pattern);
}

void TalvorMenuViewController::storeLocationTimeFormat(const QString& pattern) {
    timeSettings().locationTimeFormat = pattern;
    timeSettings().writePrefsAndSync();
    // The location lines show the time in this format; without a rebuild they keep the old one.
    askUpdateMenu(WorldClocks);
}

void TalvorMenuViewController::setTimeFormat(int index) {
    if (!TimeLocFormatStr_ || index < 0 || index >= TimeLocFormatStr_->list().entries().size() ||
        FormatList::isSeparator(TimeLocFormatStr_->list().entries().at(index))) {
        return;
    }
    storeLocationTimeFormat(TimeLocFormatStr_->selectedPattern(timeSettings().locationTimeFormat));
}

void TalvorMenuViewController::updateCustomTimePreview() {
    if (!customTimeTokeField_) {
        return;
    }
    timeString_ = composeTimePattern(customTimeTokeField_->objects());
    const platform::Clock& clock = platform::Clock::shared();
    const QString preview = previewTimePattern(timeString_, clock.now(), clock.currentZone());
    if (customTimePreview_) {
        customTimePreview_->setText(preview);
    }
    if (addToTimeMenu_) {
        addToTimeMenu_->setEnabled(!preview.isEmpty());
    }
}

void TalvorMenuViewController::actAddCustomTimeToMenu() {
    if (!TimeLocFormatStr_ || timeString_.isEmpty() || !customTimePreview_ ||
        customTimePreview_->text().isEmpty()) {
        return;
    }
    if (TimeLocFormatStr_->add(timeString_)) {
        storeLocationTimeFormat(
            TimeLocFormatStr_->selectedPattern(timeSettings().locationTimeFormat));
    }
}

void TalvorMenuViewController::actDeleteCustomTimeToMenu() {
    if (!TimeLocFormatStr_) {
        return;
    }
    TimeLocFormatStr_->deleteSelected([this](bool deleted) {
        if (deleted) {
            storeLocationTimeFormat(
                TimeLocFormatStr_->selectedPattern(timeSettings().locationTimeFormat));
        }
    });
}

void TalvorMenuViewController::locationTimeZoneSetup() {
    if (delegate_.locationTimeZoneSetup) {
        QWidget* view = viewIfLoaded();
        delegate_.locationTimeZoneSetup(view != nullptr ? view->window() : nullptr);
    }
}

void TalvorMenuViewController::resetToDefaults() {
    table_.apply(QStringLiteral("resetToDefaults"));
}

void TalvorMenuViewController::helpBtnClicked() {
    table_.apply(QStringLiteral("helpBtn"));
}

void TalvorMenuViewController::OnVersionNoClicked() {
    table_.apply(QStringLiteral("btnHelpVersionNo"));
}

QUrl TalvorMenuViewController::page(const QString& path) {
    return QUrl(QLatin1String(kHelpHost) + path);
}

void TalvorMenuViewController::openPage(const QUrl& url) const {
    if (delegate_.openURL) {
        delegate_.openURL(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

void TalvorMenuViewController::perform(const PaneCall& call) {
    std::visit(PaneCallHandlers{
                   [this](const PaneRequest::UpdateMenu& r) { askUpdateMenu(r.code); },
                   [this](const PaneRequest::OpenURL& r) { openPage(r.url); },
                   [this](const PaneRequest::LocationTimeZoneSetup&) { locationTimeZoneSetup(); },
                   // The menu items' rows make no other request.
                   [](const auto&) {}},
               call);
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
    const std::pair<const char*, bool*> boxes[] = {
        {"dropShadowMenuItem", &settings.locationHasDropShadow},
        {"hideCountryName", &settings.hideCountryInMenuItems},
        {"showLocation", &settings.showLoctionNames},
        {"showIP", &settings.showIP},
        {"showInternalIP", &settings.showInternalIP},
    };
    for (const auto& [id, value] : boxes) {
        const QVariant shown = table_.shown(QString::fromLatin1(id));
        if (shown.isValid()) {
            *value = shown.toBool();
        }
    }
    settings.writePrefsAndSync();
}

}  // namespace talvor
