#pragma once

#include <QByteArray>
#include <QString>

// Files that the program would run after downloading them carry an Ed25519 signature of the
// release key; nothing unsigned or changed on the way is ever started.
namespace releaseSignature {

// The public half of the release key built into the program (PEM); empty in a build that leaves
// its updates to a package manager.
QByteArray builtInKey();
// What a release file's signature covers: its version as the tool list names it, then the file, so
// that a mirror cannot offer an older signed build under a newer version.
QByteArray signedMessage(const QString &version, const QByteArray &file);
// Empty when `signatureBase64` is a valid signature of the whole of `data` by `publicKeyPem`;
// otherwise the reason, in a few words for the log.
QString check(const QByteArray &data, const QByteArray &signatureBase64, const QByteArray &publicKeyPem);

} // namespace releaseSignature
