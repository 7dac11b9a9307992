#include "loop/app_state.h"

AppState app_state;
