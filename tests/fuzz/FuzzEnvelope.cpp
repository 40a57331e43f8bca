// The encrypted files and their loaders: the catalogue cache, the built-in
// equipment database, the installed-extension database and a package
// descriptor, read by LoadExtensionCache over a fake view and prompt.
// The first byte chooses the file (its value modulo 4, in that order) and how
// the rest is written: as it is when bits 0x30 are both set, otherwise
// enciphered under the file's key first, so that the fuzzer explores the
// loaders rather than the cipher. The other files keep a sound content.

#include "FakeView.h"
#include "FuzzSupport.h"
#include "catalogue/Catalogue.h"
#include "startup/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString root = FuzzStart(), sum = BytesToHex(*EncryptBytes("canon@1.2.0", false), 16, 0);
    const ProcessValues process{root + "/editor/Kestrovia.exe", root + "/editor", "fuzzuser01",
                                "17", root};
    // "#" stands for the checksum of canon 1.2.0.
    const char* files[][2] = {
        {"/extcache.cfg", R"({"id":"fuzzuser01","extensions":[{"name":"canon","display":"Canon",)"
                          R"("version":"1.2","status":"OK","checksum":"#","count":"3"}]})"},
        {"/editor/Update/equipdb.cfg", R"({"version":"1.2","makers":[{"id":" canon ",)"
                                       R"("name_zh-CN":"佳能"}],"bodies":{"canon":[]}})"},
        {"/extdb.cfg", R"({"canon":[{"model":"EOS R5"}]})"},
        {"/Packages/#/extension.cfg", R"("canon":[{"model":"EOS R5"}])"}};
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    for (int i = 0; i < 4; ++i) {
        const bool input = i == data[0] % 4;
        const QByteArray plain = input ? rest : QString(files[i][1]).replace(u'#', sum).toUtf8();
        FuzzWriteFile(root + QString(files[i][0]).replace(u'#', sum),
                      input && (data[0] & 0x30) == 0x30 ? rest
                                                        : EncryptBytes(plain, i == 2).value_or(""));
    }
    Settings::Write(Settings::Tovarinth, QStringLiteral("canon"), QStringLiteral("1.2.0"));

    MainState state;
    FakeView view;
    ScriptedPrompt prompt;
    Catalogue(state, view, prompt, process).LoadExtensionCache();
    // A row per entry, calls on existing rows only, the hourglass restored, at
    // most the two loaders' messages; only a proven checksum names a file.
    FUZZ_CHECK(!view.badCall && view.waitDepth == 0 && prompt.messages.size() <= 2 &&
               view.rows.size() == state.Entries.size());
    size_t row = 0;
    for (const ExtensionEntry& entry : state.Entries)
        FUZZ_CHECK(
            view.rows[row++].tag == entry.Status &&
            (!entry.IsExtension || entry.Descriptor.isEmpty() || IsSafeChecksum(entry.Checksum)));
    return 0;
}
