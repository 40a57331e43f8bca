#pragma once

// What every fuzz harness shares: a Qt application object, a settings folder
// and a scratch folder of the process's own, and fixed keys, so that an input
// gives the same run every time.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// Sets up the process once; every harness calls it first.
void FuzzStartOnce();

// A folder of this process, made by FuzzStartOnce, removed at exit.
QString FuzzScratch();

// The user name the catalogue harness runs under.
inline const QString kFuzzUserName = QStringLiteral("fuzzuser01");

// Reports a broken invariant and aborts, so that the fuzzer keeps the input.
[[noreturn]] void FuzzFail(const char* what, const char* file, int line);
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            FuzzFail(#condition, __FILE__, __LINE__);                                              \
    } while (false)

// The input as bytes without a copy, and as an exactly sized copy (so that
// AddressSanitizer sees a read one byte past the end).
inline QByteArray FuzzBytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Writes bytes as the whole file, making its folder; aborts when it cannot.
void FuzzWriteFile(const QString& path, const QByteArray& bytes);
