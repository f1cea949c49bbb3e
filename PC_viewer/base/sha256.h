// SHA-256, the one hash of the viewer: the evidence package's files and the update package are
// hashed through it. OpenSSL's implementation uses the processor's SHA instructions, several
// times the speed of a portable one, so that hashing minutes of video keeps up with sha256sum.
#pragma once

#include <QByteArray>

#include <memory>

class QIODevice;

class CSha256
{
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256 &) = delete;
    CSha256 &operator=(const CSha256 &) = delete;

    // False when the hash could not be set up (OpenSSL without SHA-256).
    bool IsValid() const { return m_valid; }
    void Add(const char *data, qint64 size);
    // Reads a file (a device that is not sequential) to its end into the hash; false on a read
    // error.
    bool AddDevice(QIODevice *device);
    // The 32 bytes of the digest of everything added (empty when invalid); ends the hash.
    QByteArray Result();

private:
    struct tagCONTEXT;
    std::unique_ptr<tagCONTEXT> m_context;
    bool m_valid = false;
};
