#pragma once
// A window-free file reaching up into the main window: the layer check must
// refuse it.
#include "app/Frame.h"
#include "base/Fine.h"
