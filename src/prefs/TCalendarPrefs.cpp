#include "TCalendarPrefs.h"

#include "calendar/CalendarBackEnd.h"
#include "calendar/GCalender.h"
#include "calendarui/CalendarUiKeys.h"
#include "calendarui/ColorPickerController.h"
#include "calendarui/MonthGrid.h"
#include "foundation/CalendarExtras.h"
#include "foundation/Helper.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "services/AppStartup.h"
#include "services/HotKeyField.h"
#include "services/HotKeyKeys.h"
#include "services/HotKeyManager.h"
#include "services/TalvorHotKeys.h"
#include "services/TalvorKeyCombo.h"
#include "widgets/ColorWellCell.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace talvor {
namespace {

// Keys of the mini calendar in the standard user defaults.
const QString kShowMinnowCal = QStringLiteral("showMinnowCal");
const QString kRows = QStringLiteral("TtNumRows");
const QString kCols = QStringLiteral("TtNumCols");
const QString kNumberFontSize = QStringLiteral("NumberFontSize");
const QString kTitleFontSize = QStringLiteral("TitleFontSize");
const QString kTextFontSize = QStringLiteral("TextFontSize");
const QString kCustomCalendar = QStringLiteral("CustomCalendar");
const QString kSecondaryCalendar = QStringLiteral("SecondaryCalendar");
const QString kShowWeekNumbers = QStringLiteral("ShowWeekNumbers");
const QString kShowDateCalulations = QStringLiteral("ShowDateCalulations");
const QString kMonthCenters = QStringLiteral("MonthCenters");
const QString kSubscribedEvents = QStringLiteral("SubscribedEvents");
// In-process notices.
const QString kPrefsChanged = QStringLiteral("PrefsChanged");
const QString kLoadCalendarEvents = QStringLiteral("loadCalendarEvents");
// The public calendars' identifiers carry their provider's group domain.
const QString kGroupDomain = QStringLiteral("group.v.calendar.google.com");
const QString kSelectedCalendar = QStringLiteral("SelectedCalendar");
const QString kCalendarsLoaded = QStringLiteral("CalendarsLoaded");
const QString kPleaseLogin = QStringLiteral("Please login to google");
const QString kNoInternet =
    QStringLiteral("Please check your internet connection or try again later");

// Column identifiers of the source tables.
enum Column { Enabled = 0, Name = 1, Colour = 2 };

platform::UserDefaults& defaults() {
    return platform::UserDefaults::standard();
}

// The stored value, or the mini calendar's own default when nothing is stored.
int storedInt(const QString& key, int fallback) {
    const QVariant v = defaults().objectForKey(key);
    return v.isValid() ? static_cast<int>(v.toLongLong()) : fallback;
}

QVariantMap monthCenters() {
    const QVariant v = defaults().objectForKey(kMonthCenters);
    if (v.isValid()) {
        return v.toMap();
    }
    return {{QStringLiteral("12"), -100}, {QStringLiteral("3"), -1}};
}

QIcon layoutIcon(int rows, int cols) {
    QPixmap picture(24, 24);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setPen(QPen(QColor(90, 90, 100), 1));
    const double w = 22.0 / cols;
    const double h = 22.0 / rows;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            p.fillRect(QRectF(1 + c * w + 0.5, 1 + r * h + 0.5, w - 1.5, h - 1.5),
                       QColor(210, 215, 230));
            p.drawRect(QRectF(1 + c * w + 0.5, 1 + r * h + 0.5, w - 1.5, h - 1.5));
        }
    }
    return QIcon(picture);
}

// A tab page that asks for no more height than a bare table does: its extra rows come out of
// its table, so the pane is no taller for it.
class SlimPage : public QWidget {
  public:
    using QWidget::QWidget;
    QSize minimumSizeHint() const override { return {QWidget::minimumSizeHint().width(), 70}; }
    QSize sizeHint() const override { return {QWidget::sizeHint().width(), 192}; }
};

HotKeyField* hotKeyField(QWidget* view, const QString& name) {
    return view ? view->findChild<HotKeyField*>(name) : nullptr;
}

}  // namespace

struct TCalendarPrefs::SourceTable {
    QString id;
    const char* title;
    std::function<std::vector<CalSourcePtr>()> list;
    bool publicList;
    QPointer<QTableWidget> table;
    std::vector<CalSourcePtr> sources;
};

TCalendarPrefs::TCalendarPrefs(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TCalendarPrefs"), std::move(nibName),
                     QStringLiteral("Minnow")),
      delegate_(std::move(delegate)) {
    const auto builtIn = [](const std::vector<CalSourcePtr>& (*list)()) {
        return [list] { return list(); };
    };
    tables_.push_back({QStringLiteral("publicTable"),
                       QT_TR_NOOP("Holidays"),
                       builtIn(&CalSource::publicCalendars),
                       true,
                       {},
                       {}});
    tables_.push_back({QStringLiteral("publicTable_Religious"),
                       QT_TR_NOOP("Religious"),
                       builtIn(&CalSource::publicCalendars_Religious),
                       true,
                       {},
                       {}});
    tables_.push_back({QStringLiteral("publicTable_Sports"),
                       QT_TR_NOOP("Sports"),
                       builtIn(&CalSource::publicCalendars_Sports),
                       true,
                       {},
                       {}});
    tables_.push_back({QStringLiteral("publicTable_Misc"),
                       QT_TR_NOOP("Special"),
                       builtIn(&CalSource::publicCalendars_Misc),
                       true,
                       {},
                       {}});
    tables_.push_back({QStringLiteral("personalTable"),
                       QT_TR_NOOP("Google"),
                       [] {
                           const GCalender* google = GCalender::installed();
                           return google ? google->personalCalendars()
                                         : std::vector<CalSourcePtr>();
                       },
                       false,
                       {},
                       {}});
    tables_.push_back(
        {QStringLiteral("personalTable_Apple"),
         QT_TR_NOOP("On This Computer"),
         [] {
             CalendarBackEnd* local = CalendarBackEnds::installed(CalendarBackEnds::Kind::Apple);
             return local ? local->getLocalEventCalendars_Parsed() : std::vector<CalSourcePtr>();
         },
         false,
         {},
         {}});
}

