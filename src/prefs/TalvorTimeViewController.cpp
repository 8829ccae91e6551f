#include "TalvorTimeViewController.h"

#include "FormatPaneParts.h"
#include "foundation/FoundationKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "services/Manual.h"
#include "services/SystemEventNames.h"
#include "widgets/FontTextField.h"
#include "widgets/FormatTokenField.h"
#include "widgets/TalvorCustomDatePanel.h"
#include "world/TalvorMenuBarFlags.h"
#include "world/WorldKeys.h"

#include <QComboBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
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

const char* const kItem = QT_TRANSLATE_NOOP("talvor::TalvorTimeViewController", "Time item");
const char* const kFormat = QT_TRANSLATE_NOOP("talvor::TalvorTimeViewController", "Format");

QString defaultTimeFormat() {
    return QStringLiteral("hh:mm:ss a");
}

PaneCall updateMenuBarItems() {
    return PaneRequest::UpdateMenuBarItems{};
}

}  // namespace

TalvorTimeViewController::TalvorTimeViewController(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorTimeViewController"), std::move(nibName),
                     QStringLiteral("Time Menu")),
      delegate_(std::move(delegate)),
      table_(staticMetaObject.className(), makeRows(),
             {[] { timeSettings().writePrefsAndSync(); },
              [this](const QString& name) { delegate_.postDistributed(name); },
              [this](const PaneCall& call) { perform(call); }, [this] { reloadSettings(); }}) {}

TalvorTimeViewController::~TalvorTimeViewController() = default;

std::vector<PaneRow> TalvorTimeViewController::makeRows() {
    using K = PaneRow::Kind;
    // A flag box: its bit of the word, and the setting it stands for.
    const auto flag = [this](const char* id, const char* label, int tag,
                             const std::function<bool()>& read) {
        return PaneRow{.id = QString::fromLatin1(id),
                       .kind = K::Check,
                       .label = label,
                       .binding = {[read] { return QVariant(read()); },
                                   [this, tag](const QVariant& on) { showTime(tag, on.toBool()); }},
                       .defaultValue = false,
                       .effects = {.store = true},
                       .section = kItem};
    };
    std::vector<PaneRow> rows = {
        {.id = QStringLiteral("enableMenuExtra"),
         .kind = K::Check,
         .label = QT_TR_NOOP("Show the time item"),
         .binding = {[] { return QVariant(timeSettings().enableTimeMenu); },
                     [this](const QVariant& on) {
                         timeSettings().enableTimeMenu = on.toBool();
                         timeSettings().showTimeInMenu = on.toBool();
                         saveTalvorMenuBarFlags();
                     }},
         .defaultValue = true,
         .effects = {.store = true, .call = updateMenuBarItems()},
         .section = kItem},
        flag("showTime", QT_TR_NOOP("Show the time"), ShowTime,
             [] { return (TalvorMenuBarFlags & (1u << ShowTime)) != 0; }),
        flag("flashSeparator", QT_TR_NOOP("Flash the time separators"), FlashSeparator,
             [] { return timeSettings().flashSeparator; }),
        flag("analogClock", QT_TR_NOOP("Show an analog clock"), AnalogClock,
             [] { return timeSettings().showAnalogClockInMenu; }),
        {.id = QStringLiteral("timeDropShadow"),
         .kind = K::Check,
         .label = QT_TR_NOOP("Drop shadow"),
         .binding = {[] { return QVariant(timeSettings().timeHasDropShadow); },
                     [this](const QVariant& on) { setTimeDropShadow(on.toBool()); }},
         .defaultValue = false,
         .effects = {.store = true},
         .section = kItem},
        {.id = QStringLiteral("resetToDefaults"),
         .kind = K::Button,
         .label = QT_TR_NOOP("Reset to Defaults"),
         .effects = {.store = true,
                     .post = keys::TalvorMenuBarPrefsChangeNotification,
                     .call = updateMenuBarItems(),
                     .reload = true},
         .action = [] { timeSettings().resetTimeViewToDefaults(); }},
    };
    return rows;
}

