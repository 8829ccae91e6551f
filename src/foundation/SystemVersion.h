#pragma once

// The system version as the Parts test it. Talvor runs on Linux, where no macOS version
// exists; these report the macOS level whose behaviour the port follows: 10.15.0, newer
// than every version test in the Parts (10.4, 10.5, "10.14 or later"), so the old-system
// branches are never taken and the "10.14 or later" ones always are. Constants, so there
// is nothing to read or cache.
namespace talvor {

constexpr int OSMajorVersion() {
    return 10;
}
constexpr int OSMinorVersion() {
    return 15;
}
constexpr int OSPatchVersion() {
    return 0;
}
// True on 10.5 (the name is the original's).
constexpr bool OSIsTiger() {
    return OSMajorVersion() == 10 && OSMinorVersion() == 5;
}
// True on 10.4 (the name is the original's).
constexpr bool OSILeopard() {
    return OSMajorVersion() == 10 && OSMinorVersion() == 4;
}

}  // namespace talvor
