#include "releasesignature.h"

#include "releasekey.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace releaseSignature {

namespace {
constexpr qsizetype SignatureSize = 64;

template <typename T, void (*Free)(T *)> struct Freer {
    void operator()(T *p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Context = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX, EVP_MD_CTX_free>>;
} // namespace

QByteArray builtInKey()
{
    return QByteArray(ReleaseKeyPem);
}

QByteArray signedMessage(const QString &version, const QByteArray &file)
{
    return "vexalpro " + version.trimmed().toUtf8() + '\n' + file;
}

QString check(const QByteArray &data, const QByteArray &signatureBase64, const QByteArray &publicKeyPem)
{
    if (signatureBase64.trimmed().isEmpty())
        return QStringLiteral("no signature");
    const auto decoded
        = QByteArray::fromBase64Encoding(signatureBase64.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != SignatureSize)
        return QStringLiteral("the signature is not an Ed25519 signature");
    const QByteArray &signature = decoded.decoded;

    Bio bio(BIO_new_mem_buf(publicKeyPem.constData(), int(publicKeyPem.size())));
    Key key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519)
        return QStringLiteral("the release key is not an Ed25519 public key");
    Context context(EVP_MD_CTX_new());
    // Ed25519 signs the message itself, so no digest is named and the whole file is verified at once.
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return QStringLiteral("the signature cannot be checked");
    const int verified = EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
        std::size_t(signature.size()), reinterpret_cast<const unsigned char *>(data.constData()),
        std::size_t(data.size()));
    return verified == 1 ? QString() : QStringLiteral("the signature does not match the file");
}

} // namespace releaseSignature
