// Moved beneath the platform layer so that every folder can use it.
#pragma once
#include "platform/byte_cursor.h"
