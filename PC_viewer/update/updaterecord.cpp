// The signed update record.
#include "update/updaterecord.h"

#include "update/updateconst.h"
#include "update/versionrules.h"

#include <QList>

#include <openssl/evp.h>

#include <memory>

namespace {

constexpr char kFormatLine[] = "pellister-update-record 1";

bool IsLowerHex(const QByteArray &text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// A line "<key> <value>"; the value, or a null array when the line has another key.
QByteArray ValueOf(const QByteArray &line, const char *key)
{
    const QByteArray prefix = QByteArray(key) + ' ';
    return line.startsWith(prefix) ? line.mid(prefix.size()) : QByteArray();
}

// A decimal size without sign or leading zero, 1 to kMaxPackageBytes; -1 otherwise.
qint64 SizeOf(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 10 || text.at(0) == '0')
        return -1;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value <= kMaxPackageBytes ? value : -1;
}

} // namespace

bool ParseUpdateRecord(const QByteArray &bytes, tagUPDATERECORD *record)
{
    if (bytes.size() > kMaxRecordBytes || !bytes.endsWith('\n'))
        return false;
    const QList<QByteArray> lines = bytes.left(bytes.size() - 1).split('\n');
    if (lines.size() != 6)
        return false;
    for (const QByteArray &line : lines) {
        // Bytes outside printable ASCII (CR included) have no place in a record.
        for (const char c : line) {
            if (c < 0x20 || c > 0x7e)
                return false;
        }
    }
    tagUPDATERECORD parsed;
    parsed.shortVersion = QString::fromLatin1(lines.at(0));
    parsed.version = QString::fromLatin1(ValueOf(lines.at(2), "version"));
    std::array<quint32, 4> parts{};
    if (lines.at(1) != kFormatLine || !ParseFourPartVersion(parsed.version, &parts) ||
        parsed.shortVersion != NormalizeVersion(parsed.version))
        return false;
    parsed.package.size = SizeOf(ValueOf(lines.at(3), "size"));
    const QByteArray hex = ValueOf(lines.at(4), "sha256");
    if (parsed.package.size < 0 || hex.size() != 64 || !IsLowerHex(hex))
        return false;
    parsed.package.sha256 = QByteArray::fromHex(hex);
    const QByteArray encoded = ValueOf(lines.at(5), "signature");
    const auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != kEd25519SignatureBytes || decoded.decoded.toBase64() != encoded)
        return false;
    parsed.signature = decoded.decoded;
    parsed.signedBytes = bytes.left(bytes.size() - 1 - lines.at(5).size());
    *record = parsed;
    return true;
}

bool VerifyUpdateRecord(const tagUPDATERECORD &record, const QByteArray &publicKey)
{
    if (publicKey.size() != kEd25519KeyBytes || record.signature.size() != kEd25519SignatureBytes)
        return false;
    const std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY *)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char *>(publicKey.constData()),
                                    size_t(publicKey.size())),
        EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX *)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!key || !context)
        return false;
    // Ed25519 hashes the message itself: no digest is named.
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char *>(record.signature.constData()),
                            size_t(record.signature.size()),
                            reinterpret_cast<const unsigned char *>(record.signedBytes.constData()),
                            size_t(record.signedBytes.size())) == 1;
}

QByteArray ReleasePublicKey()
{
    return QByteArray::fromHex(kReleasePublicKeyHex);
}
