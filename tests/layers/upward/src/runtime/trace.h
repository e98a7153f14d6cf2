// A room that includes the entry above it.
#pragma once

#include "app/tool.h"
