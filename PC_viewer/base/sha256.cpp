// SHA-256 through OpenSSL's EVP interface.
#include "base/sha256.h"

#include <QIODevice>

#include <openssl/evp.h>

struct CSha256::tagCONTEXT {
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX *)> md{EVP_MD_CTX_new(), EVP_MD_CTX_free};
};

CSha256::CSha256() : m_context(std::make_unique<tagCONTEXT>())
{
    m_valid = m_context->md && EVP_DigestInit_ex(m_context->md.get(), EVP_sha256(), nullptr) == 1;
}

CSha256::~CSha256() = default;

void CSha256::Add(const char *data, qint64 size)
{
    if (m_valid && size > 0)
        m_valid = EVP_DigestUpdate(m_context->md.get(), data, static_cast<size_t>(size)) == 1;
}

bool CSha256::AddDevice(QIODevice *device)
{
    constexpr qint64 kBlock = 1 << 20;
    QByteArray block(static_cast<int>(kBlock), Qt::Uninitialized);
    for (;;) {
        const qint64 got = device->read(block.data(), kBlock);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        Add(block.constData(), got);
    }
}

QByteArray CSha256::Result()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_valid || EVP_DigestFinal_ex(m_context->md.get(), digest, &length) != 1)
        return QByteArray();
    m_valid = false;
    return QByteArray(reinterpret_cast<const char *>(digest), static_cast<int>(length));
}
