#pragma once

#include <QCoreApplication>

#include <memory>

namespace talvor {

// The process-wide object of a settings model: made (and so loaded) on first use and owned
// here, or a stand-in put in place for a while. Main thread only.
//
//   TalvorTimeSettings& t = SharedInstance<TalvorTimeSettings>::get();
//   SharedInstance<TalvorTimeSettings>::Override use(myModel);  // tests, a scope long
template <class T>
class SharedInstance {
  public:
    // The stand-in when one is in place, else the process's own object, made on first use by
    // T::makeShared() where T has one, else by T's default constructor.
    static T& get() {
        if (T* t = existing()) {
            return *t;
        }
        if constexpr (requires { T::makeShared(); }) {
            owned() = T::makeShared();
        } else {
            owned() = std::make_unique<T>();
        }
        // Gone with the application object, while fonts and the rest of Qt still work; a
        // model outliving it would be torn down after the libraries it holds onto.
        static const bool cleanupInstalled = [] {
            if (QCoreApplication::instance() != nullptr) {
                qAddPostRoutine(&reset);
            }
            return true;
        }();
        (void)cleanupInstalled;
        return *owned();
    }

    // The object get() would give, without making one: the shut-down writes only a model
    // that was in use.
    static T* existing() { return standIn() != nullptr ? standIn() : owned().get(); }

    // Drops the process's own object; the next get() makes and loads a fresh one.
    static void reset() { owned().reset(); }

    // Puts `standIn` in place of the shared object for the life of the override (not owned;
    // overrides nest).
    class Override {
      public:
        explicit Override(T& replacement) : previous_(standIn()) { standIn() = &replacement; }
        ~Override() { standIn() = previous_; }
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

      private:
        T* previous_;
    };

  private:
    static std::unique_ptr<T>& owned() {
        static std::unique_ptr<T> object;
        return object;
    }
    static T*& standIn() {
        static T* object = nullptr;
        return object;
    }
};

}  // namespace talvor
