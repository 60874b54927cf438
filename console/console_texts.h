// The program's own English texts for the string ids the console uses; the
// string table's texts win when the resource library has them.
#pragma once

#include <cstdint>
#include <map>

const std::map<uint32_t, const char*>& ConsoleTexts();
