#include "controls/widgets/uc_text_picture.h"
