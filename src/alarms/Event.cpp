#include "Event.h"

#include "CodingHelpers.h"

#include "AlarmsKeys.h"
#include "platform/KeyedArchiver.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QVariantList>

namespace talvor {

using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

namespace {

const QString kUid = QStringLiteral("uid");
const QString kName = QStringLiteral("name");
const QString kTime = QStringLiteral("time");
const QString kDisplayMode = QStringLiteral("displayMode");
const QString kResolution = QStringLiteral("resolution");
const QString kDaysBefore = QStringLiteral("daysBefore");
const QString kHoursBefore = QStringLiteral("hoursBefore");
const QString kSoundPath = QStringLiteral("soundPath");
const QString kKeys = QStringLiteral("NS.keys");
const QString kObjects = QStringLiteral("NS.objects");

using alarms_coding::decodeText;
using alarms_coding::encodeText;

// The root object of the store's archive: the keys and the events, in step.
struct ArchivedEvents {
    EventsDictionary events;

    static QString archiveClassName() { return QStringLiteral("NSMutableDictionary"); }
    void encodeWithCoder(KeyedArchiver& coder) const {
        QVariantList keys;
        QList<Event> objects;
        for (auto it = events.cbegin(); it != events.cend(); ++it) {
            keys.append(it.key());
            objects.append(it.value());
        }
        coder.encodeValue(kKeys, keys);
        coder.encodeObjects(kObjects, objects);
    }
    static std::optional<ArchivedEvents> initWithCoder(const KeyedUnarchiver& coder) {
        const QVariantList keys = coder.decodeValue(kKeys).toList();
        const QList<Event> objects = coder.decodeObjects<Event>(kObjects);
        ArchivedEvents root;
        // Keys and events pair up only when none was lost; else each event goes by its uid.
        const bool paired = keys.size() == objects.size();
        for (qsizetype i = 0; i < objects.size(); ++i) {
            const QVariant key = paired ? keys[i] : QVariant();
            root.events.insert(
                key.typeId() == QMetaType::QString ? key.toString() : objects[i].uid(), objects[i]);
        }
        return root;
    }
};

}  // namespace

Event::Event(QString uid, QString name, Date time, int32_t displayMode, int32_t resolution,
             int32_t daysBefore, int32_t hoursBefore, QString soundPath)
    : eventDisplayMode_(displayMode),
      eventResolution_(resolution),
      daysBefore_(daysBefore),
      hoursBefore_(hoursBefore),
      uid_(std::move(uid)),
      eventName_(std::move(name)),
      eventTime_(time),
      soundPath_(std::move(soundPath)) {}

void Event::encodeWithCoder(KeyedArchiver& coder) const {
    encodeText(coder, kUid, uid_);
    encodeText(coder, kName, eventName_);
    coder.encodeDate(kTime, eventTime_);
    coder.encodeInt32(kDisplayMode, eventDisplayMode_);
    coder.encodeInt32(kResolution, eventResolution_);
    coder.encodeInt32(kDaysBefore, daysBefore_);
    coder.encodeInt32(kHoursBefore, hoursBefore_);
    encodeText(coder, kSoundPath, soundPath_);
}

std::optional<Event> Event::initWithCoder(const KeyedUnarchiver& coder) {
    return Event(decodeText(coder, kUid), decodeText(coder, kName),
                 coder.decodeDate(kTime).value_or(Date()), coder.decodeInt32(kDisplayMode),
                 coder.decodeInt32(kResolution), coder.decodeInt32(kDaysBefore),
                 coder.decodeInt32(kHoursBefore), decodeText(coder, kSoundPath));
}

EventsDictionary loadEvents() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    if (!defaults.objectForKey(keys::StoredEventsKey).isValid()) {
        return {};
    }
    const std::optional<ArchivedEvents> root =
        KeyedUnarchiver::unarchiveObjectWithData<ArchivedEvents>(
            defaults.dataForKey(keys::StoredEventsKey));
    if (!root) {
        platform::log(QStringLiteral("The stored count-down events cannot be read"));
        return {};
    }
    return root->events;
}

void saveEvents(const EventsDictionary& events) {
    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(ArchivedEvents{events});
    if (data.isEmpty()) {
        platform::log(QStringLiteral("The count-down events could not be archived"));
        return;
    }
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setObject(QVariant(data), keys::StoredEventsKey);
    if (!defaults.synchronize()) {
        platform::log(QStringLiteral("The count-down events could not be saved"));
    }
}

}  // namespace talvor