TCalendarPrefs::~TCalendarPrefs() = default;

const QStringList& TCalendarPrefs::custCalendars() {
    static const QStringList ids = {QStringLiteral("gregorian"),     QStringLiteral("buddhist"),
                                    QStringLiteral("hebrew"),        QStringLiteral("islamic"),
                                    QStringLiteral("islamic-civil"), QStringLiteral("japanese")};
    return ids;
}

const std::vector<TCalendarPrefs::Layout>& TCalendarPrefs::monthLayouts() {
    static const std::vector<Layout> layouts = {{1, 1}, {2, 1}, {1, 2}, {3, 1}, {1, 3}, {4, 3}};
    return layouts;
}

const std::vector<TCalendarPrefs::FontSet>& TCalendarPrefs::fontSets() {
    static const std::vector<FontSet> sets = {{8, 9, 9}, {11, 12, 11}, {13, 15, 13}};
    return sets;
}

QWidget* TCalendarPrefs::control(const QString& id) const {
    return view_ ? view_->findChild<QWidget*>(id) : nullptr;
}

QTableWidget* TCalendarPrefs::sourceTable(const QString& id) const {
    return view_ ? view_->findChild<QTableWidget*>(id) : nullptr;
}

TCalendarPrefs::SourceTable* TCalendarPrefs::tableEntry(const QTableWidget* table) {
    for (SourceTable& t : tables_) {
        if (t.table == table) {
            return &t;
        }
    }
    return nullptr;
}

const std::vector<CalSourcePtr>& TCalendarPrefs::sourcesOf(const QTableWidget* table) const {
    static const std::vector<CalSourcePtr> none;
    for (const SourceTable& t : tables_) {
        if (t.table == table) {
            return t.sources;
        }
    }
    return none;
}

bool TCalendarPrefs::isPublic(const QTableWidget* table) const {
    for (const SourceTable& t : tables_) {
        if (t.table == table) {
            return t.publicList;
        }
    }
    return false;
}

QString TCalendarPrefs::prefKey(const QTableWidget* table, const CalSource& source) const {
    return isPublic(table) || source.identifier().contains(kGroupDomain) ? source.token()
                                                                         : source.identifier();
}

QString TCalendarPrefs::mainCalendar() const {
    QString custom = defaults().stringForKey(kCustomCalendar);
    if (!custom.isEmpty()) {
        return custom;
    }
    // The month views' calendar, or the locale's own until one is chosen.
    QString current = CalendarExtras::userCalendar().calendarIdentifier();
    if (current.isEmpty()) {
        current = Calendar::current().calendarIdentifier();
    }
    return current.isEmpty() ? QStringLiteral("gregorian") : current;
}

void TCalendarPrefs::postPrefsChanged(const QVariantMap& userInfo) {
    platform::NotificationCenter::defaultCenter().post(kPrefsChanged, platform::senderObject(this),
                                                       userInfo);
}

void TCalendarPrefs::storeSourcePrefs() {
    defaults().setObject(sourcePrefs_, kSubscribedEvents);
    defaults().synchronize();
}

void TCalendarPrefs::showHideMinnowOnMenuBar() {
    if (auto* box = qobject_cast<QCheckBox*>(control(QStringLiteral("showHideMinnow")))) {
        defaults().setBool(box->isChecked(), kShowMinnowCal);
        delegate_.call(delegate_.updateMenuBarItems);
    }
}

void TCalendarPrefs::validateISOReady() {
    auto* box = qobject_cast<QCheckBox*>(control(QStringLiteral("showWeekNumCheckBox")));
    if (!box) {
        return;
    }
    const bool iso =
        storedInt(keys::FirstDayOfWeek, 0) == 2 && mainCalendar() == QLatin1String("gregorian");
    box->setText(iso ? tr("Show ISO 8601 week numbers") : tr("Show week numbers"));
}

void TCalendarPrefs::updateMonthCenterMenu() {
    auto* menu = qobject_cast<QComboBox*>(control(QStringLiteral("monthCenterPopup")));
    if (!menu) {
        return;
    }
    const int n = storedInt(kRows, 1) * storedInt(kCols, 1);
    const QSignalBlocker quiet(menu);
    menu->clear();
    if (n >= 12) {
        const QStringList months = CalendarExtras::monthNames(CalendarExtras::userCalendar());
        menu->addItem(months.value(0), -100);
    }
    if (n >= 2) {
        menu->addItem(tr("Last month"), -1);
    }
    menu->addItem(tr("This month"), 0);
    const int stored = monthCenters().value(QString::number(n), 0).toInt();
    const int index = menu->findData(stored);
    menu->setCurrentIndex(index >= 0 ? index : menu->findData(0));
    menu->setEnabled(n >= 2);
    if (!loading_) {
        platform::NotificationCenter::defaultCenter().post(kLoadCalendarEvents);
    }
}

void TCalendarPrefs::validateAuxMenu() {
    auto* aux = qobject_cast<QComboBox*>(control(QStringLiteral("auxCalPopup")));
    auto* auxBox = qobject_cast<QCheckBox*>(control(QStringLiteral("auxCalCheckBox")));
    if (!aux || !auxBox) {
        return;
    }
    const QString main = mainCalendar();
    if (defaults().stringForKey(kSecondaryCalendar) == main) {
        const QSignalBlocker quiet(aux);
        aux->setCurrentIndex(-1);
        auxBox->setChecked(false);
        aux->setEnabled(false);
        if (!loading_) {
            defaults().removeObjectForKey(kSecondaryCalendar);
        }
    }
    const int mainIndex = custCalendars().indexOf(main);
    auto* model = qobject_cast<QStandardItemModel*>(aux->model());
    for (int i = 0; i < aux->count(); ++i) {
        if (QStandardItem* item = model ? model->item(i) : nullptr) {
            item->setEnabled(i != mainIndex);
        }
    }
}

