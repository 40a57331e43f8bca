// The encrypted files and their loaders: the catalogue cache, the built-in
// equipment database, the installed-extension database and a package
// descriptor, read by LoadExtensionCache over a fake view and prompt.
//
// The first byte chooses the file (its value modulo 4: cache, equipment
// database, installed database, descriptor) and how the rest is written:
// when bits 0x30 are both set, as it is; otherwise enciphered under the file's
// key first, so that the rest of the input is the plaintext JSON and the
// fuzzer explores the loaders rather than the cipher.

#include "FakeView.h"
#include "FuzzSupport.h"
#include "catalogue/Catalogue.h"
#include "crypto/MachineKey.h"
#include "startup/FileIo.h"
#include "startup/Settings.h"

#include <QDir>
#include <array>

namespace {

struct EnvelopeFile
{
    QString path;
    bool machineKey = false;
    QByteArray baseline; // the file every other input sees
};

struct World
{
    ProcessValues process;
    std::array<EnvelopeFile, 4> files;
    int replaced = -1; // the file the previous input wrote
};

QByteArray Enciphered(const QByteArray& plain, bool machineKey)
{
    const ByteArray cipher = EncryptBytes(plain, machineKey);
    FUZZ_CHECK(cipher.has_value());
    return *cipher;
}

QString Checksum(const QString& name, const QString& version)
{
    const QByteArray cipher = Enciphered((name + u'@' + version).toUtf8(), false);
    return BytesToHex(cipher, cipher.size(), 16);
}

World& TheWorld()
{
    static World world = [] {
        World w;
        const QString root = FuzzScratch() + QStringLiteral("/envelope");
        w.process.ProgramFolder = root + QStringLiteral("/program");
        w.process.EditorPath = root + QStringLiteral("/editor/Kestrovia.exe");
        w.process.EditorFolder = root + QStringLiteral("/editor");
        w.process.UserName = kFuzzUserName;
        w.process.ScrollBarWidth = QStringLiteral("17");

        const QString checksum = Checksum(QStringLiteral("canon"), QStringLiteral("1.2.0"));
        const QString cache =
            QStringLiteral(
                R"({"id":"%1","hub":"http://127.0.0.1:9/hub/","extensions":[)"
                R"({"name":"canon","display":"Canon","version":"1.2","status":"OK","checksum":"%2","count":"3"},)"
                R"({"name":"nikon","display":"Nikon","version":"2.0","status":"PENDING","checksum":"00","count":2}]})")
                .arg(kFuzzUserName, checksum);
        const QString equipment = QStringLiteral(
            R"({"version":"1.2","makers":[{"id":" canon ","name_zh-CN":"佳能"},{"id":"sony","name_zh-CN":"索尼"}],)"
            R"("bodies":{"canon":[{"model":"EOS R5"},{"model":"EOS R6"}],"sony":[{"model":"A7"}]}})");
        const QString installed = QStringLiteral(R"({"canon":[{"model":"EOS R5"}]})");
        const QString descriptor = QStringLiteral(R"("canon":[{"model":"EOS R5"}])");

        w.files[0] = {
            QDir(w.process.ProgramFolder).filePath(QStringLiteral("extcache.cfg")), false, {}};
        w.files[1] = {
            QDir(w.process.EditorFolder).filePath(QStringLiteral("Update/equipdb.cfg")), false, {}};
        w.files[2] = {
            QDir(w.process.ProgramFolder).filePath(QStringLiteral("extdb.cfg")), true, {}};
        w.files[3] = {QDir(w.process.ProgramFolder)
                          .filePath(QStringLiteral("Packages/%1/extension.cfg").arg(checksum)),
                      false,
                      {}};
        const std::array<QString, 4> plain = {cache, equipment, installed, descriptor};
        for (size_t i = 0; i < w.files.size(); ++i) {
            w.files[i].baseline = Enciphered(plain[i].toUtf8(), w.files[i].machineKey);
            FuzzWriteFile(w.files[i].path, w.files[i].baseline);
        }
        Settings::Write(Settings::Tovarinth, QStringLiteral("canon"), QStringLiteral("1.2.0"));
        return w;
    }();
    return world;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzStartOnce();
    if (size < 1)
        return 0;
    World& world = TheWorld();
    if (world.replaced >= 0)
        FuzzWriteFile(world.files[static_cast<size_t>(world.replaced)].path,
                      world.files[static_cast<size_t>(world.replaced)].baseline);

    const int which = data[0] % 4;
    const bool raw = (data[0] & 0x30) == 0x30;
    const EnvelopeFile& file = world.files[static_cast<size_t>(which)];
    const QByteArray rest = FuzzBytes(data + 1, size - 1);
    FuzzWriteFile(file.path, raw ? rest : Enciphered(rest, file.machineKey));
    world.replaced = which;

    MainState state;
    FakeView view;
    ScriptedPrompt prompt;
    Catalogue catalogue(state, view, prompt, world.process);
    catalogue.LoadExtensionCache();

    // One entry per row, every call on a row that exists, the hourglass
    // restored, at most the two loaders' messages.
    FUZZ_CHECK(!view.badCall);
    FUZZ_CHECK(view.rows.size() == state.Entries.size());
    FUZZ_CHECK(view.waitDepth == 0);
    FUZZ_CHECK(prompt.messages.size() <= 2);
    for (size_t i = 0; i < state.Entries.size(); ++i) {
        FUZZ_CHECK(view.rows[i].tag == state.Entries[i].Status);
        FUZZ_CHECK(view.rows[i].icon >= 0 && view.rows[i].icon <= 13);
        // Only a proven checksum names a file.
        if (state.Entries[i].IsExtension && !state.Entries[i].Descriptor.isEmpty())
            FUZZ_CHECK(IsSafeChecksum(state.Entries[i].Checksum));
    }
    return 0;
}
