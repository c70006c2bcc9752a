#pragma once

// The MAC texts are read in protocol/Mac.h; velomar-cli still includes them from here.
#include "protocol/Mac.h"
