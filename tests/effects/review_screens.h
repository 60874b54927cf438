// Keeps a frame as "<name>.bmp" in `dir` for a person to look at. The
// screenshot writer always names its file the same, and the picture tests
// run in parallel processes, so each frame is written into a folder of its
// own first. A frame that cannot be kept fails nothing: it is only for review.
#pragma once

#include "Veapi/screenshot.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace effecttest {

inline void KeepForReview(const std::filesystem::path& dir, const std::string& name)
{
    std::error_code ec;
    const std::filesystem::path own = dir / ("." + name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(own, ec);
    const std::filesystem::path saved = Screenshot::Save(own);
    if (!saved.empty())
        std::filesystem::rename(saved, dir / (name + ".bmp"), ec);
    std::filesystem::remove_all(own, ec);
}

} // namespace effecttest
