#include "TalvorPrefsFloatingViewCtrl.h"

#include "FormatPaneParts.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorFilePaths.h"
#include "foundation/TalvorLoadFonts.h"
#include "foundation/TalvorProColor.h"
#include "platform/Log.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "services/HotKeyField.h"
#include "services/HotKeyKeys.h"
#include "services/Manual.h"
#include "services/TalvorHotKeys.h"
#include "services/TalvorKeyCombo.h"
#include "widgets/FontTextField.h"
#include "widgets/TalvorCustomDatePanel.h"
#include "world/WorldKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace talvor {
namespace {

// The time menu's group of the floating clocks' item.
constexpr qint32 kFloatingClocksGroup = 6;

// The check boxes of the packed fields, by control name.
struct CheckField {
    const char* name;
    const char* label;
    int FloatingOptions::*field;
};
const CheckField kCheckFields[] = {
    {"FloaterShowText", QT_TR_NOOP("Show the city"), &FloatingOptions::bShowText},
    {"FloaterIncCountry", QT_TR_NOOP("Include the country"), &FloatingOptions::bIncCountry},
    {"FloaterShowAMPM", QT_TR_NOOP("Show AM/PM"), &FloatingOptions::ShowAMPM},
    {"FloaterAnalogSecHand", QT_TR_NOOP("Second hand"), &FloatingOptions::ShowSeconds},
    {"FloaterShowDay", QT_TR_NOOP("Show the day"), &FloatingOptions::ShowDay},
    {"FloaterShowDate", QT_TR_NOOP("Show the date"), &FloatingOptions::ShowDate},
    {"FloaterShowDayForDigital", QT_TR_NOOP("Day (digital)"), &FloatingOptions::ShowDayForDigital},
    {"FloaterShowDateForDigital", QT_TR_NOOP("Date (digital)"),
     &FloatingOptions::ShowDateForDigital},
    {"FloaterShowYearForDigital", QT_TR_NOOP("Year (digital)"),
     &FloatingOptions::ShowYearForDigital},
    {"FloaterSeTimeFormat", QT_TR_NOOP("Time above the clock"),
     &FloatingOptions::ShowTimeWithClock},
    {"FloaterSetDateFormat", QT_TR_NOOP("Date above the clock"),
     &FloatingOptions::ShowDateWithClock},
    {"FloaterHotKeyEnabled", QT_TR_NOOP("Hot key shows and hides the clocks"),
     &FloatingOptions::hotKeyEnabled},
};

// Beside the packed fields, two boxes kept under keys of their own.
const CheckField kKeyedChecks[] = {
    {"FloaterLeftAlign", QT_TR_NOOP("Align left"), nullptr},
    {"FloaterShowTimeZone", QT_TR_NOOP("Show the time zone"), nullptr},
};

const char* const kTexts = QT_TRANSLATE_NOOP("talvor::TalvorPrefsFloatingViewCtrl", "Texts");

// The boxes of the Texts section. Each stores the whole pane (`saveFloaterOptions`), since
// most are fields of the one packed text.
std::vector<PaneRow> textRows() {
    std::vector<PaneRow> rows;
    const auto add = [&rows](const CheckField& f) {
        PaneRow row;
        row.id = QLatin1String(f.name);
        row.kind = PaneRow::Kind::Check;
        row.label = f.label;
        row.effects.store = true;
        row.section = kTexts;
        rows.push_back(std::move(row));
    };
    std::for_each(std::begin(kCheckFields), std::end(kCheckFields), add);
    std::for_each(std::begin(kKeyedChecks), std::end(kKeyedChecks), add);
    return rows;
}

void writeFont(const QFont& font) {
    TalvorLoadFonts::TalvorSaveFont(keys::FloaterFont, font);
}

QFont defaultFont() {
    QFont font(FloatingOptions::defaultFontFamily());
    font.setPointSizeF(FloatingOptions::kDefaultFontSize);
    return font;
}

QFont readFont() {
    return TalvorLoadFonts::TalvorLoadFont(keys::FloaterFont, FloatingOptions::kDefaultFontSize,
                                           FloatingOptions::defaultFontFamily())
        .value_or(defaultFont());
}

}  // namespace

