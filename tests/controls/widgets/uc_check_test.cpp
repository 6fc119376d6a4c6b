#include "controls/widgets/uc_check.h"
