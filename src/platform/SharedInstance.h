#pragma once

#include <QCoreApplication>

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

namespace talvor {

// How a SharedInstance keeps the object it made itself.
enum class SharedLifetime {
    // Dropped with the application object (while fonts and the rest of Qt still work) or by
    // reset(); the next get() makes and loads a fresh one. The settings models.
    UntilAppExit,
    // Never destroyed: code may hold it while the process exits. Replaced by replace(), it is
    // kept alive as well and the next get() without a replacement makes a fresh one.
    ForProcess,
};

// The process-wide object of a class, in one of two ways:
//
//  - made here on first use (get(): by T::makeShared() where T has one, else T's default
//    constructor) and kept as `Lifetime` says;
//  - a seam's real object kept by its owner (getOr(real): the process's own that a stand-in
//    covers and that comes back when the stand-in goes).
//
// Either way a stand-in can be put in place: setStandIn(), replace() or an Override for a
// scope. The stand-in is read atomically, so seams asked from any thread can be swapped while
// those threads run; what get() makes is made on the main thread.
//
//   TalvorTimeSettings& t = SharedInstance<TalvorTimeSettings>::get();
//   SharedInstance<TalvorTimeSettings>::Override use(myModel);  // tests, a scope long
//   Clock& Clock::shared() { return SharedInstance<Clock>::getOr(&Clock::system); }
template <class T, SharedLifetime Lifetime = SharedLifetime::UntilAppExit>
class SharedInstance {
  public:
    // The stand-in when one is in place, else the object made here, made on first use.
    static T& get() {
        if (T* t = existing()) {
            return *t;
        }
        std::unique_ptr<T> made = make();
        if constexpr (Lifetime == SharedLifetime::UntilAppExit) {
            owned() = std::move(made);
            // A model outliving the application object would be torn down after the
            // libraries it holds onto.
            static const bool cleanupInstalled = [] {
                if (QCoreApplication::instance() != nullptr) {
                    qAddPostRoutine(&reset);
                }
                return true;
            }();
            (void)cleanupInstalled;
            return *owned();
        } else {
            kept() = made.release();
            return *kept();
        }
    }

    // The stand-in when one is in place, else `real()`: the owner's object, which this never
    // makes, keeps or drops.
    template <class Real>
    static T& getOr(Real&& real) {
        if (T* t = standIn().load()) {
            return *t;
        }
        return real();
    }

    // The object get() would give, without making one: the shut-down writes only a model
    // that was in use.
    static T* existing() {
        if (T* t = standIn().load()) {
            return t;
        }
        if constexpr (Lifetime == SharedLifetime::UntilAppExit) {
            return owned().get();
        } else {
            return kept();
        }
    }

    // Drops the object made here; the next get() makes and loads a fresh one.
    static void reset() requires(Lifetime == SharedLifetime::UntilAppExit) { owned().reset(); }

    // Puts `object` in place (not owned) until another is put or it goes; nullptr takes the
    // stand-in away.
    static void setStandIn(T* object) { standIn().store(object); }

    // As setStandIn(), and the object made here steps aside for good: still alive (code may
    // hold it) and reachable, so a leak checker does not count it lost.
    static void replace(T* object) requires(Lifetime == SharedLifetime::ForProcess) {
        // The object made here, handed back, stays ours: a later replace retires it.
        if (T* made = kept(); made != nullptr && made != object) {
            retired().emplace_back(made);
            kept() = nullptr;
        }
        standIn().store(object);
    }

    // From T's destructor: the object going is no longer handed out, whichever way it was
    // put in place.
    static void withdraw(T* dying) {
        T* expected = dying;  // a failed exchange writes what it found here
        standIn().compare_exchange_strong(expected, nullptr);
        if constexpr (Lifetime == SharedLifetime::ForProcess) {
            if (kept() == dying) {
                kept() = nullptr;
            }
        }
    }

    // Puts `standIn` in place of the shared object for the life of the override (not owned;
    // overrides nest).
    class Override {
      public:
        explicit Override(T& replacement) : previous_(standIn().exchange(&replacement)) {}
        ~Override() { standIn().store(previous_); }
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

      private:
        T* previous_;
    };

  private:
    static std::unique_ptr<T> make() {
        if constexpr (requires { T::makeShared(); }) {
            return T::makeShared();
        } else {
            return std::make_unique<T>();
        }
    }
    static std::unique_ptr<T>& owned() {
        static std::unique_ptr<T> object;
        return object;
    }
    static T*& kept() {
        static T* object = nullptr;
        return object;
    }
    static std::vector<std::unique_ptr<T>>& retired() {
        static auto* list = new std::vector<std::unique_ptr<T>>();
        return *list;
    }
    static std::atomic<T*>& standIn() {
        static std::atomic<T*> object{nullptr};
        return object;
    }
};

}  // namespace talvor