TalvorPrefsFloatingViewCtrl::TalvorPrefsFloatingViewCtrl(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorPrefsFloatingViewCtrl"), std::move(nibName),
                     QStringLiteral("Floating Clocks")),
      locations(&TalvorFilePaths::TalvorLoadLocationFile),
      delegate_(std::move(delegate)),
      table_(staticMetaObject.className(), textRows(), {[this] { saveFloaterOptions(); }}) {}

bool TalvorPrefsFloatingViewCtrl::floatingHintShown() const {
    return floatingHint_ && !floatingHint_->isHidden();
}

void TalvorPrefsFloatingViewCtrl::updateFloatingHint() {
    QCheckBox* on = check(QStringLiteral("Floater"));
    if (!floatingHint_ || on == nullptr) {
        return;
    }
    bool anyFloats = false;
    if (on->isChecked() && locations) {
        const LocationTable table = locations().value_or(LocationTable());
        anyFloats = std::any_of(table.cbegin(), table.cend(), [](const QVariant& entry) {
            return LocationRecord::flag(LocationRecord::fields(entry), LocationRecord::kFloating);
        });
    }
    floatingHint_->setVisible(on->isChecked() && !anyFloats);
}

// A place may have been marked to float in the locations window since the pane was made.
void TalvorPrefsFloatingViewCtrl::viewDidShow() {
    updateFloatingHint();
}

TalvorPrefsFloatingViewCtrl::~TalvorPrefsFloatingViewCtrl() = default;

