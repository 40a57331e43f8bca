#include "Seeds.h"

#include "FuzzSupport.h"
#include "crypto/MachineKey.h"
#include "startup/VersionResourceWriter.h"
#include "unzip/ZipFixtures.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

namespace {

using SeedList = QList<std::pair<QString, QByteArray>>;

QByteArray Enciphered(const QByteArray& plain, bool machineKey)
{
    const ByteArray cipher = EncryptBytes(plain, machineKey);
    return cipher ? *cipher : QByteArray();
}

// The raw twin of every committed envelope seed: the same plaintext
// enciphered here, so that the raw mode starts from files that decipher.
SeedList EnvelopeSeeds(const QString& committed)
{
    SeedList seeds;
    for (const QFileInfo& info : QDir(committed).entryInfoList(QDir::Files, QDir::Name)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = file.readAll();
        if (text.isEmpty())
            continue;
        const char mode = static_cast<char>(text.at(0) | 0x30);
        const bool machineKey = static_cast<unsigned char>(text.at(0)) % 4 == 2;
        seeds.append(
            {QStringLiteral("raw-") + info.fileName(), mode + Enciphered(text.mid(1), machineKey)});
    }
    // A cache whose package checksum proves itself, so that the status
    // decision gets past the checksum, in both modes.
    const QByteArray cipher = Enciphered("canon@1.2.0", false);
    const QByteArray cache =
        R"({"id":")" + kFuzzUserName.toUtf8() +
        R"(","extensions":[{"name":"canon","display":"Canon","version":"1.2","status":"OK",)"
        R"("checksum":")" +
        BytesToHex(cipher, cipher.size(), 16).toLatin1() + R"(","count":"3"}]})";
    seeds.append({QStringLiteral("cache-proven-checksum"), '@' + cache});
    seeds.append({QStringLiteral("raw-cache-proven-checksum"), 'p' + Enciphered(cache, false)});
    // A file of no bytes, one of 17 and one under the wrong key.
    seeds.append({QStringLiteral("raw-empty-cache"), QByteArray("p")});
    seeds.append({QStringLiteral("raw-17-bytes-equipdb"), QByteArray("q") + QByteArray(17, 'x')});
    seeds.append({QStringLiteral("raw-wrong-key-extdb"),
                  QByteArray("r") + Enciphered(QByteArray(R"({"canon":[]})"), false)});
    return seeds;
}

SeedList HexSeeds()
{
    const QByteArray cipher = Enciphered("canon@1.2.0", false);
    const QByteArray hex = BytesToHex(cipher, cipher.size(), 16).toLatin1();
    const QByteArray two = Enciphered("panasonic-lumix-full-frame@10.20.3", false);
    return {{QStringLiteral("checksum"), hex},
            {QStringLiteral("checksum-lower"), hex.toLower()},
            {QStringLiteral("checksum-grouped"), BytesToHex(two, two.size(), 4).toLatin1()},
            {QStringLiteral("checksum-nul"), hex.left(10) + '\0' + hex.mid(10)},
            {QStringLiteral("checksum-31-digits"), hex.left(31)},
            {QStringLiteral("separators"), QByteArray("0a-FF x1")}};
}

