#include "zipbuilder.h"

#include <QFile>
#include <QTemporaryFile>

#include <memory>
#include <vector>

bool buildZip(const QString &path, const Entries &entries, const QByteArray &comment)
{
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    std::vector<std::unique_ptr<QTemporaryFile>> zeroFiles;
    bool ok = true;
    for (const Entry &e : entries) {
        zip_source_t *source = nullptr;
        if (e.zeros > 0) {
            zeroFiles.push_back(std::make_unique<QTemporaryFile>());
            ok = ok && zeroFiles.back()->open() && zeroFiles.back()->resize(e.zeros);
            source
                = zip_source_file_create(QFile::encodeName(zeroFiles.back()->fileName()).constData(), 0, -1, nullptr);
        } else {
            source = zip_source_buffer(archive, e.data.constData(), zip_uint64_t(e.data.size()), 0);
        }
        const zip_int64_t index = zip_file_add(archive, e.name.constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            ok = false;
            continue;
        }
        if (e.encryption != ZIP_EM_NONE)
            ok = ok
                && zip_file_set_encryption(archive, zip_uint64_t(index), e.encryption, zipPassword.constData()) == 0;
        if (e.unixMode != 0)
            zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, e.unixMode << 16);
    }
    if (!comment.isEmpty())
        zip_set_archive_comment(archive, comment.constData(), zip_uint16_t(comment.size()));
    if (!ok || zip_close(archive) != 0) {
        zip_discard(archive);
        return false;
    }
    return true;
}
