#pragma once

// User-defaults keys that the crash reporting reads.
namespace talvor::keys {

// Standard user defaults, boolean; the application registers its default as YES.
inline constexpr char NSApplicationCrashOnExceptions[] = "NSApplicationCrashOnExceptions";

}  // namespace talvor::keys
