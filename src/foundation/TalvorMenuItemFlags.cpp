#include "TalvorMenuItemFlags.h"

#include "PreferenceDomain.h"

namespace talvor {

quint32 TalvorMenuItemFlags = kDefaultMenuItemFlags;

quint32 loadTalvorMenuItemFlags() {
    TalvorMenuItemFlags = static_cast<quint32>(
        PreferenceDomain::readInteger(MenuItemOptBits, static_cast<qint32>(kDefaultMenuItemFlags)));
    return TalvorMenuItemFlags;
}

void storeTalvorMenuItemFlags() {
    // Bit 31 travels as the sign of the stored integer.
    PreferenceDomain::writeInteger(MenuItemOptBits, static_cast<qint32>(TalvorMenuItemFlags));
}

}  // namespace talvor
