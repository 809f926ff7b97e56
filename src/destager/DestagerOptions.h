#pragma once
// The command line moved to foundation/update so that the lower layers can take it; the main
// flow still includes it from here.

#include "foundation/update/DestagerOptions.h"
