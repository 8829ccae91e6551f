#include "NotificationCenter.h"

namespace talvor::platform {

namespace detail {

struct ObserverRegistry::Entry {
    std::uint64_t id = 0;
    QString name;
    QVariant object;
    Callback callback;
    std::atomic<bool> alive{true};
};

Observation ObserverRegistry::add(const QString& name, const QVariant& object, Callback callback) {
    auto e = std::make_shared<Entry>();
    e->name = name;
    e->object = object;
    e->callback = std::move(callback);
    std::lock_guard lock(mutex);
    e->id = nextId++;
    entries.push_back(e);
    return Observation(weak_from_this(), e->id);
}

void ObserverRegistry::remove(std::uint64_t id) {
    std::lock_guard lock(mutex);
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if ((*it)->id == id) {
            (*it)->alive = false;
            entries.erase(it);
            return;
        }
    }
}

void ObserverRegistry::deliver(const Notification& note) {
    std::vector<std::shared_ptr<Entry>> targets;
    {
        std::lock_guard lock(mutex);
        for (const auto& e : entries) {
            if ((e->name.isEmpty() || e->name == note.name) &&
                (!e->object.isValid() || e->object == note.object)) {
                targets.push_back(e);
            }
        }
    }
    for (const auto& e : targets) {
        if (e->alive) {
            e->callback(note);
        }
    }
}

}  // namespace detail

Observation::Observation(Observation&& other) noexcept
    : registry_(std::move(other.registry_)), id_(std::exchange(other.id_, 0)) {}

Observation& Observation::operator=(Observation&& other) noexcept {
    if (this != &other) {
        reset();
        registry_ = std::move(other.registry_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void Observation::reset() {
    if (id_ != 0) {
        if (auto r = registry_.lock()) {
            r->remove(id_);
        }
        id_ = 0;
    }
    registry_.reset();
}

NotificationCenter::NotificationCenter()
    : registry_(std::make_shared<detail::ObserverRegistry>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

Observation NotificationCenter::addObserver(const QString& name, const QVariant& object,
                                            std::function<void(const Notification&)> callback) {
    return registry_->add(name, object, std::move(callback));
}

void NotificationCenter::post(const QString& name, const QVariant& object,
                              const QVariantMap& userInfo) {
    registry_->deliver(Notification{name, object, userInfo});
}

}  // namespace talvor::platform