double TalvorPrefsFloatingViewCtrl::width() const {
    if (screenWidth) {
        return screenWidth();
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry().width() : 0.0;
}

QCheckBox* TalvorPrefsFloatingViewCtrl::check(const QString& name) const {
    const auto it = checks_.find(name);
    return it != checks_.end() ? it->second.data() : nullptr;
}

QComboBox* TalvorPrefsFloatingViewCtrl::popUp(const QString& name) const {
    const auto it = popUps_.find(name);
    return it != popUps_.end() ? it->second.data() : nullptr;
}

QSlider* TalvorPrefsFloatingViewCtrl::slider(const QString& name) const {
    const auto it = sliders_.find(name);
    return it != sliders_.end() ? it->second.data() : nullptr;
}

void TalvorPrefsFloatingViewCtrl::buildShowBox(QWidget& view, QBoxLayout& root) {
    auto* show = new QCheckBox(tr("Show floating clocks"), &view);
    show->setObjectName(QStringLiteral("Floater"));
    checks_[show->objectName()] = show;
    connect(show, &QCheckBox::clicked, this, [this] { actShowFloatingClock(); });
    root.addWidget(show);
    // The clocks show only the places marked to float, and a fresh home has none: without a
    // word the box would seem to do nothing.
    floatingHint_ = new QLabel(
        tr("No place floats yet, so no clock shows. Click \"Locations…\" below and tick the "
           "\"Floating\" box of a place: its clock then appears on the desktop."),
        &view);
    floatingHint_->setObjectName(QStringLiteral("floatingHint"));
    floatingHint_->setWordWrap(true);
    floatingHint_->setVisible(false);
    root.addWidget(floatingHint_);
}

void TalvorPrefsFloatingViewCtrl::buildClockType(QGroupBox& look) {
    auto* grid = static_cast<QGridLayout*>(look.layout());
    digital_ = new QRadioButton(tr("Digital"), &look);
    digital_->setObjectName(QStringLiteral("FloaterClockDigital"));
    analog_ = new QRadioButton(tr("Analog"), &look);
    analog_->setObjectName(QStringLiteral("FloaterClockAnalog"));
    for (QRadioButton* b : {digital_.data(), analog_.data()}) {
        connect(b, &QRadioButton::clicked, this, [this] { saveFloaterOptions(); });
    }
    auto* type = new QHBoxLayout;
    type->addWidget(analog_);
    type->addWidget(digital_);
    type->addStretch(1);
    grid->addWidget(new QLabel(tr("Type:"), &look), 0, 0);
    grid->addLayout(type, 0, 1);
}

void TalvorPrefsFloatingViewCtrl::buildLookPopUps(QGroupBox& look) {
    auto* grid = static_cast<QGridLayout*>(look.layout());
    const auto addPopUp = [&](const QString& name, const QString& label, const QStringList& items,
                              int row) {
        auto* box = new QComboBox(&look);
        box->setObjectName(name);
        box->addItems(items);
        connect(box, &QComboBox::activated, this, [this] { saveFloaterOptions(); });
        popUps_[name] = box;
        grid->addWidget(new QLabel(label, &look), row, 0);
        grid->addWidget(box, row, 1);
    };
    QStringList faces{tr("Country flags")};
    for (int i = 1; i <= FloatingOptions::kLastFace; ++i) {
        faces << tr("Face %1").arg(i);
    }
    addPopUp(QStringLiteral("FloatingClockFace"), tr("Face:"), faces, 1);
    QStringList columns;
    for (int i = 1; i <= FloatingOptions::kMaxColumns; ++i) {
        columns << QString::number(i);
    }
    addPopUp(QStringLiteral("FloaterColumns"), tr("Clocks a row:"), columns, 2);
    addPopUp(QStringLiteral("FloaterWinLayer"), tr("Window:"),
             {tr("On the desktop"), tr("Normal window"), tr("Above other windows")}, 3);
}

void TalvorPrefsFloatingViewCtrl::buildLookSliders(QGroupBox& look) {
    auto* grid = static_cast<QGridLayout*>(look.layout());
    const auto addSlider = [&](const QString& name, const QString& label, int low, int high,
                               int row) {
        auto* s = new QSlider(Qt::Horizontal, &look);
        s->setObjectName(name);
        s->setRange(low, high);
        connect(s, &QSlider::valueChanged, this, [this] {
            if (!loading_) {
                saveFloaterOptions();
            }
        });
        sliders_[name] = s;
        grid->addWidget(new QLabel(label, &look), row, 0);
        grid->addWidget(s, row, 1);
    };
    addSlider(QStringLiteral("FloaterClockSize"), tr("Size:"),
              static_cast<int>(FloatingOptions::kMinClockSize), 256, 4);
    addSlider(QStringLiteral("FloaterSpacing"), tr("Spacing:"), 0, 100, 5);
    // Percent: a window below a tenth is invisible.
    addSlider(QStringLiteral("FloaterTransparency"), tr("Opacity:"), 10, 100, 6);
}

void TalvorPrefsFloatingViewCtrl::buildTexts(QWidget& view, QBoxLayout& root) {
    table_.setColumns(kTexts, 2);
    table_.build(view, root);
    for (const PaneRow& row : table_.rows()) {
        checks_[row.id] = qobject_cast<QCheckBox*>(table_.control(row.id));
    }
}

// The shortcut that shows and hides the clocks, kept with the other shortcuts.
void TalvorPrefsFloatingViewCtrl::buildHotKeyRow(QWidget& view, QBoxLayout& root) {
    auto* hotKeyRow = new QHBoxLayout;
    hotKey_ = new HotKeyField(&view);
    hotKey_->setObjectName(QStringLiteral("FloaterHotKey"));
    auto* clearHotKey = new QPushButton(tr("Clear"), &view);
    clearHotKey->setObjectName(QStringLiteral("clearFloaterHotKey"));
    hotKey_->setClearButton(clearHotKey);
    connect(clearHotKey, &QPushButton::clicked, this, [this] { hotKey_->clear(); });
    hotKey_->setTarget(this, &TalvorPrefsFloatingViewCtrl::hotKeyChanged);
    hotKeyRow->addWidget(new QLabel(tr("Hot key:"), &view));
    hotKeyRow->addWidget(hotKey_);
    hotKeyRow->addWidget(clearHotKey);
    hotKeyRow->addStretch(1);
    root.addLayout(hotKeyRow);
}

void TalvorPrefsFloatingViewCtrl::buildFormatPopUps(QGroupBox& formats) {
    auto* formatGrid = static_cast<QGridLayout*>(formats.layout());
    auto* timeBox = new QComboBox(&formats);
    timeBox->setObjectName(QStringLiteral("timeFormatPopUp"));
    auto* dateBox = new QComboBox(&formats);
    dateBox->setObjectName(QStringLiteral("dateFormatPopUp"));
    timePopUp_ = std::make_unique<FormatPopUp>(FormatList::Kind::Time, timeBox);
    datePopUp_ = std::make_unique<FormatPopUp>(FormatList::Kind::Date, dateBox);
    connect(timeBox, &QComboBox::activated, this, &TalvorPrefsFloatingViewCtrl::setTimeFormat);
    connect(dateBox, &QComboBox::activated, this, &TalvorPrefsFloatingViewCtrl::setDateFormat);
    formatGrid->addWidget(new QLabel(tr("Time:"), &formats), 0, 0);
    formatGrid->addWidget(timeBox, 0, 1);
    formatGrid->addWidget(new QLabel(tr("Date:"), &formats), 1, 0);
    formatGrid->addWidget(dateBox, 1, 1);
    auto* custom = new QPushButton(tr("Custom…"), &formats);
    custom->setObjectName(QStringLiteral("chooseCustomDate"));
    connect(custom, &QPushButton::clicked, this, &TalvorPrefsFloatingViewCtrl::chooseCustomDate);
    formatGrid->addWidget(custom, 0, 2);
}

void TalvorPrefsFloatingViewCtrl::buildFontRow(QGroupBox& formats) {
    auto* formatGrid = static_cast<QGridLayout*>(formats.layout());
    auto* fontField = new FontTextField(&formats);
    fontField->setVisible(false);
    fontField->delegateChangeFont = [this](QObject* sender) {
        if (auto* panel = qobject_cast<QFontDialog*>(sender)) {
            changeFont(panel->currentFont());
        }
    };
    fontInfo_ = new QLabel(&formats);
    fontInfo_->setObjectName(QStringLiteral("FloaterFontInfo"));
    auto* fontButton = new QPushButton(tr("Font…"), &formats);
    fontButton->setObjectName(QStringLiteral("SetFont"));
    connect(fontButton, &QPushButton::clicked, this, [this, fontField] {
        QFontDialog* panel = fontField->openFontPanel();
        const QSignalBlocker quiet(panel);
        panel->setCurrentFont(font_);
    });
    formatGrid->addWidget(new QLabel(tr("Font:"), &formats), 2, 0);
    formatGrid->addWidget(fontInfo_, 2, 1);
    formatGrid->addWidget(fontButton, 2, 2);
}

void TalvorPrefsFloatingViewCtrl::buildColourWells(QGroupBox& formats) {
    auto* formatGrid = static_cast<QGridLayout*>(formats.layout());
    backgroundWell_ = makeColourWell(formats, QStringLiteral("FloaterBGColor"));
    textWell_ = makeColourWell(formats, QStringLiteral("FloaterTextColor"));
    connect(backgroundWell_, &QPushButton::clicked, this, [this] {
        openColourPanel(viewIfLoaded(), background_,
                        [this](const QColor& c) { changeColor(c, true); });
    });
    connect(textWell_, &QPushButton::clicked, this, [this] {
        openColourPanel(viewIfLoaded(), text_, [this](const QColor& c) { changeColor(c, false); });
    });
    auto* wells = new QHBoxLayout;
    wells->addWidget(new QLabel(tr("Background:"), &formats));
    wells->addWidget(backgroundWell_);
    wells->addSpacing(12);
    wells->addWidget(new QLabel(tr("Text:"), &formats));
    wells->addWidget(textWell_);
    wells->addStretch(1);
    formatGrid->addLayout(wells, 3, 0, 1, 3);
}

void TalvorPrefsFloatingViewCtrl::buildFoot(QWidget& view, QBoxLayout& root) {
    auto* locationsButton = new QPushButton(tr("Locations…"), &view);
    locationsButton->setObjectName(QStringLiteral("locationTimeZoneSetup"));
    connect(locationsButton, &QPushButton::clicked, this, [this] {
        if (delegate_.locationTimeZoneSetup) {
            delegate_.locationTimeZoneSetup(viewIfLoaded() ? viewIfLoaded()->window() : nullptr);
        }
    });
    root.addWidget(locationsButton, 0, Qt::AlignLeft);
    root.addStretch(1);
    PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        view, [this] { delegate_.open(PaneLinks::changeLogPage()); },
        [this] { delegate_.openManual(Manual::Section::FloatingClocks); });
    root.addLayout(links.layout);
}

