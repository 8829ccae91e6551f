#include "FormatItemTables.h"

#include "foundation/FoundationKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "world/TalvorMenuBarFlags.h"
#include "world/WorldKeys.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace talvor {
namespace {

TalvorTimeSettings& timeSettings() {
    return TalvorTimeSettings::sharedInstance();
}

TalvorDateSettings& dateSettings() {
    return TalvorDateSettings::sharedInstance();
}

PaneCall updateMenuBarItems() {
    return PaneRequest::UpdateMenuBarItems{};
}

constexpr const char* kTimeContext = "talvor::TalvorTimeViewController";
const char* const kTimeItem = QT_TRANSLATE_NOOP("talvor::TalvorTimeViewController", "Time item");
const char* const kTimeFormat = QT_TRANSLATE_NOOP("talvor::TalvorTimeViewController", "Format");

constexpr const char* kDateContext = "talvor::TalvorDateViewController";
const char* const kDateItem = QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Date item");
const char* const kMoon = QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Moon");
const char* const kDateFormat = QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Format");

std::vector<PaneRow> timeRows() {
    using K = PaneRow::Kind;
    // A flag box: its bit of the word, and the setting it stands for.
    const auto flag = [](const char* id, const char* label, int tag,
                         const std::function<bool()>& read) {
        return PaneRow{
            .id = QString::fromLatin1(id),
            .kind = K::Check,
            .label = label,
            .binding = {[read] { return QVariant(read()); },
                        [tag](const QVariant& on) { TimeItem::showTime(tag, on.toBool()); }},
            .defaultValue = false,
            .effects = {.store = true},
            .section = kTimeItem};
    };
    using namespace TimeItem;
    return {
        {.id = QStringLiteral("enableMenuExtra"),
         .kind = K::Check,
         .label = QT_TRANSLATE_NOOP("talvor::TalvorTimeViewController", "Show the time item"),
         .binding = {[] { return QVariant(timeSettings().enableTimeMenu); },
                     [](const QVariant& on) {
                         timeSettings().enableTimeMenu = on.toBool();
                         timeSettings().showTimeInMenu = on.toBool();
                         saveTalvorMenuBarFlags();
                     }},
         .defaultValue = true,
         .effects = {.store = true, .call = updateMenuBarItems()},
         .section = kTimeItem},
        flag("showTime", QT_TRANSLATE_NOOP("talvor::TalvorTimeViewController", "Show the time"),
             ShowTime, [] { return (TalvorMenuBarFlags & (1u << ShowTime)) != 0; }),
        flag("flashSeparator",
             QT_TRANSLATE_NOOP("talvor::TalvorTimeViewController", "Flash the time separators"),
             FlashSeparator, [] { return timeSettings().flashSeparator; }),
        flag("analogClock",
             QT_TRANSLATE_NOOP("talvor::TalvorTimeViewController", "Show an analog clock"),
             AnalogClock, [] { return timeSettings().showAnalogClockInMenu; }),
        {.id = QStringLiteral("timeDropShadow"),
         .kind = K::Check,
         .label = QT_TRANSLATE_NOOP("talvor::TalvorTimeViewController", "Drop shadow"),
         .binding = {[] { return QVariant(timeSettings().timeHasDropShadow); },
                     [](const QVariant& on) {
                         timeSettings().timeHasDropShadow = on.toBool();
                         saveTalvorMenuBarFlags();
                     }},
         .defaultValue = false,
         .effects = {.store = true},
         .section = kTimeItem},
        {.id = QStringLiteral("resetToDefaults"),
         .kind = K::Button,
         .label = QT_TRANSLATE_NOOP("talvor::TalvorTimeViewController", "Reset to Defaults"),
         .effects = {.store = true,
                     .post = keys::TalvorMenuBarPrefsChangeNotification,
                     .call = updateMenuBarItems(),
                     .reload = true},
         .action = [] { timeSettings().resetTimeViewToDefaults(); }},
    };
}

void addSeparatorRow(QGroupBox& box, QGridLayout& grid, int row) {
    auto* separator = new QLineEdit(&box);
    separator->setObjectName(QStringLiteral("separator"));
    separator->setPlaceholderText(QStringLiteral(":"));
    separator->setMaxLength(TimeItem::kMaxSeparatorLength);
    separator->setToolTip(QCoreApplication::translate(
        kTimeContext, "Shown between the hours, minutes and seconds of the time item"));
    QObject::connect(separator, &QLineEdit::textEdited, &TimeItem::setSeparator);
    auto* separatorRow = new QHBoxLayout;
    separatorRow->addWidget(separator);
    separatorRow->addStretch(1);
    grid.addWidget(new QLabel(QCoreApplication::translate(kTimeContext, "Separator:"), &box), row,
                   0);
    grid.addLayout(separatorRow, row, 1, 1, 3);
}

void showSeparator(QGroupBox& box) {
    if (auto* separator = box.findChild<QLineEdit*>(QStringLiteral("separator"))) {
        const QString& stored = timeSettings().timeSeparator;
        separator->setText(stored == QLatin1String(":") ? QString() : stored);
    }
}

std::vector<PaneRow> dateRows() {
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
    using S = TalvorDateSettings;
    return {
        box("enableMenuExtra",
            QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Show the date item"),
            &S::showDateMenu, kDateItem, updateMenuBarItems()),
        box("showDate", QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Show the date"),
            &S::showDateInMenu, kDateItem),
        box("dateDropShadow", QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Drop shadow"),
            &S::hasDropShadow, kDateItem),
        // The items are made again: the time item stands closer to the date without a moon.
        box("showMoon",
            QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Show the moon phase"),
            &S::showMoon, kMoon, updateMenuBarItems()),
        box("southernHemisphere",
            QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Southern hemisphere"),
            &S::isSouthernHemisphere, kMoon),
        box("moonToolTip", QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Moon tool tip"),
            &S::showMoonToolTip, kMoon),
        {.id = QStringLiteral("resetToDefaults"),
         .kind = K::Button,
         .label = QT_TRANSLATE_NOOP("talvor::TalvorDateViewController", "Reset to Defaults"),
         .effects = {.store = true, .call = updateMenuBarItems(), .reload = true},
         .action = [] { dateSettings().resetDateViewToDefaults(); }},
    };
}

}  // namespace

