#include "executables.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>

namespace executables {

Kind kindOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Kind::NotRunnable;
    const QByteArray head = file.read(64);
    if (head.startsWith("\x7f"
                        "ELF")
        || head.startsWith("#!"))
        return QFileInfo(path).isExecutable() ? Kind::Native : Kind::NotRunnable;
    if (!head.startsWith("MZ"))
        return Kind::NotRunnable;
    if (head.size() >= 64) {
        const quint32 newHeader = qFromLittleEndian<quint32>(head.constData() + 0x3C);
        if (newHeader >= 64 && newHeader + 4 <= quint64(file.size()) && file.seek(newHeader)) {
            const QByteArray signature = file.read(4);
            if (signature == QByteArray("PE\0\0", 4) || signature.startsWith("NE"))
                return Kind::Windows;
        }
    }
    return Kind::Dos;
}

Command commandFor(const QString &path, const QStringList &arguments, const Runners &runners)
{
    const Kind kind = kindOf(path);
    if (kind == Kind::NotRunnable)
        return {};
    if (kind == Kind::Native)
        return {path, arguments};
    QStringList words = QProcess::splitCommand(kind == Kind::Windows ? runners.windows : runners.dos);
    if (words.isEmpty())
        return {};
    const QString program = words.takeFirst();
    return {program, words + QStringList {path} + arguments};
}

} // namespace executables