std::unique_ptr<QWidget> TalvorPrefsFloatingViewCtrl::loadView() {
    auto v = std::make_unique<QWidget>();
    v->setObjectName(className());
    auto* root = new QVBoxLayout(v.get());
    root->setContentsMargins(24, 20, 24, 20);

    buildShowBox(*v, *root);
    auto* look = new QGroupBox(tr("Clocks"), v.get());
    new QGridLayout(look);
    buildClockType(*look);
    buildLookPopUps(*look);
    buildLookSliders(*look);
    root->addWidget(look);
    buildTexts(*v, *root);
    buildHotKeyRow(*v, *root);
    auto* formats = new QGroupBox(tr("Formats"), v.get());
    new QGridLayout(formats);
    buildFormatPopUps(*formats);
    buildFontRow(*formats);
    buildColourWells(*formats);
    root->addWidget(formats);
    buildFoot(*v, *root);

    timePopUp_->LoadDateFormatMenu();
    datePopUp_->LoadDateFormatMenu();
    LoadFloatingClockOptions();
    return v;
}

FloatingOptions TalvorPrefsFloatingViewCtrl::controlsOptions() {
    FloatingOptions o;
    o.floatingOn = check(QStringLiteral("Floater"))->isChecked() ? 1 : 0;
    o.iFloaterWinLayer = std::max(0, popUp(QStringLiteral("FloaterWinLayer"))->currentIndex());
    for (const CheckField& f : kCheckFields) {
        o.*f.field = check(QLatin1String(f.name))->isChecked() ? 1 : 0;
    }
    o.aDigital = digital_->isChecked() ? 1 : 0;
    o.iFloaterColumns = std::max(0, popUp(QStringLiteral("FloaterColumns"))->currentIndex()) + 1;
    o.faceType = FloatingOptions::faceCodeForItem(
        popUp(QStringLiteral("FloatingClockFace"))->currentIndex());
    o.fFloaterClockSize = static_cast<float>(slider(QStringLiteral("FloaterClockSize"))->value());
    QSlider* spacing = slider(QStringLiteral("FloaterSpacing"));
    const float limit =
        FloatingOptions::spacingLimit(width(), o.iFloaterColumns - 1, o.fFloaterClockSize);
    {
        const QSignalBlocker quiet(spacing);
        spacing->setMaximum(static_cast<int>(limit));
    }
    o.fFloaterSpacing = std::min(static_cast<float>(spacing->value()), limit);
    o.fFloaterTransparency =
        static_cast<float>(slider(QStringLiteral("FloaterTransparency"))->value()) / 100.0f;
    return o;
}