std::unique_ptr<QWidget> TalvorTimeViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    QWidget* v = view.get();
    auto* root = new QVBoxLayout(v);
    root->setContentsMargins(24, 20, 24, 20);

    table_.setColumns(kItem, 2);
    QGroupBox* item = table_.section(*v, *root, kItem);
    QGroupBox* formats = table_.section(*v, *root, kFormat);
    auto* grid = static_cast<QGridLayout*>(formats->layout());
    format_ = new QComboBox(formats);
    format_->setObjectName(QStringLiteral("format"));
    popUp_ = std::make_unique<FormatPopUp>(FormatList::Kind::Time, format_);
    connect(format_, &QComboBox::activated, this, &TalvorTimeViewController::setTimeFormat);
    auto* custom = new QPushButton(tr("Custom…"), formats);
    custom->setObjectName(QStringLiteral("chooseCustomDate"));
    connect(custom, &QPushButton::clicked, this, &TalvorTimeViewController::chooseCustomDate);
    auto* remove = new QPushButton(tr("Delete"), formats);
    remove->setObjectName(QStringLiteral("deleteFormat"));
    connect(remove, &QPushButton::clicked, this,
            &TalvorTimeViewController::actDeleteCustomTimeToMenu);
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

    lightWell_ = makeColourWell(*formats, QStringLiteral("timeColor"));
    darkWell_ = makeColourWell(*formats, QStringLiteral("timeColorDMode"));
    connect(lightWell_, &QPushButton::clicked, this, [this] {
        openColourPanel(viewIfLoaded(), timeSettings().timeColor,
                        [this](const QColor& c) { changeColor(c, false); });
    });
    connect(darkWell_, &QPushButton::clicked, this, [this] {
        openColourPanel(viewIfLoaded(), timeSettings().timeColorDMode,
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

    separator_ = new QLineEdit(formats);
    separator_->setObjectName(QStringLiteral("separator"));
    separator_->setPlaceholderText(QStringLiteral(":"));
    separator_->setMaxLength(kMaxSeparatorLength);
    separator_->setToolTip(tr("Shown between the hours, minutes and seconds of the time item"));
    connect(separator_, &QLineEdit::textEdited, this, &TalvorTimeViewController::setSeparator);
    auto* separatorRow = new QHBoxLayout;
    separatorRow->addWidget(separator_);
    separatorRow->addStretch(1);
    grid->addWidget(new QLabel(tr("Separator:"), formats), 3, 0);
    grid->addLayout(separatorRow, 3, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    const platform::Clock& clock = platform::Clock::shared();
    FormatComposerParts composer = buildFormatComposer(
        *v, tr("Compose a format"), timeTokenSources(clock.now(), clock.currentZone()), &renderNow);
    root->addWidget(composer.group);
    field_ = composer.field;
    preview_ = composer.preview;
    add_ = composer.add;
    connect(field_, &FormatTokenField::objectsChanged, this,
            &TalvorTimeViewController::updateCustomTimePreview);
    connect(add_, &QPushButton::clicked, this, &TalvorTimeViewController::actAddCustomTimeToMenu);

    table_.build(*v, *root);
    root->addStretch(1);
    PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *v, [this] { delegate_.open(PaneLinks::changeLogPage()); },
        [this] { delegate_.openManual(Manual::Section::TimeMenu); });
    root->addLayout(links.layout);
    (void)item;

    popUp_->LoadDateFormatMenu();
    reloadSettings();
    themeWatch_ = platform::DistributedNotificationCenter::defaultCenter().addObserver(
        AppleInterfaceThemeChangedNotification, QVariant(),
        [this](const platform::Notification&) { darkModeChanged(); });
    showAppearance(appearanceIsDark());
    return view;
}

void TalvorTimeViewController::reloadSettings() {
    timeSettings().loadPrefs();
    updateUI();
}

void TalvorTimeViewController::updateUI() {
    TalvorTimeSettings& s = timeSettings();
    font_ = s.timeFont;
    if (lightWell_) {
        showWellColour(*lightWell_, s.timeColor);
    }
    if (darkWell_) {
        showWellColour(*darkWell_, s.timeColorDMode);
    }
    if (popUp_) {
        popUp_->select(s.timeFormat);
    }
    if (separator_) {
        separator_->setText(s.timeSeparator == QLatin1String(":") ? QString() : s.timeSeparator);
    }
    updateFontInfo();
    table_.load();
}

void TalvorTimeViewController::updateFontInfo() {
    if (!fontText_) {
        return;
    }
    fontText_->setText(fontLabelText(font_));
    fontText_->setFont(font_);
    QPalette palette = fontText_->palette();
    palette.setColor(QPalette::Text, timeSettings().timeColor);
    fontText_->setPalette(palette);
}

void TalvorTimeViewController::showAppearance(bool dark) {
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
                         dark ? timeSettings().timeColorDMode : timeSettings().timeColor);
        preview_->setPalette(palette);
    }
}

void TalvorTimeViewController::darkModeChanged() {
    showAppearance(appearanceIsDark());
}

void TalvorTimeViewController::saveTalvorMenuBarFlags() {
    PreferenceDomain::writeInteger(keys::MenuBarOptBits, static_cast<qint32>(TalvorMenuBarFlags));
    timeSettings().writePrefsAndSync();
}

void TalvorTimeViewController::enableMenuExtra(bool on) {
    table_.apply(QStringLiteral("enableMenuExtra"), on);
}

void TalvorTimeViewController::showTime(int tag, bool on) {
    const quint32 bit = 1u << (static_cast<unsigned>(tag) % 32u);
    TalvorMenuBarFlags = on ? (TalvorMenuBarFlags | bit) : (TalvorMenuBarFlags & ~bit);
    TalvorTimeSettings& s = timeSettings();
    switch (tag) {
        case ShowTime:
            s.showTimeInMenu = on;
            break;
        case FlashSeparator:
            s.flashSeparator = on;
            break;
        case AnalogClock:
            s.showAnalogClockInMenu = on;
            break;
        default:
            break;
    }
    saveTalvorMenuBarFlags();
}

