#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <zip.h>

// Zip archives made by the tests themselves, down to the odd entry a hostile archive carries.
struct Entry {
    QByteArray name;
    QByteArray data;
    zip_uint16_t encryption = ZIP_EM_NONE; // with zipPassword
    quint32 unixMode = 0;
    qint64 zeros = 0; // a run of zeros streamed from a sparse file instead of data
};
using Entries = QList<Entry>;

inline const QByteArray zipPassword = "secret";

bool buildZip(const QString &path, const Entries &entries, const QByteArray &comment = {});