void TalvorPrefsFloatingViewCtrl::saveFloaterOptions() {
    if (loading_ || checks_.empty()) {
        return;
    }
    writeFont(font_);
    TalvorProColor::saveColorToDefaults(background_, keys::FloaterBGColor);
    TalvorProColor::saveColorToDefaults(text_, keys::FloaterTextColor);
    const FloatingOptions o = controlsOptions();
    const QString packed = o.format();
    PreferenceDomain::writeText(keys::FloatingStates, packed);
    const bool on = o.floatingOn != 0;
    PreferenceDomain::writeFlag(keys::Floater, on);
    PreferenceDomain::writeFlag(keys::FloaterState, on);
    PreferenceDomain::writeFlag(keys::FloaterHotKeyEnabled, o.hotKeyEnabled != 0);
    // The menu item's shortcut reads the flag where the shortcuts are kept.
    TalvorHotKeys& hotKeys = TalvorHotKeys::sharedInstance();
    if (hotKeys.hotKeyValues().value(keys::FloaterHotKeyEnabled).toBool() !=
        (o.hotKeyEnabled != 0)) {
        QVariantMap values = hotKeys.hotKeyValues();
        values.insert(keys::FloaterHotKeyEnabled, o.hotKeyEnabled != 0);
        hotKeys.setHotKeyValues(values);
        hotKeys.writePrefs();
    }
    PreferenceDomain::writeFlag(keys::FloaterLeftAlign,
                                check(QStringLiteral("FloaterLeftAlign"))->isChecked());
    PreferenceDomain::writeFlag(keys::FloaterShowTimeZone,
                                check(QStringLiteral("FloaterShowTimeZone"))->isChecked());
    enableByType();
    if (PreferenceDomain::synchronize(
            QStringLiteral("Floating clocks: the preferences could not be saved"))) {
        platform::debugLog(QStringLiteral("FC saved success"));
    }
    delegate_.postDistributed(keys::TalvorFloatingClockPrefsChangeNotification, packed);
    showFloating_ = o.floatingOn;
    if (on && delegate_.setShowFloating) {
        delegate_.setShowFloating(true);
    }
}

