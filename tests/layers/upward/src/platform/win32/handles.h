// A handle type.
#pragma once
