#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace talvor::platform {

struct Notification {
    QString name;
    // The sender or subject: a pointer (QVariant::fromValue<const void*>), a string, ...
    QVariant object;
    QVariantMap userInfo;
};

namespace detail {
struct ObserverRegistry;
}

// Keeps an observer registered; destroying or resetting it removes the observer. Safe to
// outlive the centre.
class Observation {
  public:
    Observation() = default;
    Observation(std::weak_ptr<detail::ObserverRegistry> registry, std::uint64_t id)
        : registry_(std::move(registry)), id_(id) {}
    Observation(Observation&& other) noexcept;
    Observation& operator=(Observation&& other) noexcept;
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;
    ~Observation() { reset(); }

    void reset();
    bool isActive() const { return id_ != 0 && !registry_.expired(); }

  private:
    std::weak_ptr<detail::ObserverRegistry> registry_;
    std::uint64_t id_ = 0;
};

namespace detail {
// Observers by name and object, shared by the local and the distributed centre. An observer
// removed while a notification is being delivered is not called afterwards, even by that
// delivery; one added during a delivery first hears the next post.
struct ObserverRegistry : std::enable_shared_from_this<ObserverRegistry> {
    using Callback = std::function<void(const Notification&)>;
    Observation add(const QString& name, const QVariant& object, Callback callback);
    void remove(std::uint64_t id);
    void deliver(const Notification& note);

    struct Entry;
    std::mutex mutex;
    std::vector<std::shared_ptr<Entry>> entries;
    std::uint64_t nextId = 1;
};
}  // namespace detail

// The in-process notification centre: synchronous delivery, on the posting thread, to the
// observers whose name (empty: any) and object (invalid: any) match.
class NotificationCenter {
  public:
    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    static NotificationCenter& defaultCenter();

    [[nodiscard]] Observation addObserver(const QString& name, const QVariant& object,
                                          std::function<void(const Notification&)> callback);
    void post(const QString& name, const QVariant& object = QVariant(),
              const QVariantMap& userInfo = QVariantMap());

  private:
    std::shared_ptr<detail::ObserverRegistry> registry_;
};

// The object of a notification whose sender is `p`.
template <typename T>
QVariant senderObject(const T* p) {
    return QVariant::fromValue(static_cast<const void*>(p));
}

}  // namespace talvor::platform