void TalvorTimeViewController::setSeparator(const QString& text) {
    // An empty field is the usual colon, which is what it shows as its placeholder.
    timeSettings().timeSeparator = text.isEmpty() ? QStringLiteral(":") : text;
    timeSettings().writePrefsAndSync();
}

void TalvorTimeViewController::setTimeDropShadow(bool on) {
    timeSettings().timeHasDropShadow = on;
    saveTalvorMenuBarFlags();
}

void TalvorTimeViewController::setTimeFormat(int index) {
    if (!popUp_ || index < 0 || index >= popUp_->list().entries().size() ||
        FormatList::isSeparator(popUp_->list().entries().at(index))) {
        return;
    }
    timeSettings().timeFormat = popUp_->selectedPattern(defaultTimeFormat());
    saveTalvorMenuBarFlags();
}

void TalvorTimeViewController::chooseCustomDate() {
    TalvorCustomDatePanel& panel = TalvorCustomDatePanel::sharedPanel();
    panel.setPatternLanguage(TalvorCustomDatePanel::PatternLanguage::Uts35);
    // What the pop-up shows is what the sheet edits (the last item for a format not in it).
    panel.setSetting(popUp_ ? popUp_->selectedPattern(timeSettings().timeFormat)
                            : timeSettings().timeFormat);
    connect(&panel, &QDialog::finished, this, &TalvorTimeViewController::chooseCustomDateDidEnd,
            Qt::SingleShotConnection);
    panel.beginSheet(viewIfLoaded() != nullptr ? viewIfLoaded()->window() : nullptr);
}

void TalvorTimeViewController::chooseCustomDateDidEnd(int returnCode) {
    const QString pattern = TalvorCustomDatePanel::sharedPanel().format();
    if (returnCode == 0 || pattern.isEmpty()) {
        return;
    }
    timeSettings().timeFormat = pattern;
    if (popUp_) {
        popUp_->select(pattern);
    }
    saveTalvorMenuBarFlags();
}

QFontDialog* TalvorTimeViewController::setFont() {
    if (!fontText_) {
        return nullptr;
    }
    QFontDialog* panel = fontText_->openFontPanel();
    const QSignalBlocker quiet(panel);
    panel->setCurrentFont(font_);
    return panel;
}

void TalvorTimeViewController::changeFont(const QFont& chosen, QFontDialog* panel) {
    QFont font = chosen;
    if (font.pointSizeF() > kMaxFontSize) {
        font.setPointSizeF(kMaxFontSize);
        if (panel != nullptr) {
            const QSignalBlocker quiet(panel);
            panel->setCurrentFont(font);
        }
    }
    font_ = font;
    timeSettings().timeFont = font;
    updateFontInfo();
    saveTalvorMenuBarFlags();
}

void TalvorTimeViewController::changeColor(const QColor& color, bool dark) {
    TalvorTimeSettings& s = timeSettings();
    (dark ? s.timeColorDMode : s.timeColor) = color;
    if (QPushButton* well = dark ? darkWell_.data() : lightWell_.data()) {
        showWellColour(*well, color);
    }
    saveTalvorMenuBarFlags();
    updateFontInfo();
    showAppearance(dark_);
}

void TalvorTimeViewController::updateCustomTimePreview() {
    if (!field_) {
        return;
    }
    composed_ = composeTimePattern(field_->objects());
    const platform::Clock& clock = platform::Clock::shared();
    const QString preview = previewTimePattern(composed_, clock.now(), clock.currentZone());
    if (preview_) {
        preview_->setText(preview);
    }
    if (add_) {
        add_->setEnabled(!preview.isEmpty());
    }
}

void TalvorTimeViewController::actAddCustomTimeToMenu() {
    if (!popUp_ || composed_.isEmpty() || !preview_ || preview_->text().isEmpty()) {
        return;
    }
    if (popUp_->add(composed_)) {
        timeSettings().timeFormat = popUp_->selectedPattern(defaultTimeFormat());
        saveTalvorMenuBarFlags();
    }
}

void TalvorTimeViewController::actDeleteCustomTimeToMenu() {
    if (!popUp_) {
        return;
    }
    popUp_->deleteSelected([this](bool deleted) {
        if (deleted) {
            timeSettings().timeFormat = popUp_->selectedPattern(defaultTimeFormat());
            saveTalvorMenuBarFlags();
        }
    });
}

void TalvorTimeViewController::resetToDefaults() {
    table_.apply(QStringLiteral("resetToDefaults"));
}

void TalvorTimeViewController::saveViewSettings() {
    if (viewIfLoaded() == nullptr) {
        return;
    }
    timeSettings().writePrefsAndSync();
}

void TalvorTimeViewController::perform(const PaneCall& call) {
    if (std::holds_alternative<PaneRequest::UpdateMenuBarItems>(call)) {
        delegate_.call(delegate_.updateMenuBarItems);
    }
}

}  // namespace talvor
