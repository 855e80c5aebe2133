#include "libzipfunctions.h"

#include "platform/systemlibrary.h"

const LibZip *libZip()
{
    return SystemLibrary::functions<LibZip>(QStringLiteral("zip"), 4, [](SystemLibrary &library, LibZip &zip) {
#define LIBZIP_BIND(name) library.bind(zip.name, "zip_" #name);
        LIBZIP_FUNCTIONS(LIBZIP_BIND)
#undef LIBZIP_BIND
    });
}
