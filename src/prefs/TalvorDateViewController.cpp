#include "TalvorDateViewController.h"

#include "FormatPaneParts.h"
#include "foundation/FoundationKeys.h"
#include "foundation/TalvorDateSettings.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "services/Manual.h"
#include "services/SystemEventNames.h"
#include "widgets/FontTextField.h"
#include "widgets/TalvorCustomDatePanel.h"

#include <QComboBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace talvor {
namespace {

TalvorDateSettings& dateSettings() {
    return TalvorDateSettings::sharedInstance();
}

const char* const kItem = QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Date item");
const char* const kMoon = QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Moon");
const char* const kFormat = QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Format");

QString defaultDateFormat() {
    return QStringLiteral("EEE dd MMM");
}

PaneCall updateMenuBarItems() {
    return PaneRequest::UpdateMenuBarItems{};
}

}  // namespace

TalvorDateViewController::TalvorDateViewController(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorDateViewController"), std::move(nibName),
                     QStringLiteral("Date Menu")),
      delegate_(std::move(delegate)),
      table_(staticMetaObject.className(), makeRows(),
             {[] { dateSettings().writePrefsAndSync(); },
              [this](const QString& name) { delegate_.postDistributed(name); },
              [this](const PaneCall& call) { perform(call); },
              [this] {
                  loadSettings();
                  clearComposer();
              }}) {}

TalvorDateViewController::~TalvorDateViewController() = default;

std::vector<PaneRow> TalvorDateViewController::makeRows() {
    using K = PaneRow::Kind;
    const auto box = [](const char* id, const char* label, bool TalvorDateSettings::*setting,
                        const char* section, std::optional<PaneCall> call = std::nullopt) {
        return PaneRow{.id = QString::fromLatin1(id),
                       .kind = K::Check,
                       .label = label,
                       .binding = PaneBinding::member<TalvorDateSettings, bool>(
                           &TalvorDateSettings::sharedInstance, setting,
                           [](TalvorDateSettings& s) { s.writePrefsAndSync(); }),
                       .defaultValue = false,
                       .effects = {.store = true, .call = std::move(call)},
                       .section = section};
    };
    return {
        box("enableMenuExtra", QT_TR_NOOP("Show the date item"), &TalvorDateSettings::showDateMenu,
            kItem, updateMenuBarItems()),
        box("showDate", QT_TR_NOOP("Show the date"), &TalvorDateSettings::showDateInMenu, kItem),
        box("dateDropShadow", QT_TR_NOOP("Drop shadow"), &TalvorDateSettings::hasDropShadow, kItem),
        // The items are made again: the time item stands closer to the date without a moon.
        box("showMoon", QT_TR_NOOP("Show the moon phase"), &TalvorDateSettings::showMoon, kMoon,
            updateMenuBarItems()),
        box("southernHemisphere", QT_TR_NOOP("Southern hemisphere"),
            &TalvorDateSettings::isSouthernHemisphere, kMoon),
        box("moonToolTip", QT_TR_NOOP("Moon tool tip"), &TalvorDateSettings::showMoonToolTip,
            kMoon),
        {.id = QStringLiteral("resetToDefaults"),
         .kind = K::Button,
         .label = QT_TR_NOOP("Reset to Defaults"),
         .effects = {.store = true, .call = updateMenuBarItems(), .reload = true},
         .action = [] { dateSettings().resetDateViewToDefaults(); }},
    };
}

