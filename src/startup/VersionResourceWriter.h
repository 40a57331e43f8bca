#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

// What goes into the version resource of a built executable.
struct VersionResourceContent
{
    // Dotted versions for VS_FIXEDFILEINFO: up to four decimal parts of 16
    // bits each; missing or unreadable parts are 0, larger ones 65535.
    QString fileVersion;
    QString productVersion;
    quint16 language = 0x0804; // Chinese (Simplified, PRC)
    quint16 codePage = 0x04B0; // Unicode
    // The strings of the one StringTable, in this order.
    QList<std::pair<QString, QString>> strings;
    // The StringTable's key; empty for the language and code page as eight
    // upper-case hex digits.
    QString tableTag;
    bool withTranslation = true; // the VarFileInfo\Translation block
    bool pe32Plus = false;       // a 64-bit (PE32+) image instead of PE32
};

// The stub editor's resource: CompanyName, FileDescription, ProductVersion
// and FileVersion (the product version when fileVersion is empty).
VersionResourceContent StubEditorContent(const QString& productVersion,
                                         const QString& fileVersion = {}, quint16 language = 0x0804,
                                         quint16 codePage = 0x04B0);

// A small well-formed PE executable: a .text section with a function that
// returns 0 and a .rsrc section holding one RT_VERSION resource. The offsets
// tell tests where to damage it.
struct BuiltExecutable
{
    QByteArray bytes;
    qsizetype resourceDataDirectory = 0; // the data directory's resource entry
    qsizetype resourceSectionHeader = 0; // the .rsrc section header
    qsizetype resourceDirectory = 0;     // the root resource directory
    qsizetype nameDirectory = 0;         // the RT_VERSION name level
    qsizetype languageDirectory = 0;     // the language level
    qsizetype dataEntry = 0;             // the resource data entry
    qsizetype versionInfo = 0;           // the VS_VERSIONINFO block
};
BuiltExecutable BuildVersionedExecutable(const VersionResourceContent& content);

// The RVA of the .rsrc section in every built executable.
constexpr quint32 kBuiltResourceRva = 0x2000;
