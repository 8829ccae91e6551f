#include "CalSource.h"

#include "PublicCalendarNames.h"
#include "foundation/ColorExtras.h"
#include "foundation/StringsBundle.h"
#include "platform/KeyedArchiver.h"

#include <QHash>

#include <algorithm>

namespace talvor {

namespace {

struct Registry {
    QHash<QString, std::shared_ptr<CalSource>> byToken;
    std::vector<std::shared_ptr<CalSource>> holidays, religious, sports, misc;
    bool builtInsMade = false;
};

Registry& registry() {
    static Registry r;
    return r;
}

// The provider of the public calendars: its host, its calendar domain and the domain of its
// group calendars.
const QString kHost = QStringLiteral("https://www.google.com");
const QString kDomain = QStringLiteral("google.com");
const QString kGroupDomain = QStringLiteral("group.v.calendar.google.com");

const char* const kColors[18] = {"#0000FF", "#38B0DE", "#3B8471", "#3D59AB", "#8B8970", "#C67171",
                                 "#FFB90F", "#87CEEB", "#DC143C", "#DA70D6", "#9370DB", "#1C86EE",
                                 "#00C5CD", "#7CCD7C", "#EEEE00", "#ED9121", "#FF8C69", "#EE3B3B"};

const char* const kHolidayKeys =
    "af al dz as ad ao ai ag ar am aw australian austrian az bs bh bd bb by be bz bj bm bt bo ba "
    "bw brazilian vg bn bulgarian bf bi kh cm canadian cv ky cf td cl china co km cg ck cr ci "
    "croatian cu cw cy czech kp danish dj dm do ec eg sv gq er ee et fk fo fm fj finnish french pf "
    "ga gm ge german gh gi greek gl gd gu gt gg gn gw gy ht va hn hong_kong hungarian is indian "
    "indonesian iq irish ir jewish italian jm japanese je jo kz ke ki kw kg la latvian lb ls lr ly "
    "li lithuanian lu mo mg mw malaysia mv ml mt mh mq mr mu yt mexican md mc mn me ms ma mz mm na "
    "nr np dutch nc new_zealand ni ne ng mp norwegian om pk pw pa pg py pe philippines polish "
    "portuguese pr qa south_korea re romanian russian rw bl sh kn lc mf pm vc ws sm st "
    "saudiarabian "
    "sn rs sc sl singapore sx slovak slovenian sb so sa ss spain lk sd sr sz swedish ch sy taiwan "
    "tj th cd mk tl tg to tt tn turkish tm tc tv vi ug ukrainian ae uk tz usa uy uz vu ve "
    "vietnamese wf ye zm zw";

QString feedAddress(const QString& key, const QString& language) {
    return kHost + QStringLiteral("/calendar/feeds/") + key + QStringLiteral("__") + language +
           QStringLiteral("%40holiday.calendar.") + kDomain + QStringLiteral("/public/full");
}

QString localized(const QString& key, const QString& table, const QString& fallback) {
    return StringsBundle::mainBundle().localizedString(key, table).value_or(fallback);
}

enum class Kind { Holiday, Religious, Sports, Special };

void makeList(const QStringList& keys, Kind kind, std::vector<std::shared_ptr<CalSource>>& into) {
    const QString preferred =
        localized(QStringLiteral("preferred holiday calendar"), QStringLiteral("Localizable"), {});
    const QString language =
        localized(QStringLiteral("iso"), QStringLiteral("iso"), QStringLiteral("en"));
    for (int i = 0; i < keys.size(); ++i) {
        const QString& key = keys[i];
        // A translation shipped for the key wins; otherwise the country's name from ICU.
        const QString name = StringsBundle::mainBundle()
                                 .localizedString(key, QStringLiteral("Localizable"))
                                 .value_or(publicCalendarName(key, icu::Locale::getDefault()));
        auto source = CalSource::initWithToken(feedAddress(key, QStringLiteral("en")), name,
                                               QUrl(feedAddress(key, language)));
        source->setAltURL(QUrl(feedAddress(key, QStringLiteral("en"))));
        source->setOrder(!preferred.isEmpty() && key == preferred ? 99 : 100 + i);
        source->setRefreshInterval(1440);
        const bool holidayStyle = kind == Kind::Holiday || kind == Kind::Religious;
        source->setIdentifier(holidayStyle ? QStringLiteral("en.") + key +
                                                 QStringLiteral("#holiday@") + kGroupDomain
                                           : key + QLatin1Char('@') + kGroupDomain);
        const bool wraps = kind == Kind::Holiday || kind == Kind::Sports;
        source->setDisplayColor(QColor(QLatin1String(kColors[wraps ? i % 18 : std::min(i, 17)])));
        into.push_back(source);
    }
    std::sort(into.begin(), into.end(),
              [](const auto& a, const auto& b) { return a->compareNames(*b) < 0; });
}

void makeBuiltIns() {
    Registry& r = registry();
    if (r.builtInsMade) {
        return;
    }
    r.builtInsMade = true;
    makeList(QString::fromLatin1(kHolidayKeys).split(QLatin1Char(' ')), Kind::Holiday, r.holidays);
    makeList({QStringLiteral("christian"), QStringLiteral("judaism"), QStringLiteral("islamic"),
              QStringLiteral("orthodox_christianity")},
             Kind::Religious, r.religious);
    makeList({QStringLiteral("#daynum"), QStringLiteral("#hebrew"), QStringLiteral("#stardate")},
             Kind::Special, r.misc);
    // The sports calendars' rows are not shipped yet: the list stays empty.
}

}  // namespace

QColor CalSource::defaultColor() {
    return QColor::fromRgbF(0.42f, 0.42f, 0.55f, 1.0f);
}

std::shared_ptr<CalSource> CalSource::initWithToken(const QString& token, const QString& name,
                                                    const QUrl& url) {
    std::shared_ptr<CalSource> source(new CalSource());
    source->token_ = token;
    source->name_ = name;
    source->url_ = url;
    if (!token.isEmpty()) {
        registry().byToken.insert(token, source);
    }
    return source;
}

const std::vector<std::shared_ptr<CalSource>>& CalSource::publicCalendars() {
    makeBuiltIns();
    return registry().holidays;
}
const std::vector<std::shared_ptr<CalSource>>& CalSource::publicCalendars_Religious() {
    makeBuiltIns();
    return registry().religious;
}
const std::vector<std::shared_ptr<CalSource>>& CalSource::publicCalendars_Sports() {
    makeBuiltIns();
    return registry().sports;
}
const std::vector<std::shared_ptr<CalSource>>& CalSource::publicCalendars_Misc() {
    makeBuiltIns();
    return registry().misc;
}

std::shared_ptr<CalSource> CalSource::findSourceWithToken(const QString& token) {
    makeBuiltIns();
    return registry().byToken.value(token);
}

std::shared_ptr<CalSource> CalSource::findOrCreateSourceWithToken(const QString& token) {
    if (auto found = findSourceWithToken(token)) {
        return found;
    }
    return initWithToken(token, {}, {});
}

void CalSource::removeSourceWithToken(const QString& token) {
    Registry& r = registry();
    const auto source = r.byToken.value(token);
    if (!source) {
        return;
    }
    r.holidays.erase(std::remove(r.holidays.begin(), r.holidays.end(), source), r.holidays.end());
    r.byToken.remove(token);
}

std::vector<std::shared_ptr<CalSource>> CalSource::enabledSources() {
    makeBuiltIns();
    std::vector<std::shared_ptr<CalSource>> out;
    for (const auto& source : std::as_const(registry().byToken)) {
        if (source->enabled()) {
            out.push_back(source);
        }
    }
    return out;
}

void CalSource::resetRegistryForTesting() {
    registry() = Registry{};
}

bool CalSource::fallBackToAltURL() {
    if (!altURL_.isValid() || altURL_.isEmpty()) {
        return false;
    }
    url_ = altURL_;
    altURL_ = QUrl();
    return true;
}

QVariantList CalSource::prefEncoding() const {
    return {ColorExtras::asData(displayColor_), enabled_, order_, highlightType_};
}

void CalSource::updateFromPrefEncoding(const std::optional<QVariantList>& encoding) {
    if (!encoding) {
        return;
    }
    const QVariantList& e = *encoding;
    if (!e.isEmpty() && e[0].typeId() == QMetaType::QByteArray) {
        setDisplayColor(ColorExtras::color(e[0].toByteArray()).value_or(QColor()));
    }
    auto isNumber = [](const QVariant& v) {
        const int type = v.typeId();
        return type == QMetaType::Bool || type == QMetaType::Int || type == QMetaType::LongLong ||
               type == QMetaType::UInt || type == QMetaType::ULongLong || type == QMetaType::Double;
    };
    if (e.size() > 1 && isNumber(e[1])) {
        enabled_ = e[1].toBool();
    }
    if (e.size() > 2 && isNumber(e[2]) && e[2].toInt() >= 2) {
        order_ = e[2].toInt();
    }
    if (e.size() >= 4 && isNumber(e[3])) {
        highlightType_ = e[3].toInt();
    }
}

int CalSource::compare(const CalSource& other) const {
    if (this == &other) {
        return 0;
    }
    if (order_ != other.order_) {
        return order_ < other.order_ ? -1 : 1;
    }
    return compareNames(other);
}

int CalSource::compareNames(const CalSource& other) const {
    const int c = name_.compare(other.name_);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool CalSource::isEqual(const CalSource& other) const {
    if (this == &other) {
        return true;
    }
    return !token_.isEmpty() && token_ == other.token_;
}

void SourceHighlight::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeInt32(QStringLiteral("dot"), dotValue_);
    coder.encodeData(QStringLiteral("color"), ColorExtras::asData(color_));
}

std::optional<SourceHighlight> SourceHighlight::initWithCoder(
    const platform::KeyedUnarchiver& coder) {
    return SourceHighlight(
        ColorExtras::color(coder.decodeData(QStringLiteral("color"))).value_or(QColor()),
        coder.decodeInt32(QStringLiteral("dot")));
}

void CalSource::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeString(QStringLiteral("identifier"), identifier_);
    coder.encodeString(QStringLiteral("summary"), name_);
    coder.encodeString(QStringLiteral("token"), token_);
    coder.encodeString(QStringLiteral("url"), url_.toString());
    coder.encodeString(QStringLiteral("alturl"), altURL_.toString());
    coder.encodeInt32(QStringLiteral("refresh"), refreshInterval_);
    coder.encodeInt32(QStringLiteral("order"), order_);
    coder.encodeBool(QStringLiteral("auth"), requireAuth_);
    coder.encodeBool(QStringLiteral("create"), canCreate_);
    coder.encodeData(QStringLiteral("color"), ColorExtras::asData(displayColor_));
}

