// Puts texts into the program's string table for a test, through a resource
// library built in memory as the sample generator builds "tvres.dll".
#pragma once

#include "app/string_table.h"
#include "platform/resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

inline void LoadGlobalStringTable(const std::map<uint32_t, std::string>& texts)
{
    const auto bytes = platform::BuildStringTableLibrary(texts);
    const auto library = platform::ResourceLibrary::FromBytes(bytes.data(), bytes.size(), nullptr);
    ASSERT_TRUE(library);
    StringTable::Global().Free();
    StringTable::Global().Load(*library, StringTable::kFirstId, StringTable::kLastId);
}
