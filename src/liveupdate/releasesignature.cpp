#include "releasesignature.h"

#include "releasekey.h"

#include "platform/systemlibrary.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace releaseSignature {

namespace {
constexpr qsizetype SignatureSize = 64;

// OpenSSL's functions that check a signature, found when the first one is checked (see
// SystemLibrary): only a self-update needs them. One list makes the table and its lookup.
#define LIBCRYPTO_FUNCTIONS(F) \
    F(BIO_new_mem_buf) \
    F(BIO_free_all) \
    F(PEM_read_bio_PUBKEY) \
    F(EVP_PKEY_get_base_id) \
    F(EVP_PKEY_free) \
    F(EVP_MD_CTX_new) \
    F(EVP_MD_CTX_free) \
    F(EVP_DigestVerifyInit) \
    F(EVP_DigestVerify)

struct LibCrypto {
#define LIBCRYPTO_MEMBER(name) decltype(&::name) name;
    LIBCRYPTO_FUNCTIONS(LIBCRYPTO_MEMBER)
#undef LIBCRYPTO_MEMBER
};

const LibCrypto *libCrypto()
{
    return SystemLibrary::functions<LibCrypto>(
        QStringLiteral("crypto"), 3, [](SystemLibrary &library, LibCrypto &crypto) {
#define LIBCRYPTO_BIND(name) library.bind(crypto.name, #name);
            LIBCRYPTO_FUNCTIONS(LIBCRYPTO_BIND)
#undef LIBCRYPTO_BIND
        });
}
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

    const LibCrypto *crypto = libCrypto();
    if (!crypto)
        return QStringLiteral("the signature cannot be checked: OpenSSL (libcrypto.so.3) cannot be loaded");
    std::unique_ptr<BIO, decltype(crypto->BIO_free_all)> bio(
        crypto->BIO_new_mem_buf(publicKeyPem.constData(), int(publicKeyPem.size())), crypto->BIO_free_all);
    std::unique_ptr<EVP_PKEY, decltype(crypto->EVP_PKEY_free)> key(
        bio ? crypto->PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr, crypto->EVP_PKEY_free);
    if (!key || crypto->EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519)
        return QStringLiteral("the release key is not an Ed25519 public key");
    std::unique_ptr<EVP_MD_CTX, decltype(crypto->EVP_MD_CTX_free)> context(
        crypto->EVP_MD_CTX_new(), crypto->EVP_MD_CTX_free);
    // Ed25519 signs the message itself, so no digest is named and the whole file is verified at once.
    if (!context || crypto->EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return QStringLiteral("the signature cannot be checked");
    const int verified = crypto->EVP_DigestVerify(context.get(),
        reinterpret_cast<const unsigned char *>(signature.constData()), std::size_t(signature.size()),
        reinterpret_cast<const unsigned char *>(data.constData()), std::size_t(data.size()));
    return verified == 1 ? QString() : QStringLiteral("the signature does not match the file");
}

} // namespace releaseSignature
