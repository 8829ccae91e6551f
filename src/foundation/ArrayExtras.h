#pragma once

#include "ObjectExtras.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

// Stack, queue and mapping operations on sequences (std::vector, QList, std::deque, ...).
namespace talvor::ArrayExtras {

template <typename C>
void push(C& array, typename C::value_type object) {
    array.push_back(std::move(object));
}

// The last object, removed; nullopt (and the array unchanged) when empty.
template <typename C>
std::optional<typename C::value_type> pop(C& array) {
    if (array.empty()) {
        return std::nullopt;
    }
    std::optional<typename C::value_type> last(std::move(array.back()));
    array.pop_back();
    return last;
}

template <typename C>
void unshift(C& array, typename C::value_type object) {
    array.insert(array.begin(), std::move(object));
}

// The first object, removed; nullopt (and the array unchanged) when empty.
template <typename C>
std::optional<typename C::value_type> shift(C& array) {
    if (array.empty()) {
        return std::nullopt;
    }
    std::optional<typename C::value_type> first(std::move(array.front()));
    array.erase(array.begin());
    return first;
}

// makeObject:performSelector: -- for each element e in order, the target's method with e,
// each on a later turn of the main loop; skipped once the target is gone.
template <typename C, typename Target, typename Method>
void makeObjectPerformSelector(const C& array, const Target& object, Method performSelector,
                               platform::Scheduler& scheduler = platform::Scheduler::shared()) {
    for (const auto& e : array) {
        scheduler.postToMain([invocation = ObjectExtras::buildInvocation(
                                  object, performSelector, e)] { invocation.invoke(); });
    }
}

// makeObject:mapSelector: -- the object's results of the method for each element, in order.
template <typename C, typename Object, typename Method>
auto makeObjectMapSelector(const C& array, Object&& object, Method mapSelector) {
    using R = std::decay_t<decltype(std::invoke(mapSelector, object, *std::begin(array)))>;
    std::vector<R> out;
    out.reserve(static_cast<std::size_t>(std::size(array)));
    for (const auto& e : array) {
        out.push_back(std::invoke(mapSelector, object, e));
    }
    return out;
}

// map: / map:withObject: -- the results of the method (or any callable) on each element,
// in order; an element may be a value or a pointer to the receiver.
template <typename C, typename Method, typename... Object>
requires(sizeof...(Object) <= 1) auto map(const C& array, Method selector,
                                          const Object&... withObject) {
    using R = std::decay_t<decltype(std::invoke(selector, *std::begin(array), withObject...))>;
    std::vector<R> out;
    out.reserve(static_cast<std::size_t>(std::size(array)));
    for (const auto& e : array) {
        out.push_back(std::invoke(selector, e, withObject...));
    }
    return out;
}

}  // namespace talvor::ArrayExtras

// Identity search and block insertion.
namespace talvor::MyExtensions {

// The array holds that very object (elements are pointers or smart pointers), not merely
// an equal one.
template <typename C, typename T>
bool containsObjectIdenticalTo(const C& array, const T* object) {
    return std::any_of(std::begin(array), std::end(array), [object](const auto& e) {
        return static_cast<const void*>(std::to_address(e)) == static_cast<const void*>(object);
    });
}

// The other array's objects in their order, the first at `atIndex` (clamped to the array).
template <typename C, typename Other>
void insertObjectsFromArray(C& array, const Other& objects, std::ptrdiff_t atIndex) {
    const auto size = static_cast<std::ptrdiff_t>(std::size(array));
    const std::ptrdiff_t at = std::clamp<std::ptrdiff_t>(atIndex, 0, size);
    array.insert(std::next(array.begin(), at), std::begin(objects), std::end(objects));
}

}  // namespace talvor::MyExtensions
