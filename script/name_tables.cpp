#include "script/name_tables.h"

namespace script {

std::int32_t NameHashUpper(std::string_view name)
{
    std::uint32_t sum = 0;  // wraps like the signed sum it stands for
    for (char c : name) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
    }
    return static_cast<std::int32_t>(sum);
}

} // namespace script