std::unique_ptr<QWidget> TalvorDateViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    QWidget* v = view.get();
    auto* root = new QVBoxLayout(v);
    root->setContentsMargins(24, 20, 24, 20);

    table_.setColumns(kItem, 3);
    table_.setColumns(kMoon, 3);
    table_.section(*v, *root, kItem);
    table_.section(*v, *root, kMoon);
    QGroupBox* formats = table_.section(*v, *root, kFormat);
    auto* grid = static_cast<QGridLayout*>(formats->layout());
    format_ = new QComboBox(formats);
    format_->setObjectName(QStringLiteral("format"));
    popUp_ = std::make_unique<FormatPopUp>(FormatList::Kind::Date, format_);
    connect(format_, &QComboBox::activated, this, &TalvorDateViewController::selectDateFormat);
    auto* custom = new QPushButton(tr("Custom…"), formats);
    custom->setObjectName(QStringLiteral("chooseCustomDate"));
    connect(custom, &QPushButton::clicked, this, &TalvorDateViewController::chooseCustomDate);
    auto* remove = new QPushButton(tr("Delete"), formats);
    remove->setObjectName(QStringLiteral("deleteFormat"));
    connect(remove, &QPushButton::clicked, this,
            &TalvorDateViewController::actDeleteCustomDateFromMenu);
    grid->addWidget(new QLabel(tr("Format:"), formats), 0, 0);
    grid->addWidget(format_, 0, 1);
    grid->addWidget(custom, 0, 2);
    grid->addWidget(remove, 0, 3);

    fontText_ = new FontTextField(formats);
    fontText_->setObjectName(QStringLiteral("fontText"));
    fontText_->setReadOnly(true);
    fontText_->delegateChangeFont = [this](QObject* sender) {
        if (auto* panel = qobject_cast<QFontDialog*>(sender)) {
            changeFont(panel->currentFont(), panel);
        }
    };
    auto* fontButton = new QPushButton(tr("Font…"), formats);
    fontButton->setObjectName(QStringLiteral("setFont"));
    connect(fontButton, &QPushButton::clicked, this, [this] { setFont(); });
    grid->addWidget(new QLabel(tr("Font:"), formats), 1, 0);
    grid->addWidget(fontText_, 1, 1, 1, 2);
    grid->addWidget(fontButton, 1, 3);

    lightWell_ = makeColourWell(*formats, QStringLiteral("dateColor"));
    darkWell_ = makeColourWell(*formats, QStringLiteral("dateColorDMode"));
    connect(lightWell_, &QPushButton::clicked, this, [this] {
        openColourPanel(viewIfLoaded(), dateSettings().dateColor,
                        [this](const QColor& c) { changeColor(c, false); });
    });
    connect(darkWell_, &QPushButton::clicked, this, [this] {
        openColourPanel(viewIfLoaded(), dateSettings().dateColorDMode,
                        [this](const QColor& c) { changeColor(c, true); });
    });
    auto* wells = new QHBoxLayout;
    wells->addWidget(new QLabel(tr("Light:"), formats));
    wells->addWidget(lightWell_);
    wells->addSpacing(12);
    wells->addWidget(new QLabel(tr("Dark:"), formats));
    wells->addWidget(darkWell_);
    wells->addStretch(1);
    grid->addWidget(new QLabel(tr("Colour:"), formats), 2, 0);
    grid->addLayout(wells, 2, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    const platform::Clock& clock = platform::Clock::shared();
    FormatComposerParts composer = buildFormatComposer(
        *v, tr("Compose a format"), dateTokenSources(clock.now(), clock.currentZone()), &renderNow);
    root->addWidget(composer.group);
    field_ = composer.field;
    preview_ = composer.preview;
    add_ = composer.add;
    connect(field_, &FormatTokenField::objectsChanged, this,
            &TalvorDateViewController::updateCustomDatePreview);
    connect(add_, &QPushButton::clicked, this, &TalvorDateViewController::actAddCustomDateToMenu);

    table_.build(*v, *root);
    root->addStretch(1);
    PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *v, [this] { delegate_.open(PaneLinks::changeLogPage()); },
        [this] { delegate_.openManual(Manual::Section::DateMenu); });
    root->addLayout(links.layout);

    popUp_->LoadDateFormatMenu();
    loadSettings();
    themeWatch_ = platform::DistributedNotificationCenter::defaultCenter().addObserver(
        AppleInterfaceThemeChangedNotification, QVariant(),
        [this](const platform::Notification&) { darkModeChanged(); });
    showAppearance(appearanceIsDark());
    return view;
}

void TalvorDateViewController::loadSettings() {
    TalvorDateSettings& s = dateSettings();
    font_ = s.dateFont;
    if (lightWell_) {
        showWellColour(*lightWell_, s.dateColor);
    }
    if (darkWell_) {
        showWellColour(*darkWell_, s.dateColorDMode);
    }
    if (popUp_) {
        popUp_->select(s.dateFormat);
    }
    updateFontInfo();
    table_.load();
}

void TalvorDateViewController::clearComposer() {
    if (field_) {
        field_->clear();
    }
    composed_.clear();
    if (preview_) {
        preview_->clear();
    }
    if (add_) {
        add_->setEnabled(false);
    }
}

void TalvorDateViewController::updateFontInfo() {
    if (!fontText_) {
        return;
    }
    fontText_->setText(fontLabelText(font_));
    fontText_->setFont(font_);
    QPalette palette = fontText_->palette();
    palette.setColor(QPalette::Text, dateSettings().dateColor);
    fontText_->setPalette(palette);
    if (preview_) {
        preview_->setFont(font_);
    }
}

