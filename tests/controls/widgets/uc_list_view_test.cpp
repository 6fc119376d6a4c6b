#include "controls/widgets/uc_list_view.h"
