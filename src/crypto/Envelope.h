#pragma once

#include "startup/TextHelpers.h"

#include <QString>

// The envelope of the program's encrypted files: the raw AES-128 ciphertext
// of the zero-padded plaintext, nothing before or after it.

// The plaintext with its zero padding; no storage when the file is missing,
// unreadable, or its length is not a multiple of 16.
ByteArray ReadEnvelopeFile(const QString& path, bool useMachineKey);

// Enciphers plaintext and replaces path atomically (the old file stays
// byte-identical when anything fails). False on failure.
bool WriteEnvelopeFile(const QString& path, const QByteArray& plaintext, bool useMachineKey);