void TalvorPrefsFloatingViewCtrl::enableByType() {
    const bool isAnalog = analog_ && analog_->isChecked();
    slider(QStringLiteral("FloaterClockSize"))->setEnabled(isAnalog);
    popUp(QStringLiteral("FloatingClockFace"))->setEnabled(isAnalog);
    check(QStringLiteral("FloaterShowAMPM"))->setEnabled(isAnalog);
    check(QStringLiteral("FloaterAnalogSecHand"))->setEnabled(isAnalog);
    check(QStringLiteral("FloaterShowYearForDigital"))->setEnabled(!isAnalog);
    timePopUp_->popup()->setEnabled(check(QStringLiteral("FloaterSeTimeFormat"))->isChecked());
    datePopUp_->popup()->setEnabled(check(QStringLiteral("FloaterSetDateFormat"))->isChecked());
}

void TalvorPrefsFloatingViewCtrl::LoadFloatingClockOptions() {
    if (checks_.empty()) {
        return;
    }
    loading_ = true;
    PreferenceDomain::synchronize(
        QStringLiteral("Floating clocks: the preferences could not be read"));
    FloatingOptions o = FloatingOptions::fromText(CopyAnnotateString(keys::FloatingStates));
    o.normalise();
    showFloating_ = PreferenceDomain::readFlag(keys::Floater, false) ? 1 : 0;
    check(QStringLiteral("Floater"))->setChecked(showFloating_ != 0);
    for (const CheckField& f : kCheckFields) {
        check(QLatin1String(f.name))->setChecked(o.*f.field != 0);
    }
    check(QStringLiteral("FloaterLeftAlign"))
        ->setChecked(PreferenceDomain::readFlag(keys::FloaterLeftAlign, false));
    check(QStringLiteral("FloaterShowTimeZone"))
        ->setChecked(PreferenceDomain::readFlag(keys::FloaterShowTimeZone, false));
    QComboBox* columns = popUp(QStringLiteral("FloaterColumns"));
    int columnsIndex = o.iFloaterColumns - 1;
    if (columnsIndex < 0 || columnsIndex >= columns->count()) {
        columnsIndex = 0;
    }
    columns->setCurrentIndex(columnsIndex);
    popUp(QStringLiteral("FloatingClockFace"))
        ->setCurrentIndex(FloatingOptions::faceItemForCode(o.faceType));
    popUp(QStringLiteral("FloaterWinLayer"))->setCurrentIndex(o.iFloaterWinLayer);
    QSlider* size = slider(QStringLiteral("FloaterClockSize"));
    size->setValue(static_cast<int>(std::lround(o.fFloaterClockSize)));
    QSlider* spacing = slider(QStringLiteral("FloaterSpacing"));
    const float limit = FloatingOptions::spacingLimit(width(), columnsIndex, o.fFloaterClockSize);
    spacing->setMaximum(static_cast<int>(limit));
    spacing->setValue(static_cast<int>(std::lround(std::min(o.fFloaterSpacing, limit))));
    slider(QStringLiteral("FloaterTransparency"))
        ->setValue(static_cast<int>(std::lround(o.fFloaterTransparency * 100.0f)));
    (o.aDigital != 0 ? digital_ : analog_)->setChecked(true);
    background_ = TalvorProColor::myGetColorFromDefaults(keys::FloaterBGColor,
                                                         FloatingOptions::defaultBackground());
    text_ = TalvorProColor::myGetColorFromDefaults(keys::FloaterTextColor,
                                                   FloatingOptions::defaultTextColour());
    showWellColour(*backgroundWell_, background_);
    showWellColour(*textWell_, text_);
    font_ = readFont();
    updateFontInfo();
    const QString timePattern =
        platform::UserDefaults::standard().stringForKey(keys::floatingTimeFormat);
    if (!timePattern.isNull()) {
        timePopUp_->select(timePattern);
    }
    const QString datePattern =
        platform::UserDefaults::standard().stringForKey(keys::floatingDateFormat);
    if (!datePattern.isNull()) {
        datePopUp_->select(datePattern);
    }
    const QVariantMap& hotKeys = TalvorHotKeys::sharedInstance().hotKeyValues();
    hotKey_->setKeyCode(
        static_cast<qint32>(hotKeys.value(keys::hotKeyCodeFloater, -1).toLongLong()),
        TalvorKeyCombo::NSModifierForModifiers(
            hotKeys.value(keys::hotKeyModifiersFloater, -1).toLongLong()));
    enableByType();
    updateFloatingHint();
    loading_ = false;
}

