#include "controls/widgets/icon_strips.h"
