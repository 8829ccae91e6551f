#include "TalvorMenuBarFlags.h"

namespace talvor {

quint32 TalvorMenuBarFlags = 0;

}  // namespace talvor
