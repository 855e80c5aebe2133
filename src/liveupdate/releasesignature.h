#pragma once

#include <QByteArray>
#include <QString>

// Files that the program would run after downloading them carry an Ed25519 signature of the
// release key; nothing unsigned or changed on the way is ever started.
namespace releaseSignature {

// The public half of the release key built into the program (PEM).
QByteArray builtInKey();
// Empty when `signatureBase64` is a valid signature of the whole of `data` by `publicKeyPem`;
// otherwise the reason, in a few words for the log.
QString check(const QByteArray &data, const QByteArray &signatureBase64, const QByteArray &publicKeyPem);

} // namespace releaseSignature
