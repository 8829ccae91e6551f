#include "KeyedArchiver.h"