QByteArray ReadBack(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Zip(const QList<ZipMember>& members)
{
    const QString path = FuzzScratch() + QStringLiteral("/seed.zip");
    QFile::remove(path);
    if (!MakeZip(path, members))
        FuzzFail("making a seed archive", __FILE__, __LINE__);
    return ReadBack(path);
}

SeedList UnzipSeeds()
{
    const QByteArray models = TextBytes(4000);
    const QByteArray package =
        Zip({{"extension.cfg", models}, {"models/list.txt", "EOS R5\n", false}});
    SeedList seeds = {
        {QStringLiteral("package"), package},
        {QStringLiteral("hostile-names"), Zip({{"../evil1.txt", "1"},
                                               {"/abs/evil2.txt", "2"},
                                               {"..\\..\\evil3.txt", "3"},
                                               {"C:\\evil4.txt", "4"},
                                               {"a/../../evil5.txt", "5"},
                                               {"./", ""},
                                               {"dir/", ""},
                                               {"dir/..", "6"},
                                               {"....//evil7.txt", "7"}})},
        {QStringLiteral("symlink"), Zip({{"link", "../../../../outside", false, {}, 0120777},
                                         {"link/evil.txt", "through the link"},
                                         {"fifo", "", false, {}, 010644}})},
        {QStringLiteral("encrypted"),
         Zip({{"secret.txt", models, true, "secret"}, {"other.txt", "x", false, "wrong"}})},
        {QStringLiteral("bomb"), Zip({{"zeros.bin", QByteArray(1 << 20, '\0')},
                                      {"zeros2.bin", QByteArray(1 << 20, '\0')}})},
        {QStringLiteral("empty"), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0')},
    };
    // Damaged: cut short, a flipped data byte, a central directory that
    // points past the end.
    seeds.append({QStringLiteral("damaged-truncated"), package.left(package.size() / 2)});
    QByteArray flipped = package;
    flipped[60] = static_cast<char>(flipped.at(60) ^ 0x5A);
    seeds.append({QStringLiteral("damaged-crc"), flipped});
    QByteArray pointer = package;
    qToLittleEndian<quint32>(0x7FFFFFF0u, pointer.data() + pointer.size() - 6);
    seeds.append({QStringLiteral("damaged-directory-offset"), pointer});
    return seeds;
}

SeedList VersionSeeds()
{
    SeedList seeds;
    const BuiltExecutable stub = BuildVersionedExecutable(StubEditorContent("1.2.3.1316"));
    seeds.append({QStringLiteral("stub"), stub.bytes});

    VersionResourceContent plus = StubEditorContent("2.0.0.1400", "2.0", 0x0409, 0x04E4);
    plus.pe32Plus = true;
    seeds.append({QStringLiteral("pe32plus"), BuildVersionedExecutable(plus).bytes});

    VersionResourceContent odd = StubEditorContent(QString(300, u'9'));
    odd.withTranslation = false;
    seeds.append({QStringLiteral("no-translation"), BuildVersionedExecutable(odd).bytes});
    odd.withTranslation = true;
    odd.tableTag = QStringLiteral("080404b0");
    seeds.append({QStringLiteral("long-value"), BuildVersionedExecutable(odd).bytes});

    // Damaged: cut inside the version block, a data entry of a huge size, a
    // directory claiming 65535 entries.
    seeds.append({QStringLiteral("cut-version-block"), stub.bytes.left(stub.versionInfo + 10)});
    QByteArray huge = stub.bytes;
    qToLittleEndian<quint32>(0xFFFFFFF0u, huge.data() + stub.dataEntry + 4);
    seeds.append({QStringLiteral("huge-data-entry"), huge});
    QByteArray many = stub.bytes;
    qToLittleEndian<quint16>(0xFFFFu, many.data() + stub.nameDirectory + 14);
    seeds.append({QStringLiteral("many-entries"), many});
    return seeds;
}

QByteArray Icmp(char mode, const QByteArray& ipHeader, QByteArray icmp)
{
    return QByteArray(1, mode) + ipHeader + icmp;
}

SeedList IcmpSeeds()
{
    const QByteArray ip = QByteArray::fromHex("4500002400004000400100007f0000017f000001");
    const QByteArray echoReply = QByteArray::fromHex("0000000012340007") + "ECHO_MSG";
    const QByteArray echo = QByteArray::fromHex("0800000012340007") + "ECHO_MSG";
    const QByteArray unreachable = QByteArray::fromHex("0301000000000000") + ip + echo.left(8);
    const QByteArray exceeded = QByteArray::fromHex("0b00000000000000") + ip + echo.left(8);
    return {{QStringLiteral("ping-echo-reply"), Icmp('\x00', {}, echoReply)},
            {QStringLiteral("raw-echo-reply"), Icmp('\x03', ip, echoReply)},
            {QStringLiteral("raw-echo-reply-other-sender"), Icmp('\x01', ip, echoReply)},
            {QStringLiteral("raw-unreachable"), Icmp('\x01', ip, unreachable)},
            {QStringLiteral("ping-time-exceeded"), Icmp('\x00', {}, exceeded)}};
}

} // namespace

QList<std::pair<QString, QByteArray>> GeneratedSeeds(const QString& target,
                                                     const QString& committed)
{
    FuzzStartOnce();
    if (target == QLatin1String("envelope"))
        return EnvelopeSeeds(committed);
    if (target == QLatin1String("hex"))
        return HexSeeds();
    if (target == QLatin1String("unzip"))
        return UnzipSeeds();
    if (target == QLatin1String("version"))
        return VersionSeeds();
    if (target == QLatin1String("icmp"))
        return IcmpSeeds();
    return {};
}
