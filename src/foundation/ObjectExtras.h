#pragma once

#include "platform/Scheduler.h"

#include <QObject>
#include <QPointer>

#include <cstddef>
#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

namespace talvor {

// A call of a method on a target that may go away. The target is held weakly: once it is
// gone the invocation does nothing, so a callback never reaches a destroyed window or
// controller. Objects bound when it was built are kept with it; `Args` are the arguments
// still to be given by whoever invokes it.
template <typename... Args>
class Invocation {
  public:
    Invocation() = default;
    Invocation(std::function<bool(Args...)> call, std::function<bool()> targetAlive)
        : call_(std::move(call)), alive_(std::move(targetAlive)) {}

    // Runs the call; false when nothing ran (an empty invocation, or the target is gone).
    bool invoke(Args... args) const { return call_ ? call_(std::forward<Args>(args)...) : false; }
    bool operator()(Args... args) const { return invoke(std::forward<Args>(args)...); }

    bool isTargetAlive() const { return alive_ && alive_(); }
    explicit operator bool() const { return static_cast<bool>(call_); }

  private:
    std::function<bool(Args...)> call_;
    std::function<bool()> alive_;
};

namespace ObjectExtras {
namespace detail {

template <typename M>
struct MethodTraits;
template <typename C, typename R, typename... P>
struct MethodTraits<R (C::*)(P...)> {
    using Params = std::tuple<P...>;
};
template <typename C, typename R, typename... P>
struct MethodTraits<R (C::*)(P...) const> : MethodTraits<R (C::*)(P...)> {};
template <typename C, typename R, typename... P>
struct MethodTraits<R (C::*)(P...) noexcept> : MethodTraits<R (C::*)(P...)> {};
template <typename C, typename R, typename... P>
struct MethodTraits<R (C::*)(P...) const noexcept> : MethodTraits<R (C::*)(P...)> {};

// The invocation type left after binding the first N parameters.
template <std::size_t N, typename Tuple>
struct Remaining;
template <typename... P>
struct Remaining<0, std::tuple<P...>> {
    using type = Invocation<P...>;
};
template <std::size_t N, typename H, typename... P>
requires(N > 0) struct Remaining<N, std::tuple<H, P...>> {
    using type = typename Remaining<N - 1, std::tuple<P...>>::type;
};

template <typename Lock, typename Alive, typename Method, typename Bound, typename... Rest>
Invocation<Rest...> make(Lock lock, Alive alive, Method method, Bound bound,
                         std::type_identity<Invocation<Rest...>>) {
    auto call = [lock = std::move(lock), method, bound = std::move(bound)](Rest... rest) -> bool {
        auto target = lock();
        if (!target) {
            return false;
        }
        std::apply(
            [&](const auto&... objects) {
                std::invoke(method, *target, objects..., std::forward<Rest>(rest)...);
            },
            bound);
        return true;
    };
    return Invocation<Rest...>(std::move(call), std::move(alive));
}

template <typename Method, typename... Objects>
using InvocationFor =
    typename Remaining<sizeof...(Objects), typename MethodTraits<Method>::Params>::type;

}  // namespace detail

// buildInvocation:withObject:andObject:andObject: with a target owned by shared pointers:
// the method on the target, the given objects (up to three, copied and kept) as its first
// arguments. A method the target does not have is a compile-time error.
template <typename T, typename Method, typename... Objects>
auto buildInvocation(const std::weak_ptr<T>& target, Method selector, Objects&&... objects) {
    static_assert(sizeof...(Objects) <= 3, "an invocation binds at most three objects");
    using Result = detail::InvocationFor<Method, Objects...>;
    return detail::make([target] { return target.lock(); }, [target] { return !target.expired(); },
                        selector, std::make_tuple(std::forward<Objects>(objects)...),
                        std::type_identity<Result>{});
}

template <typename T, typename Method, typename... Objects>
auto buildInvocation(const std::shared_ptr<T>& target, Method selector, Objects&&... objects) {
    return buildInvocation(std::weak_ptr<T>(target), selector, std::forward<Objects>(objects)...);
}

// The same with a QObject target, followed through a QPointer.
template <typename T, typename Method, typename... Objects>
requires std::is_base_of_v<QObject, T>
auto buildInvocation(T* target, Method selector, Objects&&... objects) {
    static_assert(sizeof...(Objects) <= 3, "an invocation binds at most three objects");
    using Result = detail::InvocationFor<Method, Objects...>;
    QPointer<T> weak(target);
    return detail::make([weak] { return weak.data(); }, [weak] { return !weak.isNull(); }, selector,
                        std::make_tuple(std::forward<Objects>(objects)...),
                        std::type_identity<Result>{});
}

// True on the thread of the application's main loop (or when there is no application yet).
bool isMainThread();

// performSelector:withObject:andObject:(andObject:)afterDelay: for an invocation built
// with its objects: a delay above 0 runs it once on a main-loop timer of that delay (set up
// there when asked from another thread), otherwise it runs at once. A target gone by then
// is skipped.
void performSelector(Invocation<> invocation, double afterDelay,
                     platform::Scheduler& scheduler = platform::Scheduler::shared());

// performSelectorOnMainThread:withObject:andObject:waitUntilDone: has the main loop run the
// invocation. Waiting from the main thread itself runs it at once (a queued wait there
// would never end); a wait also ends if the main loop drops the work without running it.
void performSelectorOnMainThread(Invocation<> invocation, bool waitUntilDone,
                                 platform::Scheduler& scheduler = platform::Scheduler::shared());

}  // namespace ObjectExtras
}  // namespace talvor
