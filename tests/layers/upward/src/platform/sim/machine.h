// The simulated machine reaching into the real one beside it.
#pragma once

#include "platform/win32/handles.h"