void TCalendarPrefs::menuChanged(QComboBox* sender) {
    if (!sender) {
        return;
    }
    const int i = sender->currentIndex();
    const QString id = sender->objectName();
    if (id == QLatin1String("numMonthsPopup") && i >= 0 && i < int(monthLayouts().size())) {
        defaults().setInteger(monthLayouts()[i].rows, kRows);
        defaults().setInteger(monthLayouts()[i].cols, kCols);
        defaults().synchronize();
        updateMonthCenterMenu();
    } else if (id == QLatin1String("sizePopup") && i >= 0 && i < int(fontSets().size())) {
        defaults().setInteger(fontSets()[i].number, kNumberFontSize);
        defaults().setInteger(fontSets()[i].title, kTitleFontSize);
        defaults().setInteger(fontSets()[i].text, kTextFontSize);
    } else if (id == QLatin1String("custCalPopup") && i >= 0 && i < custCalendars().size()) {
        defaults().setObject(custCalendars()[i], kCustomCalendar);
        validateAuxMenu();
        platform::NotificationCenter::defaultCenter().post(kLoadCalendarEvents);
    } else if (id == QLatin1String("auxCalPopup") && i >= 0 && i < custCalendars().size()) {
        defaults().setObject(custCalendars()[i], kSecondaryCalendar);
    } else if (id == QLatin1String("firstDayPopup") && i >= 0) {
        defaults().setInteger(i + 1, keys::FirstDayOfWeek);
    } else if (id == QLatin1String("monthCenterPopup") && i >= 0) {
        const int n = storedInt(kRows, 1) * storedInt(kCols, 1);
        QVariantMap centers = monthCenters();
        centers.insert(QString::number(n), sender->currentData().toInt());
        defaults().setObject(centers, kMonthCenters);
    }
    validateISOReady();
    postPrefsChanged();
}

void TCalendarPrefs::checkBoxChanged(QAbstractButton* sender) {
    if (!sender) {
        return;
    }
    const QString id = sender->objectName();
    const bool on = sender->isChecked();
    if (id == QLatin1String("custCalCheckBox")) {
        auto* menu = qobject_cast<QComboBox*>(control(QStringLiteral("custCalPopup")));
        menu->setEnabled(on);
        if (on) {
            if (menu->currentIndex() < 0) {
                menu->setCurrentIndex(0);
            }
            defaults().setObject(custCalendars().value(menu->currentIndex()), kCustomCalendar);
        } else {
            defaults().removeObjectForKey(kCustomCalendar);
        }
        validateISOReady();
        validateAuxMenu();
    } else if (id == QLatin1String("auxCalCheckBox")) {
        auto* menu = qobject_cast<QComboBox*>(control(QStringLiteral("auxCalPopup")));
        menu->setEnabled(on);
        if (on) {
            if (menu->currentIndex() < 0) {
                const auto* model = qobject_cast<QStandardItemModel*>(menu->model());
                const bool firstEnabled = !model || model->item(0)->isEnabled();
                menu->setCurrentIndex(firstEnabled ? 0 : 1);
            }
            defaults().setObject(custCalendars().value(menu->currentIndex()), kSecondaryCalendar);
        } else {
            defaults().removeObjectForKey(kSecondaryCalendar);
        }
    } else if (id == QLatin1String("showWeekNumCheckBox")) {
        defaults().setBool(on, kShowWeekNumbers);
    } else if (id == QLatin1String("showDateCalcCheckBox")) {
        defaults().setBool(on, kShowDateCalulations);
    } else {
        // The login item: the autostart entry is the truth the box shows afterwards.
        AppStartup::setInLoginItems(on);
        const QSignalBlocker quiet(sender);
        sender->setChecked(AppStartup::isInLoginItems());
        return;
    }
    postPrefsChanged();
}

void TCalendarPrefs::hotKeyChanged(HotKeyField& field) {
    if (field.objectName() == QLatin1String("stopWatchHotKeyField")) {
        stopWatchHotKeyChanged(field);
        return;
    }
    const QString name = field.objectName() == QLatin1String("toggleHotKeyField")
                             ? keys::ToggleHotKey
                             : keys::CenterHotKey;
    HotKeyManager& manager = HotKeyManager::sharedManager();
    if (field.keyCode() == -1) {
        defaults().removeObjectForKey(name);
        manager.unbindHotKeyNamed(name);
    } else {
        manager.findOrMakeHotKeyNamed(name);
        manager.bindHotKeyCode(field.keyCode(), field.flags(), name);
    }
    manager.saveToPrefs(keys::HotKeys);
}

void TCalendarPrefs::stopWatchHotKeyChanged(const HotKeyField& field) {
    // Kept with the per-feature values, as start-up binds it from them.
    TalvorHotKeys& values = TalvorHotKeys::sharedInstance();
    QVariantMap changed = values.hotKeyValues();
    const bool none = field.keyCode() == -1;
    changed.insert(keys::hotKeyCodeStopWatch, qint64(field.keyCode()));
    changed.insert(keys::hotKeyModifiersStopWatch,
                   none ? qint64(-1) : TalvorKeyCombo::modifiersForNSModifiers(field.flags()));
    values.setHotKeyValues(changed);
    values.writePrefs();
    HotKeyManager& manager = HotKeyManager::sharedManager();
    if (none) {
        manager.unbindHotKeyNamed(keys::StopWatchHotKey);
    } else {
        manager.findOrMakeHotKeyNamed(keys::StopWatchHotKey);
        manager.bindHotKeyCode(field.keyCode(), field.flags(), keys::StopWatchHotKey);
    }
}