void TalvorDateViewController::showAppearance(bool dark) {
    dark_ = dark;
    if (lightWell_) {
        lightWell_->setEnabled(!dark);
    }
    if (darkWell_) {
        darkWell_->setEnabled(dark);
    }
    if (preview_) {
        QPalette palette = preview_->palette();
        palette.setColor(QPalette::WindowText,
                         dark ? dateSettings().dateColorDMode : dateSettings().dateColor);
        preview_->setPalette(palette);
    }
}

void TalvorDateViewController::darkModeChanged() {
    showAppearance(appearanceIsDark());
}

void TalvorDateViewController::selectDateFormat(int index) {
    if (!popUp_ || index < 0 || index >= popUp_->list().entries().size() ||
        FormatList::isSeparator(popUp_->list().entries().at(index))) {
        return;
    }
    dateSettings().dateFormat = popUp_->selectedPattern(defaultDateFormat());
    dateSettings().writePrefsAndSync();
}

void TalvorDateViewController::chooseCustomDate() {
    TalvorCustomDatePanel& panel = TalvorCustomDatePanel::sharedPanel();
    panel.setPatternLanguage(TalvorCustomDatePanel::PatternLanguage::Uts35);
    panel.setSetting(dateSettings().dateFormat);
    connect(&panel, &QDialog::finished, this, &TalvorDateViewController::chooseCustomDateDidEnd,
            Qt::SingleShotConnection);
    panel.beginSheet(viewIfLoaded() != nullptr ? viewIfLoaded()->window() : nullptr);
}

void TalvorDateViewController::chooseCustomDateDidEnd(int returnCode) {
    const QString pattern = TalvorCustomDatePanel::sharedPanel().format();
    if (returnCode == 0 || pattern.isEmpty()) {
        return;
    }
    dateSettings().dateFormat = pattern;
    if (popUp_) {
        popUp_->select(pattern);
    }
    dateSettings().writePrefsAndSync();
}

QFontDialog* TalvorDateViewController::setFont() {
    if (!fontText_) {
        return nullptr;
    }
    QFontDialog* panel = fontText_->openFontPanel();
    const QSignalBlocker quiet(panel);
    panel->setCurrentFont(font_);
    return panel;
}

void TalvorDateViewController::changeFont(const QFont& chosen, QFontDialog* panel) {
    QFont font = chosen;
    if (font.pointSizeF() > kMaxFontSize) {
        font.setPointSizeF(kMaxFontSize);
        if (panel != nullptr) {
            const QSignalBlocker quiet(panel);
            panel->setCurrentFont(font);
        }
    }
    font_ = font;
    dateSettings().dateFont = font;
    dateSettings().writePrefsAndSync();
    updateFontInfo();
}

void TalvorDateViewController::changeColor(const QColor& color, bool dark) {
    TalvorDateSettings& s = dateSettings();
    (dark ? s.dateColorDMode : s.dateColor) = color;
    if (QPushButton* well = dark ? darkWell_.data() : lightWell_.data()) {
        showWellColour(*well, color);
    }
    s.writePrefsAndSync();
    updateFontInfo();
    showAppearance(dark_);
}

void TalvorDateViewController::updateCustomDatePreview() {
    if (!field_) {
        return;
    }
    composed_ = composeDatePattern(field_->objects());
    const platform::Clock& clock = platform::Clock::shared();
    const QString preview = previewDatePattern(composed_, clock.now(), clock.currentZone());
    if (preview_) {
        preview_->setText(preview);
    }
    if (add_) {
        add_->setEnabled(!preview.isEmpty());
    }
}

void TalvorDateViewController::actAddCustomDateToMenu() {
    if (!popUp_ || composed_.isEmpty() || !preview_ || preview_->text().isEmpty()) {
        return;
    }
    if (popUp_->add(composed_)) {
        dateSettings().dateFormat = popUp_->selectedPattern(defaultDateFormat());
        dateSettings().writePrefsAndSync();
    }
}

void TalvorDateViewController::actDeleteCustomDateFromMenu() {
    if (!popUp_) {
        return;
    }
    popUp_->deleteSelected([this](bool deleted) {
        if (deleted) {
            dateSettings().dateFormat = popUp_->selectedPattern(defaultDateFormat());
            dateSettings().writePrefsAndSync();
        }
    });
}

void TalvorDateViewController::resetToDefaults() {
    table_.apply(QStringLiteral("resetToDefaults"));
}

void TalvorDateViewController::saveViewSettings() {
    if (viewIfLoaded() == nullptr) {
        return;
    }
    dateSettings().writePrefsAndSync();
}

void TalvorDateViewController::perform(const PaneCall& call) {
    if (std::holds_alternative<PaneRequest::UpdateMenuBarItems>(call)) {
        delegate_.call(delegate_.updateMenuBarItems);
    }
}

}  // namespace talvor
