// The update tests' signing key.
#include "testsigner.h"

#include "update/versionrules.h"

#include <QCryptographicHash>
#include <QFile>

#include <openssl/evp.h>
#include <openssl/pem.h>

CTestSigner::CTestSigner()
{
    EVP_PKEY *key = nullptr;
    const std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX *)> context(
        EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), EVP_PKEY_CTX_free);
    if (context && EVP_PKEY_keygen_init(context.get()) == 1 && EVP_PKEY_keygen(context.get(), &key) == 1)
        m_key.reset(key, EVP_PKEY_free);
}

QByteArray CTestSigner::PublicKey() const
{
    QByteArray raw(32, '\0');
    size_t length = size_t(raw.size());
    if (!m_key || EVP_PKEY_get_raw_public_key(m_key.get(), reinterpret_cast<unsigned char *>(raw.data()), &length) != 1)
        return QByteArray();
    raw.resize(qsizetype(length));
    return raw;
}

QByteArray CTestSigner::Sign(const QByteArray &message) const
{
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX *)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    QByteArray signature(64, '\0');
    size_t length = size_t(signature.size());
    if (!m_key || !context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, m_key.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &length,
                       reinterpret_cast<const unsigned char *>(message.constData()), size_t(message.size())) != 1)
        return QByteArray();
    return signature;
}

bool CTestSigner::WritePrivateKey(const QString &path) const
{
    const std::unique_ptr<BIO, int (*)(BIO *)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!m_key || !bio || PEM_write_bio_PrivateKey(bio.get(), m_key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return false;
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data, size) == size;
}

QByteArray CTestSigner::Body(const QString &version, const QByteArray &package)
{
    return NormalizeVersion(version).toLatin1() + "\npellister-update-record 1\nversion " + version.toLatin1() +
           "\nsize " + QByteArray::number(package.size()) + "\nsha256 " +
           QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex() + '\n';
}

QByteArray CTestSigner::SignedRecord(const QByteArray &body) const
{
    return body + "signature " + Sign(body).toBase64() + '\n';
}

QByteArray CTestSigner::Record(const QString &version, const QByteArray &package) const
{
    return SignedRecord(Body(version, package));
}