void TCalendarPrefs::setSource(const CalSourcePtr& source, bool enabled) {
    if (!source) {
        return;
    }
    source->setEnabled(enabled);
    sourcePrefs_.insert(prefKey(currentTableView_, *source), source->prefEncoding());
    // Written for every kind of calendar: a choice kept only in memory is lost on a crash.
    storeSourcePrefs();
    platform::NotificationCenter::defaultCenter().post(kLoadCalendarEvents);
}

void TCalendarPrefs::showColorPanel(QTableWidget* table) {
    currentTableView_ = table;
    SourceTable* t = tableEntry(table);
    const int row = table ? table->currentRow() : -1;
    if (!t || row < 0 || row >= int(t->sources.size())) {
        return;
    }
    const CalSourcePtr& s = t->sources[static_cast<size_t>(row)];
    SourceHighlight h = SourceHighlight::sourceHighlightWithColor(s->displayColor());
    h.setDotValue(s->highlightType());
    QPointer<TCalendarPrefs> self(this);
    ColorPickerController::controller().showPickerWithHighlight(
        h,
        [self](const SourceHighlight& picked) {
            if (self) {
                self->highlightChanged(picked);
            }
        },
        view_);
}

void TCalendarPrefs::highlightChanged(const SourceHighlight& h) {
    SourceTable* t = tableEntry(currentTableView_);
    const int row = currentTableView_ ? currentTableView_->currentRow() : -1;
    if (!t || row < 0 || row >= int(t->sources.size())) {
        return;
    }
    const CalSourcePtr& s = t->sources[static_cast<size_t>(row)];
    s->setDisplayColor(h.color());
    s->setHighlightType(h.dotValue());
    showRow(*t, row);
    // The local calendars' marks are stored too: otherwise the next reading of the calendars
    // would forget them.
    const QString key = prefKey(currentTableView_, *s);
    sourcePrefs_.insert(key, s->prefEncoding());
    storeSourcePrefs();
    postPrefsChanged({{QStringLiteral("EventChanged"), key}});
}

void TCalendarPrefs::removeSourcePref(const QString& token) {
    sourcePrefs_.remove(token);
    storeSourcePrefs();
    for (SourceTable& t : tables_) {
        fillTable(t);
    }
}

void TCalendarPrefs::showRow(SourceTable& t, int row) {
    const CalSourcePtr& s = t.sources[static_cast<size_t>(row)];
    const QSignalBlocker quiet(t.table.data());
    auto* enabled = new QTableWidgetItem();
    enabled->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    enabled->setCheckState(s->enabled() ? Qt::Checked : Qt::Unchecked);
    t.table->setItem(row, Enabled, enabled);
    auto* name = new QTableWidgetItem(s->name());
    name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    t.table->setItem(row, Name, name);
    auto* colour = new QTableWidgetItem();
    colour->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (t.publicList && s->highlightType() >= 1) {
        colour->setData(Qt::DisplayRole, qlonglong(s->highlightType()));
    } else {
        colour->setData(Qt::DisplayRole, s->displayColor());
    }
    t.table->setItem(row, Colour, colour);
}

void TCalendarPrefs::fillTable(SourceTable& t) {
    t.sources = t.list();
    if (!t.table) {
        return;
    }
    // The stored settings show; reading them changes nothing stored.
    for (const CalSourcePtr& s : t.sources) {
        const QString key = t.publicList ? s->token() : s->identifier();
        const QVariant stored = sourcePrefs_.value(key);
        if (stored.isValid()) {
            s->updateFromPrefEncoding(stored.toList());
        }
    }
    t.table->setRowCount(static_cast<int>(t.sources.size()));
    for (int row = 0; row < int(t.sources.size()); ++row) {
        showRow(t, row);
    }
}