void TalvorPrefsFloatingViewCtrl::hotKeyChanged(HotKeyField& field) {
    changeHotKey(field.keyCode(), field.flags());
}

void TalvorPrefsFloatingViewCtrl::changeHotKey(qint32 keyCode, quint32 modifierFlags) {
    if (loading_) {
        return;
    }
    TalvorHotKeys& hotKeys = TalvorHotKeys::sharedInstance();
    QVariantMap values = hotKeys.hotKeyValues();
    values.insert(keys::hotKeyCodeFloater, qint64(keyCode));
    values.insert(
        keys::hotKeyModifiersFloater,
        keyCode < 0 ? qint64(-1) : TalvorKeyCombo::modifiersForNSModifiers(modifierFlags));
    hotKeys.setHotKeyValues(values);
    hotKeys.writePrefs();
    saveFloaterOptions();
}

void TalvorPrefsFloatingViewCtrl::actShowFloatingClock() {
    saveFloaterOptions();
    updateFloatingHint();
    if (delegate_.UpdateMenu) {
        delegate_.UpdateMenu(kFloatingClocksGroup);
    }
}

namespace {

void storeFormat(const PaneDelegate& delegate, const QString& key, const QString& pattern) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setObject(pattern, key);
    defaults.synchronize();
    delegate.postDistributed(keys::TalvorFloatingClockPrefsChangeNotification,
                             QStringLiteral("some"));
}

}  // namespace

