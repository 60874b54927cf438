/* An outside caller of libfilelaunch: loads the library by path, finds
   open_document by its plain name and opens one document with it.
   Usage: dlopen_caller LIBRARY DOCUMENT */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef int32_t (*OpenDocument)(const char* path);

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s LIBRARY DOCUMENT\n", argv[0]);
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        return 3;
    }
    void* symbol = dlsym(library, "open_document");
    if (symbol == NULL) {
        fprintf(stderr, "%s has no open_document: %s\n", argv[1], dlerror());
        return 4;
    }
    OpenDocument open_document;
    memcpy(&open_document, &symbol, sizeof open_document);
    const int32_t result = open_document(argv[2]);
    printf("open_document returned %d\n", (int)result);
    if (dlclose(library) != 0) {
        fprintf(stderr, "cannot unload %s: %s\n", argv[1], dlerror());
        return 5;
    }
    return 0;
}