void TCalendarPrefs::loadSettings() {
    loading_ = true;
    sourcePrefs_ = defaults().objectForKey(kSubscribedEvents).toMap();
    const auto box = [this](const char* id) {
        return qobject_cast<QCheckBox*>(control(QLatin1String(id)));
    };
    const auto menu = [this](const char* id) {
        return qobject_cast<QComboBox*>(control(QLatin1String(id)));
    };
    box("showHideMinnow")->setChecked(defaults().boolForKey(kShowMinnowCal));

    const QString custom = defaults().stringForKey(kCustomCalendar);
    const QString secondary = defaults().stringForKey(kSecondaryCalendar);
    box("custCalCheckBox")->setChecked(!custom.isEmpty());
    menu("custCalPopup")->setEnabled(!custom.isEmpty());
    // Off, it shows the system the calendars use.
    menu("custCalPopup")->setCurrentIndex(custCalendars().indexOf(mainCalendar()));
    const bool aux = !secondary.isEmpty() && secondary != custom;
    box("auxCalCheckBox")->setChecked(aux);
    menu("auxCalPopup")->setEnabled(aux);
    menu("auxCalPopup")->setCurrentIndex(aux ? custCalendars().indexOf(secondary) : -1);
    validateAuxMenu();

    const int rows = storedInt(kRows, 1);
    const int cols = storedInt(kCols, 1);
    for (int i = 0; i < int(monthLayouts().size()); ++i) {
        if (monthLayouts()[i].rows == rows && monthLayouts()[i].cols == cols) {
            menu("numMonthsPopup")->setCurrentIndex(i);
            break;
        }
    }
    updateMonthCenterMenu();
    const int number = storedInt(kNumberFontSize, 11);
    const int title = storedInt(kTitleFontSize, 12);
    for (int i = 0; i < int(fontSets().size()); ++i) {
        if (fontSets()[i].number == number && fontSets()[i].title == title) {
            menu("sizePopup")->setCurrentIndex(i);
            break;
        }
    }
    // Nothing stored: the weekday every calendar view starts with anyway.
    menu("firstDayPopup")->setCurrentIndex(userFirstWeekday(defaults()) - 1);
    box("showWeekNumCheckBox")->setChecked(defaults().boolForKey(kShowWeekNumbers));
    box("showDateCalcCheckBox")->setChecked(defaults().boolForKey(kShowDateCalulations));

    for (SourceTable& t : tables_) {
        fillTable(t);
    }
    box("startupItemCheckBox")->setChecked(AppStartup::isInLoginItems());
    validateISOReady();

    // Hot keys: shown as bound; an unbound one shows an empty field (nothing is written).
    for (const QString& name : {keys::ToggleHotKey, keys::CenterHotKey}) {
        HotKeyField* field =
            hotKeyField(view_, name == keys::ToggleHotKey ? QStringLiteral("toggleHotKeyField")
                                                          : QStringLiteral("centerHotKeyField"));
        const HotKey* hotKey = HotKeyManager::sharedManager().hotKeyNamed(name);
        if (hotKey && hotKey->keyCode() != -1) {
            field->setKeyCode(hotKey->keyCode(), hotKey->flags());
        } else {
            field->setKeyCode(-1, 0);
        }
    }
    const QVariantMap& values = TalvorHotKeys::sharedInstance().hotKeyValues();
    const auto stopWatchKey =
        static_cast<qint32>(values.value(keys::hotKeyCodeStopWatch, -1).toLongLong());
    const qint64 stopWatchModifiers = values.value(keys::hotKeyModifiersStopWatch).toLongLong();
    hotKeyField(view_, QStringLiteral("stopWatchHotKeyField"))
        ->setKeyCode(
            stopWatchKey,
            stopWatchKey < 0 ? 0 : TalvorKeyCombo::NSModifierForModifiers(stopWatchModifiers));
    // The chosen back end's radio button and tab; a kept Google sign-in is restored.
    const bool google =
        CalendarBackEnds::selectedKind(defaults()) == CalendarBackEnds::Kind::Google;
    qobject_cast<QRadioButton*>(control(QStringLiteral("radioButtonGoogle")))->setChecked(google);
    qobject_cast<QRadioButton*>(control(QStringLiteral("radioButtonApple")))->setChecked(!google);
    if (auto* tabs = view_->findChild<QTabWidget*>(QStringLiteral("sourceTabs")); tabs && google) {
        tabs->setCurrentWidget(control(QStringLiteral("google")));
    }
    GCalender* calendar = GCalender::installed();
    if (calendar && !calendar->hasService()) {
        calendar->setUpAuthorizationService();
    }
    showGoogleClient();
    showGoogleState();
    loading_ = false;
    // Signed in, the calendars are listed if nobody has yet.
    if (calendar && calendar->hasService() && !calendar->personalCalendarsLoaded()) {
        QTimer::singleShot(0, this, [this] { loadPersonalSources(); });
    }
}

