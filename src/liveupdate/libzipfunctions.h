#pragma once

#include <zip.h>

// libzip's functions that the extraction calls, looked up when first needed rather than linked
// (see SystemLibrary): only installing an update uses them. One list makes both the table and its
// lookup, so that no function can be in one and missing from the other.
#define LIBZIP_FUNCTIONS(F) \
    F(compression_method_supported) \
    F(discard) \
    F(encryption_method_supported) \
    F(error_code_zip) \
    F(error_fini) \
    F(error_init_with_code) \
    F(error_strerror) \
    F(fclose) \
    F(file_get_error) \
    F(file_get_external_attributes) \
    F(file_strerror) \
    F(fopen_index) \
    F(fopen_index_encrypted) \
    F(fread) \
    F(get_archive_comment) \
    F(get_error) \
    F(get_name) \
    F(get_num_entries) \
    F(libzip_version) \
    F(open) \
    F(stat_index) \
    F(stat_init) \
    F(strerror)

struct LibZip {
#define LIBZIP_MEMBER(name) decltype(&::zip_##name) name;
    LIBZIP_FUNCTIONS(LIBZIP_MEMBER)
#undef LIBZIP_MEMBER
};

// Null when libzip or one of these functions cannot be loaded.
const LibZip *libZip();
