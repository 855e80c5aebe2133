#include "libzipfunctions.h"

#include "platform/systemlibrary.h"

const LibZip *libZip()
{
    return SystemLibrary::functions<LibZip>(QStringLiteral("zip"), 4, [](SystemLibrary &library, LibZip &zip) {
        library.bind(zip.compression_method_supported, "zip_compression_method_supported");
        library.bind(zip.discard, "zip_discard");
        library.bind(zip.encryption_method_supported, "zip_encryption_method_supported");
        library.bind(zip.error_code_zip, "zip_error_code_zip");
        library.bind(zip.error_fini, "zip_error_fini");
        library.bind(zip.error_init_with_code, "zip_error_init_with_code");
        library.bind(zip.error_strerror, "zip_error_strerror");
        library.bind(zip.fclose, "zip_fclose");
        library.bind(zip.file_get_error, "zip_file_get_error");
        library.bind(zip.file_get_external_attributes, "zip_file_get_external_attributes");
        library.bind(zip.file_strerror, "zip_file_strerror");
        library.bind(zip.fopen_index, "zip_fopen_index");
        library.bind(zip.fopen_index_encrypted, "zip_fopen_index_encrypted");
        library.bind(zip.fread, "zip_fread");
        library.bind(zip.get_archive_comment, "zip_get_archive_comment");
        library.bind(zip.get_error, "zip_get_error");
        library.bind(zip.get_name, "zip_get_name");
        library.bind(zip.get_num_entries, "zip_get_num_entries");
        library.bind(zip.libzip_version, "zip_libzip_version");
        library.bind(zip.open, "zip_open");
        library.bind(zip.stat_index, "zip_stat_index");
        library.bind(zip.stat_init, "zip_stat_init");
        library.bind(zip.strerror, "zip_strerror");
    });
}
