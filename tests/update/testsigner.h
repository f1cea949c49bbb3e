// A throwaway Ed25519 key pair for the update tests, made at run time, and version files signed
// with it the way server/scripts/publish-update signs a release.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

struct evp_pkey_st;

class CTestSigner
{
public:
    CTestSigner();

    bool IsValid() const { return m_key != nullptr; }
    // The raw public key (32 bytes), as tagUPDATESETUP::releaseKey takes it.
    QByteArray PublicKey() const;
    QByteArray Sign(const QByteArray &message) const;
    // The private key as PEM, for the publish script.
    bool WritePrivateKey(const QString &path) const;

    // The five signed lines of a version file naming `version` (four-part) and `package`.
    static QByteArray Body(const QString &version, const QByteArray &package);
    // A complete version file: Body and its signature line.
    QByteArray Record(const QString &version, const QByteArray &package) const;
    QByteArray SignedRecord(const QByteArray &body) const;

private:
    std::shared_ptr<evp_pkey_st> m_key;
};
