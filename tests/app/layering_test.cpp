// The folders' layers, checked on the source tree itself: a folder includes
// only folders beneath it, its CMake DEPS name exactly the folders it
// includes, and the system media and desktop libraries are included only
// where they are wrapped.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Bottom to top: each folder may include those before it. app/ holds two
// floors, the runtime at the bottom and the shell over every subsystem.
// The game-side chunk loaders (chunk/loaders) build engine shapes, so they
// sit over the 3-D engine.
const std::vector<std::string> kLayers = {"platform", "app",     "chunk",   "script",  "Veapi",
                                          "chunk/loaders", "media", "world", "objects", "session",
                                          "console", "effects", "ui", "app/shell"};

// The programs beside the layers and what they may include.
const std::map<std::string, std::set<std::string>> kPrograms = {
    {"tools/rifdump", {"platform", "app", "chunk"}},
    {"filelaunch", {}},
    {"sample", {"platform", "app", "chunk", "script", "Veapi", "chunk/loaders", "media", "world", "objects",
                "session", "console", "effects", "ui"}},
};

// CMake target of each folder.
const std::map<std::string, std::string> kTargets = {
    {"app/shell", "shell"}, {"chunk/loaders", "loaders"}, {"tools/rifdump", "rifdump_report"},
    {"sample", "sample_gen"}};

struct SystemLibrary {
    const char* name;
    std::regex header;
    std::set<std::string> folders; // the only folders that may include it
};

fs::path SourceRoot()
{
    return fs::path(TREVOK_FIXTURES_DIR).parent_path().parent_path();
}

std::string ReadText(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The folder an include names ("app/shell/x.h" is app/shell), or empty.
std::string FolderOf(const std::string& include)
{
    for (const char* nested : {"app/shell/", "chunk/loaders/", "tools/rifdump/"})
        if (include.rfind(nested, 0) == 0)
            return std::string(nested, std::char_traits<char>::length(nested) - 1);
    const size_t slash = include.find('/');
    return slash == std::string::npos ? std::string() : include.substr(0, slash);
}

struct Include {
    std::string file; // relative to the root
    std::string text; // between the quotes or brackets
    bool system = false;
};

// Every include of the files directly in `folder` (app/ without app/shell).
std::vector<Include> IncludesOf(const std::string& folder)
{
    static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^">]+)[">])");
    std::vector<Include> out;
    for (const auto& entry : fs::directory_iterator(SourceRoot() / folder)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".c" && ext != ".l" && ext != ".y"))
            continue;
        std::istringstream lines(ReadText(entry.path()));
        std::string line;
        std::smatch m;
        while (std::getline(lines, line))
            if (std::regex_search(line, m, kInclude))
                out.push_back({folder + "/" + entry.path().filename().string(), m[2].str(), m[1].str() == "<"});
    }
    return out;
}

std::set<std::string> Allowed(const std::string& folder)
{
    if (auto p = kPrograms.find(folder); p != kPrograms.end())
        return p->second;
    const auto at = std::find(kLayers.begin(), kLayers.end(), folder);
    return std::set<std::string>(kLayers.begin(), at);
}

std::vector<std::string> AllFolders()
{
    std::vector<std::string> all = kLayers;
    for (const auto& [folder, allowed] : kPrograms)
        all.push_back(folder);
    return all;
}

// The libraries a folder's CMakeLists links its target to, as folder names.
std::set<std::string> CMakeDeps(const std::string& folder)
{
    const std::string text = ReadText(SourceRoot() / folder / "CMakeLists.txt");
    const auto target = kTargets.count(folder) ? kTargets.at(folder) : folder;
    std::smatch m;
    std::string list;
    const std::regex library("trevok_library\\(" + target + "([^)]*)\\)");
    const std::regex link("target_link_libraries\\(" + target + "\\s+(?:PUBLIC|PRIVATE)([^)]*)\\)");
    if (std::regex_search(text, m, library)) {
        list = m[1].str();
        const size_t deps = list.find("DEPS");
        list = deps == std::string::npos ? "" : list.substr(deps + 4);
        list = list.substr(0, list.find("EXCLUDE"));
    } else if (std::regex_search(text, m, link)) {
        list = m[1].str();
    }
    std::set<std::string> out;
    std::istringstream words(list);
    std::string w;
    while (words >> w) {
        if (w.find("::") != std::string::npos || w.find('$') != std::string::npos)
            continue; // system libraries
        for (const auto& [f, t] : kTargets)
            if (w == t)
                w = f;
        out.insert(w);
    }
    return out;
}

TEST(Layering, FoldersIncludeOnlyFoldersBeneathThem)
{
    for (const std::string& folder : AllFolders()) {
        const std::set<std::string> allowed = Allowed(folder);
        for (const Include& inc : IncludesOf(folder)) {
            if (inc.system)
                continue;
            const std::string to = FolderOf(inc.text);
            if (to.empty() || to == folder)
                continue;
            EXPECT_TRUE(allowed.count(to)) << inc.file << " includes \"" << inc.text << "\": " << folder
                                           << " lies beneath " << to;
        }
    }
}

TEST(Layering, EachFoldersDependenciesAreTheFoldersItIncludes)
{
    for (const std::string& folder : AllFolders()) {
        std::set<std::string> included;
        for (const Include& inc : IncludesOf(folder)) {
            const std::string to = inc.system ? std::string() : FolderOf(inc.text);
            if (!to.empty() && to != folder)
                included.insert(to);
        }
        if (folder == "filelaunch")
            continue; // a shared library of its own, linked to GIO alone
        const std::set<std::string> deps = CMakeDeps(folder);
        for (const std::string& to : included)
            EXPECT_TRUE(deps.count(to)) << folder << " includes " << to << " but its CMake DEPS lack it";
        for (const std::string& dep : deps)
            EXPECT_TRUE(included.count(dep)) << folder << " links " << dep << " but includes nothing of it";
    }
}

TEST(Layering, SystemMediaAndDesktopHeadersOnlyWhereTheyAreWrapped)
{
    const std::set<std::string> platformOnly = {"platform"};
    const SystemLibrary libraries[] = {
        {"SDL", std::regex("^SDL2?/|^SDL[_.]"), platformOnly},
        {"OpenGL", std::regex("^(GL|EGL|GLES[0-9]*)/"), platformOnly},
        {"OpenAL", std::regex("^(AL/|al\\.h|alc\\.h|alext\\.h|efx\\.h)"), platformOnly},
        {"FFmpeg", std::regex("^lib(av|sw)[a-z]*/"), platformOnly},
        {"ENet", std::regex("^enet/"), platformOnly},
        {"GIO", std::regex("^(gio|glib|gobject)"), {"filelaunch"}},
    };
    for (const std::string& folder : AllFolders()) {
        for (const Include& inc : IncludesOf(folder)) {
            if (!inc.system)
                continue;
            for (const SystemLibrary& lib : libraries)
                EXPECT_FALSE(std::regex_search(inc.text, lib.header) && !lib.folders.count(folder))
                    << inc.file << " includes <" << inc.text << ">: " << lib.name << " belongs in "
                    << *lib.folders.begin();
        }
    }
}

} // namespace
