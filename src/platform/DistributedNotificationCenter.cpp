#include "DistributedNotificationCenter.h"
