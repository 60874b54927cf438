// Moved beneath the platform layer so that its objects share the one count.
#pragma once
#include "platform/ref_counted.h"
