#include "controls/widgets/uc_path_text.h"
