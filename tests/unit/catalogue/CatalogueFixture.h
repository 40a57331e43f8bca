#pragma once

#include "catalogue/Catalogue.h"
#include "crypto/Envelope.h"
#include "crypto/MachineKey.h"
#include "startup/Errors.h"
#include "startup/Settings.h"
#include "support/FakeView.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A program folder and an editor folder of their own, a fresh settings
// section, and the catalogue over a recording view and a scripted prompt.
class CatalogueTest : public ::testing::Test
{
public:
    static QString Checksum(const QString& name, const QString& version)
    {
        const ByteArray cipher = EncryptBytes((name + "@" + version).toLocal8Bit(), false);
        return BytesToHex(*cipher, cipher->size(), 0);
    }

protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        process.ProgramFolder = root.filePath("program");
        process.EditorFolder = root.filePath("editor");
        process.EditorPath = process.EditorFolder + "/Kestrovia.exe";
        process.UserName = "alice.photo";
        QDir().mkpath(process.ProgramFolder);
        QDir().mkpath(process.EditorFolder + "/Update");
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Kestrovia", "Kestrovia").clear();
    }

    // The editor's built-in database, enciphered as the vendor ships it.
    void WriteEquipDb(const QByteArray& json)
    {
        ASSERT_TRUE(WriteEnvelopeFile(process.EditorFolder + "/Update/equipdb.cfg", json, false));
    }
    void WriteCache(const QByteArray& json)
    {
        ASSERT_TRUE(WriteEnvelopeFile(process.ProgramFolder + "/extcache.cfg", json, false));
    }
    void WriteInstalledDb(const QByteArray& json)
    {
        ASSERT_TRUE(WriteEnvelopeFile(process.ProgramFolder + "/extdb.cfg", json, true));
    }
    // A package folder holding its descriptor.
    void WriteDescriptor(const QString& checksum, const QByteArray& text)
    {
        QDir().mkpath(catalogue.PackageFolder(checksum));
        ASSERT_TRUE(WriteEnvelopeFile(catalogue.DescriptorPath(checksum), text, false));
    }
    void WriteArchive(const QString& checksum)
    {
        QDir().mkpath(process.ProgramFolder + "/Downloads");
        ASSERT_TRUE(WriteFile(catalogue.ArchivePath(checksum), "PK\x03\x04 stand-in"));
    }

    // A package object of the profile document.
    static QByteArray Package(const QString& name, const QString& version, const QString& status,
                              const QString& count, const QString& checksum = QString())
    {
        return QStringLiteral(
                   R"({"name":"%1","display":"%1 pack","version":"%2","status":"%3","count":%4,"checksum":"%5"})")
            .arg(name, version, status, count,
                 checksum.isNull() ? Checksum(name, NormalizeVersion(version)) : checksum)
            .toUtf8();
    }

    static QByteArray Profile(const QString& id, const QList<QByteArray>& packages,
                              const QString& hub = "http://127.0.0.1:1/hub/")
    {
        QByteArray json =
            "{\"id\":\"" + id.toUtf8() + "\",\"hub\":\"" + hub.toUtf8() + "\",\"extensions\":[";
        for (qsizetype i = 0; i < packages.size(); ++i)
            json += (i ? "," : "") + packages[i];
        return json + "]}";
    }

    QTemporaryDir root;
    ProcessValues process;
    MainState state;
    FakeView view;
    ScriptedPrompt prompt;
    Catalogue catalogue{state, view, prompt, process};
};

// A small built-in database: canon with 3 bodies, nikon with 2, an empty
// maker and " sony " with 1.
inline const QByteArray kSmallEquipDb = R"({"version":"1.2","makers":[
 {"id":"canon","name_zh-CN":"佳能"},{"id":"empty","name_zh-CN":"空"},
 {"id":"nikon","name_zh-CN":"尼康"},{"id":" sony ","name_zh-CN":"索尼"},{"id":"Sony","name_zh-CN":"大写"}],
 "bodies":{"canon":[{"name":"EOS R5"},{"name":"EOS R6"},{"name":"EOS 5D"}],"empty":[],
 "nikon":[{"name":"Z 8"},{"name":"Z 9"}],"sony":[{"name":"ILCE-7M4"}],"Sony":[{"name":"X"}]}})";
