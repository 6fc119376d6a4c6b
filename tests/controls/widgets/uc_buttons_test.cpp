#include "controls/widgets/uc_buttons.h"