QWidget* TCalendarPrefs::googlePage(QWidget* parent, QTableWidget* table) {
    auto* page = new SlimPage(parent);
    page->setObjectName(QStringLiteral("google"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(4, 4, 4, 4);
    auto* account = new QHBoxLayout();
    auto* status = new QLabel(page);
    status->setObjectName(QStringLiteral("loginStatus"));
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* login = new QPushButton(page);
    login->setObjectName(QStringLiteral("googleLoginLogoutButton"));
    connect(login, &QPushButton::clicked, this, [this] { btnPressed_GoogleLoginLogout(); });
    account->addWidget(status, 1);
    account->addWidget(login);
    column->addLayout(account);
    // The desktop client of the user's own Google Cloud project that signs in.
    auto* client = new QHBoxLayout();
    for (const auto& [id, title] :
         {std::pair{"googleClientIdField", QT_TR_NOOP("Client ID:")},
          std::pair{"googleClientSecretField", QT_TR_NOOP("Client secret:")}}) {
        auto* field = new QLineEdit(page);
        field->setObjectName(QLatin1String(id));
        connect(field, &QLineEdit::textEdited, this, [this] { googleClientEdited(); });
        auto* label = new QLabel(tr(title), page);
        label->setBuddy(field);
        client->addWidget(label);
        client->addWidget(field, 1);
    }
    column->addLayout(client);
    table->setParent(page);
    column->addWidget(table, 1);
    auto* bottom = new QHBoxLayout();
    auto* progress = new QLabel(page);
    progress->setObjectName(QStringLiteral("personalProgressIndicator"));
    auto* reload = new QPushButton(tr("Reload Calendars"), page);
    reload->setObjectName(QStringLiteral("loadButton"));
    connect(reload, &QPushButton::clicked, this, [this] { loadPersonalSources(); });
    bottom->addWidget(progress, 1);
    bottom->addWidget(reload);
    column->addLayout(bottom);
    return page;
}

bool TCalendarPrefs::online() const {
    return probe_ != nullptr ? Helper::isInternetConnection(*probe_)
                             : Helper::isInternetConnection();
}

void TCalendarPrefs::showAlert(const QString& text) {
    lastAlertText_ = text;
    if (!view_) {
        return;
    }
    if (alert_) {
        alert_->close();
    }
    alert_ = new QMessageBox(QMessageBox::Critical, QString(), text, QMessageBox::Ok, view_);
    alert_->setObjectName(QStringLiteral("googleAlert"));
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    alert_->open();
}

void TCalendarPrefs::postCalendarsLoaded() {
    platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
    center.post(kCalendarsLoaded);
    center.post(kLoadCalendarEvents);
}

void TCalendarPrefs::fillGoogleTable() {
    for (SourceTable& t : tables_) {
        if (t.id == QLatin1String("personalTable")) {
            const bool wasLoading = std::exchange(loading_, true);
            fillTable(t);
            loading_ = wasLoading;
        }
    }
}

void TCalendarPrefs::showGoogleClient() {
    auto* id = qobject_cast<QLineEdit*>(control(QStringLiteral("googleClientIdField")));
    auto* secret = qobject_cast<QLineEdit*>(control(QStringLiteral("googleClientSecretField")));
    if (!id || !secret) {
        return;
    }
    const GoogleClientCredentials environment = GoogleClientCredentials::environment();
    const GoogleClientCredentials builtIn = GoogleClientCredentials::builtIn();
    secret->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    const auto show = [](QLineEdit* field, const QString& stored, const QString& fromEnvironment,
                         const char* variable, bool built) {
        field->setText(fromEnvironment.isEmpty() ? stored : QString());
        field->setEnabled(fromEnvironment.isEmpty());
        field->setPlaceholderText(!fromEnvironment.isEmpty()
                                      ? tr("Set by %1").arg(QLatin1String(variable))
                                  : built ? tr("Built into this copy")
                                          : tr("From Google Cloud console"));
    };
    show(id, defaults().stringForKey(GoogleClientCredentials::kIdKey), environment.clientId,
         "TALVOR_GOOGLE_CLIENT_ID", !builtIn.clientId.isEmpty());
    show(secret, defaults().stringForKey(GoogleClientCredentials::kSecretKey),
         environment.clientSecret, "TALVOR_GOOGLE_CLIENT_SECRET", !builtIn.clientSecret.isEmpty());
}

void TCalendarPrefs::googleClientEdited() {
    for (const auto& [id, key] :
         {std::pair{"googleClientIdField", GoogleClientCredentials::kIdKey},
          std::pair{"googleClientSecretField", GoogleClientCredentials::kSecretKey}}) {
        auto* field = qobject_cast<QLineEdit*>(control(QLatin1String(id)));
        if (!field || !field->isEnabled()) {
            continue;
        }
        // Pasted from the console, the values often bring a blank along.
        const QString value = field->text().trimmed();
        if (value.isEmpty()) {
            defaults().removeObjectForKey(key);
        } else {
            defaults().setObject(value, key);
        }
    }
    defaults().synchronize();
}

void TCalendarPrefs::showGoogleState() {
    auto* status = qobject_cast<QLabel*>(control(QStringLiteral("loginStatus")));
    auto* login = qobject_cast<QPushButton*>(control(QStringLiteral("googleLoginLogoutButton")));
    auto* reload = qobject_cast<QPushButton*>(control(QStringLiteral("loadButton")));
    auto* progress = qobject_cast<QLabel*>(control(QStringLiteral("personalProgressIndicator")));
    if (!status || !login || !reload || !progress) {
        return;
    }
    const GCalender* google = GCalender::installed();
    const bool signedIn = google != nullptr && google->hasService();
    if (signingIn_) {
        status->setText(tr("Logging in..."));
        login->setText(tr("Cancel"));
    } else if (signedIn) {
        status->setText(google->loggedInUser());
        login->setText(tr("Google Logout"));
    } else {
        status->setText(kPleaseLogin);
        login->setText(tr("Google Login"));
    }
    reload->setEnabled(signedIn && !signingIn_ && !listing_);
    progress->setText(listing_ ? tr("Loading Calendars list...") : QString());
}

void TCalendarPrefs::selectBackEnd(bool google) {
    auto* tabs = view_ ? view_->findChild<QTabWidget*>(QStringLiteral("sourceTabs")) : nullptr;
    QWidget* page =
        control(google ? QStringLiteral("google") : QStringLiteral("personalTable_Apple"));
    if (!tabs || !page) {
        return;
    }
    if (tabs->currentWidget() == page) {
        backEndTabSelected(google);  // no change of tab to say it
    } else {
        tabs->setCurrentWidget(page);
    }
}

void TCalendarPrefs::backEndTabSelected(bool google) {
    defaults().setObject(google ? QStringLiteral("Google") : QStringLiteral("Apple"),
                         kSelectedCalendar);
    defaults().synchronize();
    if (auto* radio = qobject_cast<QRadioButton*>(control(QStringLiteral("radioButtonGoogle")))) {
        radio->setChecked(google);
    }
    if (auto* radio = qobject_cast<QRadioButton*>(control(QStringLiteral("radioButtonApple")))) {
        radio->setChecked(!google);
    }
    if (!google) {
        for (SourceTable& t : tables_) {
            if (t.id == QLatin1String("personalTable_Apple")) {
                fillTable(t);
            }
        }
        postCalendarsLoaded();
        return;
    }
    GCalender* calendar = GCalender::installed();
    const bool signedIn =
        calendar != nullptr && (calendar->hasService() || calendar->setUpAuthorizationService());
    showGoogleState();
    if (!online()) {
        postCalendarsLoaded();
        platform::log(QStringLiteral("No Internet connection"));
        showAlert(kNoInternet);
        return;
    }
    if (signedIn) {
        loadPersonalSources();
    } else {
        postCalendarsLoaded();
    }
}

void TCalendarPrefs::btnPressed_GoogleLoginLogout() {
    GCalender* google = GCalender::installed();
    if (google == nullptr) {
        showAlert(tr("Google Calendar is not available in this copy of Talvor."));
        return;
    }
    QPointer<TCalendarPrefs> self(this);
    if (signingIn_ || google->hasService()) {
        // Signing out also ends a sign-in under way, which then reports nothing.
        const bool cancelling = signingIn_;
        signingIn_ = false;
        google->logoutFromGoogle([self, cancelling](bool ok, const QString&) {
            if (!self || !ok) {
                return;
            }
            self->fillGoogleTable();
            self->showGoogleState();
            if (!cancelling) {
                self->postCalendarsLoaded();
            }
        });
        showGoogleState();
        return;
    }
    if (!online()) {
        platform::log(QStringLiteral("No Internet connection"));
        showAlert(kNoInternet);
        return;
    }
    signingIn_ = true;
    showGoogleState();
    google->loginToGoogle([self, google](bool ok, const QString& message) {
        if (!self || !self->signingIn_) {
            return;  // cancelled meanwhile
        }
        self->signingIn_ = false;
        self->showGoogleState();
        if (!ok) {
            self->showAlert(message);
            return;
        }
        const QString user = google->loggedInUser();
        if (user == QLatin1String("NA")) {
            self->showAlert(tr("Unexpected Error, Please try again"));
            return;
        }
        // The account decides which Google Calendar page the mini calendar opens.
        const QStringList parts = user.split(QLatin1Char('@'));
        const bool consumer =
            parts.size() != 2 ||
            parts[1].compare(QLatin1String("gmail.com"), Qt::CaseInsensitive) == 0 ||
            parts[1].compare(QLatin1String("googlemail.com"), Qt::CaseInsensitive) == 0;
        defaults().setObject(user, QStringLiteral("Username"));
        defaults().setObject(consumer ? 1 : 2, QStringLiteral("AccountType"));
        defaults().synchronize();
        self->loadPersonalSources();
    });
}

void TCalendarPrefs::loadPersonalSources() {
    GCalender* google = GCalender::installed();
    if (!online()) {
        platform::log(QStringLiteral("No Internet connection"));
        showAlert(kNoInternet);
        return;
    }
    if (google == nullptr || !(google->hasService() || google->setUpAuthorizationService())) {
        platform::log(QStringLiteral("Google: not signed in"));
        showAlert(kPleaseLogin);
        return;
    }
    if (listing_) {
        return;  // the listing under way answers for this one too
    }
    listing_ = true;
    showGoogleState();
    QPointer<TCalendarPrefs> self(this);
    google->loadPersonalSources(
        [self](const std::optional<std::vector<CalSourcePtr>>& sources, const QString& message) {
            if (!self) {
                return;
            }
            self->listing_ = false;
            self->showGoogleState();
            if (!sources) {
                self->showAlert(message);
                return;
            }
            self->fillGoogleTable();
            self->postCalendarsLoaded();
        });
}

QCheckBox* TCalendarPrefs::makeBox(QWidget* parent, const char* id, const QString& title) {
    auto* box = new QCheckBox(title, parent);
    box->setObjectName(QLatin1String(id));
    connect(box, &QCheckBox::clicked, this, [this, box] { checkBoxChanged(box); });
    return box;
}

QComboBox* TCalendarPrefs::makeMenu(QWidget* parent, const char* id) {
    auto* menu = new QComboBox(parent);
    menu->setObjectName(QLatin1String(id));
    connect(menu, &QComboBox::activated, this, [this, menu] { menuChanged(menu); });
    return menu;
}

void TCalendarPrefs::buildMonthMenus(QGroupBox& look, QFormLayout& form) {
    QComboBox* months = makeMenu(&look, "numMonthsPopup");
    const char* layoutTitles[] = {QT_TR_NOOP("1 month"),
                                  QT_TR_NOOP("2 months, stacked"),
                                  QT_TR_NOOP("2 months, side by side"),
                                  QT_TR_NOOP("3 months, stacked"),
                                  QT_TR_NOOP("3 months, side by side"),
                                  QT_TR_NOOP("12 months")};
    for (int i = 0; i < int(monthLayouts().size()); ++i) {
        months->addItem(layoutIcon(monthLayouts()[i].rows, monthLayouts()[i].cols),
                        tr(layoutTitles[i]));
    }
    form.addRow(tr("Months:"), months);
    form.addRow(tr("Start with:"), makeMenu(&look, "monthCenterPopup"));
    QComboBox* sizes = makeMenu(&look, "sizePopup");
    for (const char* t : {QT_TR_NOOP("Small"), QT_TR_NOOP("Medium"), QT_TR_NOOP("Large")}) {
        sizes->addItem(tr(t));
    }
    form.addRow(tr("Text size:"), sizes);
    QComboBox* firstDay = makeMenu(&look, "firstDayPopup");
    const QLocale locale;
    for (int d : {7, 1, 2, 3, 4, 5, 6}) {
        firstDay->addItem(locale.standaloneDayName(d, QLocale::LongFormat));
    }
    form.addRow(tr("Week starts on:"), firstDay);
}

void TCalendarPrefs::buildCalendarSystems(QGroupBox& look, QFormLayout& form) {
    const char* systems[] = {QT_TR_NOOP("Gregorian"),       QT_TR_NOOP("Buddhist"),
                             QT_TR_NOOP("Hebrew"),          QT_TR_NOOP("Islamic"),
                             QT_TR_NOOP("Islamic (civil)"), QT_TR_NOOP("Japanese")};
    for (const auto& [boxId, menuId, title] :
         {std::tuple{"custCalCheckBox", "custCalPopup", QT_TR_NOOP("Calendar system:")},
          std::tuple{"auxCalCheckBox", "auxCalPopup", QT_TR_NOOP("Second calendar:")}}) {
        auto* row = new QHBoxLayout();
        QCheckBox* on = makeBox(&look, boxId, tr(title));
        QComboBox* menu = makeMenu(&look, menuId);
        for (const char* s : systems) {
            menu->addItem(tr(s));
        }
        row->addWidget(on);
        row->addWidget(menu, 1);
        form.addRow(row);
    }
}

void TCalendarPrefs::buildKeys(QWidget& view, QBoxLayout& layout) {
    auto* keysBox = new QGroupBox(tr("Start and keys"), &view);
    auto* keysGrid = new QGridLayout(keysBox);
    keysGrid->addWidget(makeBox(keysBox, "startupItemCheckBox", tr("Start Talvor at login")), 0, 0,
                        1, 3);
    int r = 1;
    for (const auto& [id, title] :
         {std::pair{"toggleHotKeyField", QT_TR_NOOP("Show or hide the calendar:")},
          std::pair{"centerHotKeyField", QT_TR_NOOP("Show the calendar in the middle:")},
          std::pair{"stopWatchHotKeyField", QT_TR_NOOP("Show or hide the stopwatch:")}}) {
        auto* field = new HotKeyField(keysBox);
        field->setObjectName(QLatin1String(id));
        auto* clear = new QPushButton(tr("Clear"), keysBox);
        clear->setObjectName(QLatin1String(id) + QStringLiteral("Clear"));
        field->setClearButton(clear);
        connect(clear, &QPushButton::clicked, field, [field] { field->clear(); });
        field->setTarget(this, &TCalendarPrefs::hotKeyChanged);
        keysGrid->addWidget(new QLabel(tr(title), keysBox), r, 0);
        keysGrid->addWidget(field, r, 1);
        keysGrid->addWidget(clear, r, 2);
        ++r;
    }
    layout.addWidget(keysBox);
}

QTableWidget* TCalendarPrefs::makeSourceTable(QTabWidget& tabs, const QString& id) {
    auto* table = new QTableWidget(0, 3, &tabs);
    table->setObjectName(id);
    table->setHorizontalHeaderLabels({tr("Show"), tr("Name"), tr("Colour")});
    table->horizontalHeader()->setSectionResizeMode(Name, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(Enabled, QHeaderView::ResizeToContents);
    table->setColumnWidth(Colour, 56);
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* wells = new ColorWellCellDelegate(table);
    table->setItemDelegateForColumn(Colour, wells);
    connect(table, &QTableWidget::itemChanged, this, [this, table](QTableWidgetItem* item) {
        if (loading_ || item->column() != Enabled) {
            return;
        }
        SourceTable* entry = tableEntry(table);
        if (entry && item->row() < int(entry->sources.size())) {
            currentTableView_ = table;
            setSource(entry->sources[static_cast<size_t>(item->row())],
                      item->checkState() == Qt::Checked);
        }
    });
    connect(table, &QTableWidget::cellClicked, this, [this, table](int row, int column) {
        currentTableView_ = table;
        if (column == Colour) {
            table->selectRow(row);
            showColorPanel(table);
        }
    });
    return table;
}

void TCalendarPrefs::addSourcePage(QTabWidget& tabs, const SourceTable& t) {
    QTableWidget* table = t.table;
    if (t.id == QLatin1String("personalTable")) {
        tabs.addTab(googlePage(&tabs, table), tr(t.title));
    } else if (t.publicList && t.list().empty()) {
        // A list that has no calendars says so rather than show an empty table.
        auto* page = new SlimPage(&tabs);
        page->setObjectName(t.id + QStringLiteral("Page"));
        auto* column = new QVBoxLayout(page);
        auto* note = new QLabel(
            tr("There are no %1 calendars to choose from.").arg(tr(t.title).toLower()), page);
        note->setObjectName(t.id + QStringLiteral("Empty"));
        note->setAlignment(Qt::AlignCenter);
        note->setWordWrap(true);
        table->setParent(page);
        table->hide();
        column->addWidget(note, 1);
        column->addWidget(table);
        tabs.addTab(page, tr(t.title));
    } else {
        tabs.addTab(table, tr(t.title));
    }
}

QTabWidget* TCalendarPrefs::buildSourceTabs(QWidget& view) {
    auto* tabs = new QTabWidget(&view);
    tabs->setObjectName(QStringLiteral("sourceTabs"));
    for (SourceTable& t : tables_) {
        t.table = makeSourceTable(*tabs, t.id);
        addSourcePage(*tabs, t);
    }
    // The back-end tabs choose the back end, as the radio buttons do.
    connect(tabs, &QTabWidget::currentChanged, this, [this, tabs](int index) {
        if (loading_) {
            return;
        }
        const QString id = tabs->widget(index)->objectName();
        if (id == QLatin1String("google") || id == QLatin1String("personalTable_Apple")) {
            backEndTabSelected(id == QLatin1String("google"));
        }
    });
    return tabs;
}

void TCalendarPrefs::buildBackEndChoice(QWidget& view, QBoxLayout& layout) {
    auto* choice = new QHBoxLayout();
    choice->addWidget(new QLabel(tr("Show events from:"), &view));
    auto* apple = new QRadioButton(tr("This computer"), &view);
    apple->setObjectName(QStringLiteral("radioButtonApple"));
    auto* google = new QRadioButton(tr("Google Calendar"), &view);
    google->setObjectName(QStringLiteral("radioButtonGoogle"));
    connect(apple, &QRadioButton::clicked, this, [this] { selectBackEnd(false); });
    connect(google, &QRadioButton::clicked, this, [this] { selectBackEnd(true); });
    choice->addWidget(apple);
    choice->addWidget(google);
    choice->addStretch(1);
    layout.addLayout(choice);
}

std::unique_ptr<QWidget> TCalendarPrefs::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    view_ = view.get();
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(20, 16, 20, 16);

    auto* showHide = new QCheckBox(tr("Show the mini calendar in the menu bar"), view.get());
    showHide->setObjectName(QStringLiteral("showHideMinnow"));
    connect(showHide, &QCheckBox::clicked, this, [this] { showHideMinnowOnMenuBar(); });
    layout->addWidget(showHide);

    auto* look = new QGroupBox(tr("Calendar"), view.get());
    auto* form = new QFormLayout(look);
    buildMonthMenus(*look, *form);
    buildCalendarSystems(*look, *form);
    // Side by side: the pane stays short enough for the settings window without scrolling.
    auto* days = new QHBoxLayout();
    days->addWidget(makeBox(look, "showWeekNumCheckBox", tr("Show week numbers")));
    days->addWidget(makeBox(look, "showDateCalcCheckBox", tr("Say how far a day is from today")));
    days->addStretch(1);
    form->addRow(days);
    layout->addWidget(look);
    buildKeys(*view, *layout);
    QTabWidget* tabs = buildSourceTabs(*view);
    buildBackEndChoice(*view, *layout);
    layout->addWidget(tabs, 1);

    loadSettings();
    view->resize(kMaxWidth, 760);
    return view;
}

}  // namespace talvor
