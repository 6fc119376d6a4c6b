#include "controls/widgets/uc_bar.h"
