#include "controls/widgets/uc_slider.h"
