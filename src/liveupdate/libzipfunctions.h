#pragma once

#include <zip.h>

// libzip's functions that the extraction calls, looked up when first needed rather than linked
// (see SystemLibrary): only installing an update uses them.
struct LibZip {
    decltype(&::zip_compression_method_supported) compression_method_supported;
    decltype(&::zip_discard) discard;
    decltype(&::zip_encryption_method_supported) encryption_method_supported;
    decltype(&::zip_error_code_zip) error_code_zip;
    decltype(&::zip_error_fini) error_fini;
    decltype(&::zip_error_init_with_code) error_init_with_code;
    decltype(&::zip_error_strerror) error_strerror;
    decltype(&::zip_fclose) fclose;
    decltype(&::zip_file_get_error) file_get_error;
    decltype(&::zip_file_get_external_attributes) file_get_external_attributes;
    decltype(&::zip_file_strerror) file_strerror;
    decltype(&::zip_fopen_index) fopen_index;
    decltype(&::zip_fopen_index_encrypted) fopen_index_encrypted;
    decltype(&::zip_fread) fread;
    decltype(&::zip_get_archive_comment) get_archive_comment;
    decltype(&::zip_get_error) get_error;
    decltype(&::zip_get_name) get_name;
    decltype(&::zip_get_num_entries) get_num_entries;
    decltype(&::zip_libzip_version) libzip_version;
    decltype(&::zip_open) open;
    decltype(&::zip_stat_index) stat_index;
    decltype(&::zip_stat_init) stat_init;
    decltype(&::zip_strerror) strerror;
};

// Null when libzip or one of these functions cannot be loaded.
const LibZip *libZip();
