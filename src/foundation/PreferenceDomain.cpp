#include "PreferenceDomain.h"