void TalvorPrefsFloatingViewCtrl::setTimeFormat(int /*index*/) {
    storeFormat(delegate_, keys::floatingTimeFormat,
                timePopUp_->selectedPattern(FloatingOptions::defaultTimeFormat()));
}

void TalvorPrefsFloatingViewCtrl::setDateFormat(int /*index*/) {
    storeFormat(delegate_, keys::floatingDateFormat,
                datePopUp_->selectedPattern(FloatingOptions::defaultDateFormat()));
}

void TalvorPrefsFloatingViewCtrl::chooseCustomDate() {
    TalvorCustomDatePanel& panel = TalvorCustomDatePanel::sharedPanel();
    panel.setPatternLanguage(TalvorCustomDatePanel::PatternLanguage::CalendarFormat);
    panel.setSetting(
        PreferenceDomain::readText(keys::CustomFloatTime, FloatingOptions::defaultCustomFormat()));
    connect(&panel, &QDialog::finished, this,
            &TalvorPrefsFloatingViewCtrl::chooseCustomFloaterTimeDidEnd, Qt::SingleShotConnection);
    panel.beginSheet(viewIfLoaded() != nullptr ? viewIfLoaded()->window() : nullptr);
}

void TalvorPrefsFloatingViewCtrl::chooseCustomFloaterTimeDidEnd(int returnCode) {
    const QString format = TalvorCustomDatePanel::sharedPanel().format();
    if (returnCode == 0 || format.isEmpty()) {
        return;
    }
    PreferenceDomain::writeText(keys::CustomFloatTime, format);
    saveFloaterOptions();
}

void TalvorPrefsFloatingViewCtrl::changeFont(const QFont& font) {
    font_ = font;
    updateFontInfo();
    saveFloaterOptions();
}

void TalvorPrefsFloatingViewCtrl::changeColor(const QColor& color, bool background) {
    if (!color.isValid()) {
        platform::log(QStringLiteral("bad saving color"));
        return;
    }
    (background ? background_ : text_) = color;
    showWellColour(*(background ? backgroundWell_ : textWell_), color);
    updateFontInfo();
    saveFloaterOptions();
}

void TalvorPrefsFloatingViewCtrl::updateFontInfo() {
    if (!fontInfo_) {
        return;
    }
    fontInfo_->setText(fontLabelText(font_));
    fontInfo_->setFont(font_);
    QPalette palette = fontInfo_->palette();
    palette.setColor(QPalette::WindowText, text_);
    palette.setColor(QPalette::Window, background_);
    fontInfo_->setAutoFillBackground(true);
    fontInfo_->setPalette(palette);
}

void TalvorPrefsFloatingViewCtrl::resetToDefaults(const PaneDelegate& delegate) {
    const QString text = FloatingOptions::resetText();
    PreferenceDomain::writeText(keys::FloatingStates, text);
    platform::PreferenceStore& store = PreferenceDomain::store();
    for (const QString& key : {keys::Floater, keys::FloaterLeftAlign, keys::FloaterShowTimeZone}) {
        store.removeValue(key);
    }
    writeFont(defaultFont());
    TalvorProColor::saveColorToDefaults(FloatingOptions::defaultBackground(), keys::FloaterBGColor);
    TalvorProColor::saveColorToDefaults(FloatingOptions::defaultTextColour(),
                                        keys::FloaterTextColor);
    delegate.postDistributed(keys::TalvorFloatingClockPrefsChangeNotification, text);
}

}  // namespace talvor
