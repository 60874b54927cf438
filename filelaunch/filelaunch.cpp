// libfilelaunch: opens a document with the program the desktop associates
// with its content type and waits until that program ends. Loaded by outside
// callers by name; open_document is the one symbol it exports.
//
// Paths have no length limit here: the path goes from the caller to the
// program's argument vector in heap strings, never through a fixed buffer,
// so a long path arrives whole and nothing is truncated or overrun. A path
// the file system itself refuses (longer than PATH_MAX, or a component longer
// than NAME_MAX) cannot be looked up and is treated like a missing file:
// nothing is started.
#include "filelaunch/filelaunch.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using ObjectRef = std::unique_ptr<T, ObjectUnref>;

struct Free {
    void operator()(gpointer block) const { g_free(block); }
};
using OwnedText = std::unique_ptr<char, Free>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using OwnedError = std::unique_ptr<GError, ErrorFree>;

struct KeyFileFree {
    void operator()(GKeyFile* keys) const { g_key_file_free(keys); }
};
using OwnedKeyFile = std::unique_ptr<GKeyFile, KeyFileFree>;

// The desktop starts a bus-activatable application by a message to the
// session bus, which leaves no process of ours to wait for. Such entries must
// still carry a working Exec line, so a copy without the bus flag makes GIO
// start the program itself.
ObjectRef<GDesktopAppInfo> WithoutBusActivation(GDesktopAppInfo* app)
{
    const char* file = g_desktop_app_info_get_filename(app);
    if (file == nullptr) {
        return nullptr;
    }
    OwnedKeyFile keys(g_key_file_new());
    if (!g_key_file_load_from_file(keys.get(), file, G_KEY_FILE_KEEP_TRANSLATIONS, nullptr)) {
        return nullptr;
    }
    g_key_file_remove_key(keys.get(), G_KEY_FILE_DESKTOP_GROUP, "DBusActivatable", nullptr);
    return ObjectRef<GDesktopAppInfo>(g_desktop_app_info_new_from_keyfile(keys.get()));
}

void RememberChild(GDesktopAppInfo* /*app*/, GPid pid, gpointer children)
{
    static_cast<std::vector<GPid>*>(children)->push_back(pid);
}

void WaitForExit(GPid pid)
{
    // The exit code means nothing to the caller; only the end matters.
    while (waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
    }
    g_spawn_close_pid(pid);
}

void OpenWithDefaultProgram(const char* path)
{
    ObjectRef<GFile> file(g_file_new_for_path(path));

    // Fails for a missing file or a path the system refuses.
    ObjectRef<GFileInfo> info(g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                                G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
    if (!info) {
        return;
    }
    const char* type = g_file_info_get_content_type(info.get());
    if (type == nullptr) {
        return;
    }

    ObjectRef<GAppInfo> chosen(g_app_info_get_default_for_type(type, FALSE));
    if (!chosen || !G_IS_DESKTOP_APP_INFO(chosen.get())) {
        return;
    }
    auto* app = G_DESKTOP_APP_INFO(chosen.get());
    ObjectRef<GDesktopAppInfo> spawnable;
    if (g_desktop_app_info_get_boolean(app, "DBusActivatable")) {
        spawnable = WithoutBusActivation(app);
        if (spawnable) {
            app = spawnable.get();
        }
    }

    // The program gets the document as one argument vector entry (through the
    // Exec line's file code), so blanks and quotes in the path need no quoting.
    // A relative path arrives made absolute: the same file, whatever the
    // program's working folder.
    OwnedText uri(g_file_get_uri(file.get()));
    GList uris{};
    uris.data = uri.get();

    // A program that cannot be started leaves the list empty: nothing to wait for.
    std::vector<GPid> children;
    GError* raw_error = nullptr;
    g_desktop_app_info_launch_uris_as_manager(
        app, &uris, nullptr,
        static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
        nullptr, RememberChild, &children, &raw_error);
    OwnedError error(raw_error);

    for (GPid child : children) {
        WaitForExit(child);
    }
}

}  // namespace

// Always 0: callers never learned of failures, and they rely on that.
extern "C" __attribute__((visibility("default"))) int32_t open_document(const char* path)
{
    if (path != nullptr && path[0] != '\0') {
        OpenWithDefaultProgram(path);
    }
    return 0;
}