std::shared_ptr<CalSource> CalSource::initWithCoder(const platform::KeyedUnarchiver& coder) {
    auto source = initWithToken(coder.decodeString(QStringLiteral("token")),
                                coder.decodeString(QStringLiteral("summary")),
                                QUrl(coder.decodeString(QStringLiteral("url"))));
    source->identifier_ = coder.decodeString(QStringLiteral("identifier"));
    source->altURL_ = QUrl(coder.decodeString(QStringLiteral("alturl")));
    source->refreshInterval_ = coder.decodeInt32(QStringLiteral("refresh"));
    source->order_ = coder.decodeInt32(QStringLiteral("order"));
    source->requireAuth_ = coder.decodeBool(QStringLiteral("auth"));
    source->canCreate_ = coder.decodeBool(QStringLiteral("create"));
    source->setDisplayColor(
        ColorExtras::color(coder.decodeData(QStringLiteral("color"))).value_or(QColor()));
    return source;
}

QString CalSource::description() const {
    return QStringLiteral("<CalSource %1> %2 order %3 %4 %5")
        .arg(QString::number(reinterpret_cast<quintptr>(this), 16), name_, QString::number(order_),
             enabled_ ? QStringLiteral("enabled") : QStringLiteral("disabled"),
             url_.isEmpty() ? QStringLiteral("no url") : QStringLiteral("url"));
}

}  // namespace talvor
