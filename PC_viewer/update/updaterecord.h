// The signed update record: what the server's version file says about the newest release, and
// the check of its Ed25519 signature against the release key.
//
// Design note. The version file (update/client_program/english/version.txt) is one small text
// file, at most kMaxRecordBytes, with LF line ends and exactly these six lines:
//
//   1.008                                the normalised version, the line older viewers read
//   pellister-update-record 1            what the file is, and the revision of its format
//   version 1.0.0.8                      the release's four-part version
//   size 48213360                        the package's size in bytes (corvana.bin)
//   sha256 <64 lower-case hex digits>    the package's SHA-256
//   signature <base64, 64 bytes>         Ed25519 over every byte before this line
//
// The signature covers the whole statement "release 1.0.0.8 is the file of this size and this
// hash", the first line included (it must be the normalised form of the second). The package is
// trusted through that hash, so it needs no signature of its own and cannot be swapped; a record
// of an earlier release (a replay, a downgrade) verifies but is not offered, because only a
// version newer than the program's own is. The signature lives in the file it signs, so the
// record is published by one rename and a client never pairs a version with another release's
// signature. Everything that is not exactly this shape is refused before the signature is even
// checked, and the check runs before the user is asked and before the package is fetched.
//
// The release's private key never leaves the release machine: server/scripts/publish-update
// signs with it (openssl pkeyutl -sign -rawin); the viewer carries only the public key
// (kReleasePublicKeyHex), and a test hands in a key of its own (tagUPDATESETUP::releaseKey).
#pragma once

#include "update/updatepackage.h"

#include <QByteArray>
#include <QString>

// The largest version file read: a record is about 250 bytes.
inline constexpr qint64 kMaxRecordBytes = 4096;
// The largest package a record may name.
inline constexpr qint64 kMaxPackageBytes = qint64(1) << 30;
inline constexpr int kEd25519KeyBytes = 32;
inline constexpr int kEd25519SignatureBytes = 64;

struct tagUPDATERECORD {
    QString shortVersion;    // the first line, e.g. "1.008"
    QString version;         // four-part, e.g. "1.0.0.8"
    tagPACKAGEHASH package;  // the package's size and SHA-256
    QByteArray signedBytes;  // every byte the signature covers
    QByteArray signature;    // 64 bytes
};

// Reads a version file's bytes. False, with `record` untouched, unless the bytes have exactly
// the shape above (which says nothing yet about the signature).
bool ParseUpdateRecord(const QByteArray &bytes, tagUPDATERECORD *record);

// True when the record's signature is valid for its signed bytes under `publicKey`, a raw
// Ed25519 public key of 32 bytes. Any other key length is refused.
bool VerifyUpdateRecord(const tagUPDATERECORD &record, const QByteArray &publicKey);

// The release's public key built into the viewer (32 bytes).
QByteArray ReleasePublicKey();