namespace TimeItem {

void saveTalvorMenuBarFlags() {
    PreferenceDomain::writeInteger(keys::MenuBarOptBits, static_cast<qint32>(TalvorMenuBarFlags));
    timeSettings().writePrefsAndSync();
}

void showTime(int tag, bool on) {
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

void setSeparator(const QString& text) {
    // An empty field is the usual colon, which is what it shows as its placeholder.
    timeSettings().timeSeparator = text.isEmpty() ? QStringLiteral(":") : text;
    timeSettings().writePrefsAndSync();
}

}  // namespace TimeItem

const FormatItemTable& timeItemTable() {
    static const FormatItemTable table = {
        .className = "TalvorTimeViewController",
        .context = kTimeContext,
        .title = "Time Menu",
        .manual = Manual::Section::TimeMenu,
        .kind = FormatList::Kind::Time,
        .defaultFormat = QStringLiteral("hh:mm:ss a"),
        .lightWellName = QStringLiteral("timeColor"),
        .darkWellName = QStringLiteral("timeColorDMode"),
        .format = []() -> QString& { return timeSettings().timeFormat; },
        .font = []() -> QFont& { return timeSettings().timeFont; },
        .lightColour = []() -> QColor& { return timeSettings().timeColor; },
        .darkColour = []() -> QColor& { return timeSettings().timeColorDMode; },
        .commit = &TimeItem::saveTalvorMenuBarFlags,
        .sync = [] { timeSettings().writePrefsAndSync(); },
        .readStored = [] { timeSettings().loadPrefs(); },
        .resetClearsComposer = false,
        .previewInItemFont = false,
        .sheetEditsShownFormat = true,
        .tokens = &timeTokenSources,
        .compose = &composeTimePattern,
        .preview = &previewTimePattern,
        .sections = {{kTimeItem, 2}},
        .formatSection = kTimeFormat,
        .rows = &timeRows,
        .moreFormatRows = &addSeparatorRow,
        .showMoreFormatRows = &showSeparator,
    };
    return table;
}

const FormatItemTable& dateItemTable() {
    static const FormatItemTable table = {
        .className = "TalvorDateViewController",
        .context = kDateContext,
        .title = "Date Menu",
        .manual = Manual::Section::DateMenu,
        .kind = FormatList::Kind::Date,
        .defaultFormat = QStringLiteral("EEE dd MMM"),
        .lightWellName = QStringLiteral("dateColor"),
        .darkWellName = QStringLiteral("dateColorDMode"),
        .format = []() -> QString& { return dateSettings().dateFormat; },
        .font = []() -> QFont& { return dateSettings().dateFont; },
        .lightColour = []() -> QColor& { return dateSettings().dateColor; },
        .darkColour = []() -> QColor& { return dateSettings().dateColorDMode; },
        .commit = [] { dateSettings().writePrefsAndSync(); },
        .sync = [] { dateSettings().writePrefsAndSync(); },
        .readStored = {},
        .resetClearsComposer = true,
        .previewInItemFont = true,
        .sheetEditsShownFormat = false,
        .tokens = &dateTokenSources,
        .compose = &composeDatePattern,
        .preview = &previewDatePattern,
        .sections = {{kDateItem, 3}, {kMoon, 3}},
        .formatSection = kDateFormat,
        .rows = &dateRows,
        .moreFormatRows = {},
        .showMoreFormatRows = {},
    };
    return table;
}

}  // namespace talvor
