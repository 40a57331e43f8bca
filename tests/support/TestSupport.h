#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ostream>

// Runs tovarinth-vendor with args; the result has the exit code and what it
// printed on stdout and stderr.
struct ProcessResult
{
    int exitCode = -1;
    QByteArray out, err;
};
ProcessResult RunVendor(const QStringList& args, const QByteArray& input = {});
ProcessResult RunProcess(const QString& program, const QStringList& args,
                         const QByteArray& input = {});

// Bytes as upper-case hex, for assertion messages.
std::string Hex(const QByteArray& bytes);

bool WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);

// Deterministic pseudo-random bytes.
QByteArray PseudoRandomBytes(qsizetype size, quint32 seed);

// gtest prints QStrings readably.
void PrintTo(const QString& text, std::ostream* os);
void PrintTo(const QByteArray& bytes, std::ostream* os);
