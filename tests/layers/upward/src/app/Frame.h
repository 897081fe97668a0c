#pragma once
#include "data/Bad.h"
