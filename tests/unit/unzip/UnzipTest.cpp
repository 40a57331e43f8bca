// cUnzipFiles on archives made at run time with libzip: what each situation
// returns, prints, asks and leaves on disk, hostile archives included; the
// properties and the callbacks.

#include "support/FakeView.h"
#include "support/TestSupport.h"
#include "unzip/cUnzipFiles.h"
#include "unzip/mUnzip.h"

#include <QDateTime>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtEndian>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zip.h>

namespace {

using S = cUnzipFiles;

struct ZipMember
{
    QByteArray name; // kept exactly as given, hostile or not
    QByteArray data;
    bool compress = true;
    QByteArray password = {};    // traditional encryption when not empty
    uint32_t unixMode = 0100644; // the mode of a member made on Unix
};

QByteArray MakeZip(const QList<ZipMember>& members)
{
    const QTemporaryDir dir;
    const QString path = dir.filePath("made.zip");
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE, nullptr);
    for (const ZipMember& m : members) {
        zip_source_t* source = zip_source_buffer(za, m.data.constData(), m.data.size(), 0);
        const auto i = zip_uint64_t(zip_file_add(za, m.name.constData(), source, ZIP_FL_ENC_RAW));
        zip_set_file_compression(za, i, m.compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        if (!m.password.isEmpty())
            zip_file_set_encryption(za, i, ZIP_EM_TRAD_PKWARE, m.password.constData());
        zip_file_set_external_attributes(za, i, 0, ZIP_OPSYS_UNIX, m.unixMode << 16);
    }
    return zip_close(za) == 0 ? ReadFile(path) : QByteArray();
}

// Every entry below dir, sorted: folders end in "/", symbolic links in "->",
// files give "=" and their content (its size when longer than 16 bytes).
QStringList Tree(const QString& dir)
{
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QByteArray data = ReadFile(info.filePath());
        const QString content = data.size() > 16 ? QString::number(data.size()) + " bytes" : data;
        entries << QDir(dir).relativeFilePath(info.filePath()) + (info.isSymLink() ? "->"
                                                                  : info.isDir()   ? "/"
                                                                                   : "=" + content);
    }
    entries.sort();
    return entries;
}

void None(cUnzipFiles&, const QString&) {}

struct Case
{
    const char* what;
    QList<ZipMember> members;
    void (*setup)(cUnzipFiles&, const QString& target) = None;
    int32_t code = 0;
    // The exact last message (at MessageLevel 1 unless set up otherwise), with
    // %1 for the archive's path, %2 for the target's and @ for the test folder.
    QString message = {};
    QStringList tree = {}; // what the target holds afterwards, as Tree() gives it
    QByteArray (*bend)(QByteArray) = nullptr; // changes the archive; a null result: no archive
    QStringList questions = {}; // every input box prompt, and message box text|title|style
    QStringList inputs = {};    // the answers to the input box
    std::deque<int32_t> answers = {};
    UnzipLimits limits = {};
    bool fullDisk = false; // a file may not grow past 1 MiB: EFBIG, as on a full disk
};

// Runs each case in a folder of its own, beside a file and a folder that must
// stay as they are whatever the archive holds.
void Extract(const std::vector<Case>& cases)
{
    signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QTemporaryDir dir;
        const QString zip = dir.filePath("a.zip"), out = dir.filePath("out");
        QList<ZipMember> members = c.members;
        for (ZipMember& m : members)
            m.name.replace('@', QFile::encodeName(dir.path()));
        const QByteArray bytes = c.bend ? c.bend(MakeZip(members)) : MakeZip(members);
        ASSERT_TRUE(WriteFile(dir.filePath("precious.txt"), "precious") &&
                    QDir().mkpath(dir.filePath("elsewhere")) &&
                    (bytes.isNull() || WriteFile(zip, bytes)));
        ScriptedPrompt prompt;
        prompt.inputs.assign(c.inputs.begin(), c.inputs.end());
        prompt.answers = c.answers;
        cUnzipFiles files(&prompt);
        files.SetMessageLevel(1);
        c.setup(files, out);
        ExtractionLimits() = c.limits; // every case sets its own
        rlimit saved = {};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit small = {c.fullDisk ? 1u << 20 : saved.rlim_cur, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        EXPECT_EQ(files.Unzip(zip, out), c.code);
        setrlimit(RLIMIT_FSIZE, &saved);

        QStringList asked = prompt.inputPrompts;
        for (const ScriptedPrompt::Message& m : prompt.messages)
            asked << m.text + '|' + m.title + '|' + QString::number(m.style);
        EXPECT_EQ(asked.replaceInStrings(out, "%2"), c.questions);
        EXPECT_EQ(
            files.GetLastMessage().replace(zip, "%1").replace(out, "%2").replace(dir.path(), "@"),
            c.message);
        EXPECT_EQ(Tree(out), c.tree);
        EXPECT_EQ(Tree(dir.path()).filter(QRegularExpression("^(?!out/|a\\.zip)")),
                  QStringList({"elsewhere/", "precious.txt=precious"}));
    }
}

template <auto set, auto value> void Set(cUnzipFiles& files, const QString&)
{
    (files.*set)(value);
}

// a.txt on disk is older than the archive's, c.txt newer, b.txt missing; then
// the options.
template <bool overwrite = true, auto set = &S::SetTestZip, bool value = false,
          bool noPrompt = false>
void Older(cUnzipFiles& files, const QString& out)
{
    for (const auto& [name, age] : {std::pair{"/a.txt", 5}, {"/c.txt", -5}}) {
        QFile file(out + name);
        ASSERT_TRUE(QDir().mkpath(out) && file.open(QIODevice::WriteOnly) && file.write("old") &&
                    file.flush() &&
                    file.setFileTime(QDateTime::currentDateTime().addYears(-age),
                                     QFileDevice::FileModificationTime));
    }
    (files.*set)(value);
    files.SetOverWriteFiles(overwrite && files.OverWriteFiles());
    if (noPrompt)
        files.SetPrompt(nullptr);
}

QByteArray Flip(QByteArray bytes, qsizetype at)
{
    bytes[at] = char(bytes[at] ^ 0x55);
    return bytes;
}

qsizetype Central(const QByteArray& zip)
{
    return zip.indexOf("PK\x01\x02");
}

// One member listed twice by the central directory: two entries share one
// local header and its data.
QByteArray Overlapping(QByteArray zip)
{
    const qsizetype central = Central(zip), end = zip.lastIndexOf("PK\x05\x06");
    QByteArray entry = zip.mid(central, end - central);
    entry[46] = 'b'; // the second entry's name
    zip.insert(end, entry);
    char* record = zip.data() + end + entry.size();
    qToLittleEndian<quint16>(2, record + 8);
    qToLittleEndian<quint16>(2, record + 10);
    qToLittleEndian<quint32>(2 * entry.size(), record + 12);
    return zip;
}

QList<ZipMember> Many(int count, qsizetype size)
{
    QList<ZipMember> members;
    for (int i = 0; i < count; ++i)
        members.append({"m" + QByteArray::number(i), QByteArray(size, 'x')});
    return members;
}

const QList<ZipMember> kTwo = {{"a.txt", QByteArray("EOS R5 ").repeated(3000)},
                               {"b.txt", "bee", false}};
const QString kBomb = " (possible zip bomb)\n";
const QString kPassword = "Please Enter The Password!";
const char* const kSkipped = "   skipping: a.txt                   incorrect password\n";
const QString kAskA = "Overwrite %2/a.txt?|VBUnZip32 - File Already Exists!|51";
const UnzipLimits kSmall = {1000, 5};
const ZipMember kLink = {"link", "../precious.txt", false, "", 0120777}; // a symbolic link

} // namespace

TEST(UnzipFiles, ReturnCodes)
{
    Extract({
        Case("everything printed", kTwo, Set<&S::SetMessageLevel, 0>, 0,
             "Archive:  %1\n  inflating: %2/a.txt  \n extracting: %2/b.txt  \n",
             {"a.txt=21000 bytes", "b.txt=bee"}),
        Case("no archive", kTwo, None, 9, "error:  cannot find or open %1.\n", {},
             [](QByteArray) { return QByteArray(); }),
        Case("empty file", kTwo, None, 9,
             "  End-of-central-directory signature not found.  Either this file is not\n"
             "  a zipfile, or it constitutes one disk of a multi-part archive.\n",
             {}, [](QByteArray) { return QByteArray(""); }),
        Case("local header offset past the data", kTwo, None, 3,
             "error [%1]:  the central directory is damaged\n", {},
             [](QByteArray z) { return Flip(z, Central(z) + 42); }),
        Case("bad CRC", kTwo, None, 2, "%2/b.txt:  bad CRC\n", {"a.txt=21000 bytes"},
             [](QByteArray z) { return Flip(z, Central(z) - 3); }),
        Case("bad compressed data", kTwo, None, 2, "%2/a.txt:  invalid compressed data\n",
             {"b.txt=bee"}, [](QByteArray z) { return Flip(z, 40); }),
        Case("no members", {}, None, 1, "warning [%1]:  zipfile is empty\n", {},
             [](QByteArray) { return QByteArray("PK\x05\x06", 4) + QByteArray(18, 0); }),
        Case("test only", kTwo, Set<&S::SetTestZip, true>, 2,
             "a.txt:  invalid compressed data\nAt least one error was detected in %1.\n", {},
             [](QByteArray z) { return Flip(z, 40); }),
        Case("list only", kTwo, Set<&S::SetExtractList, 1>),
        Case("blanks", {{"a b", "s"}}, Set<&S::SetSpaceToUnderScore, true>, 0, "", {"a_b=s"}),
        // A numeric option outside 16 bits is a run-time error: 0, nothing done.
        Case("MessageLevel 32767", {{"a", "a"}}, Set<&S::SetMessageLevel, 32767>, 0, "", {"a=a"}),
        Case("MessageLevel 32768", {{"a", "a"}}, Set<&S::SetMessageLevel, 32768>),
        Case("disk full",
             {{"small", "small"}, {"a.txt", PseudoRandomBytes(3 << 20, 9)}, {"z", "z"}}, Older<>,
             50, "%2/a.txt:  write error (disk full?).  File too large\n",
             {"a.txt=old", "c.txt=old", "small=small"}, nullptr, {}, {}, {}, {}, true),
    });
}

TEST(UnzipFiles, HostileArchives)
{
    const QList<ZipMember> names = {{"a/", ""},     {"a/b/c", "c"},
                                    {"../d", "d"},  {"e\\..\\..\\f", "f"},
                                    {"C:\\g", "g"}, {"\\\\server\\share\\h", "h"}};
    Extract({
        Case("folders kept", names, None, 1,
             "warning:  skipped \"../\" path component(s) in ../d\n"
             "warning:  skipped \"../\" path component(s) in e\\..\\..\\f\n"
             "warning:  stripped absolute path spec from C:\\g\n"
             "warning:  stripped absolute path spec from \\\\server\\share\\h\n",
             {"a/", "a/b/", "a/b/c=c", "d=d", "e/", "e/f=f", "g=g", "server/", "server/share/",
              "server/share/h=h"}),
        Case("flattened", names + QList<ZipMember>{{"C:i", "i"}, {"@/precious.txt", "j"}},
             Set<&S::SetHonorDirectories, false>, 1,
             "warning:  stripped absolute path spec from C:\\g\n"
             "warning:  stripped absolute path spec from \\\\server\\share\\h\n"
             "warning:  stripped absolute path spec from C:i\n"
             "warning:  stripped absolute path spec from @/precious.txt\n",
             {"c=c", "d=d", "f=f", "g=g", "h=h", "i=i", "precious.txt=j"}),
        Case("no file name, a link", {{"..", "1"}, {"x/.", "2"}, kLink, {"ok", "ok"}}, None, 1,
             "warning:  skipped ..:  no usable file name\n"
             "warning:  skipped x/.:  no usable file name\n"
             "warning:  symbolic link not extracted: link\n",
             {"ok=ok"}),
        Case("links in the target", {{"a.txt", "new"}, {"sub/x.txt", "x"}},
             [](cUnzipFiles&, const QString& out) {
                 QDir().mkpath(out);
                 QFile::link(out + "/../precious.txt", out + "/a.txt");
                 QFile::link(out + "/../elsewhere", out + "/sub");
             },
             50, "error:  cannot create %2/sub/x.txt\n        Not a directory\n",
             {"a.txt=new", "sub->"}),
        Case("overlapping members", {kTwo[0]}, None, 12,
             "error: invalid zip file with overlapped components" + kBomb, {}, Overlapping),
        Case("at the limits", Many(5, 200), None, 0, "",
             {"m0=200 bytes", "m1=200 bytes", "m2=200 bytes", "m3=200 bytes", "m4=200 bytes"},
             nullptr, {}, {}, {}, kSmall),
        Case("a byte past the limit", {{"a", PseudoRandomBytes(1001, 1)}}, None, 12,
             "error:  %1 would expand to more than 1000 bytes; nothing extracted" + kBomb, {},
             nullptr, {}, {}, {}, kSmall),
        Case(
            "more than it declares", {{"a", QByteArray(200000, 'x')}}, None, 12,
            "error:  extraction stopped at %2/a: more than 1000 bytes would be written" + kBomb, {},
            [](QByteArray z) { // the headers claim 100 bytes for 200000
                qToLittleEndian<quint32>(100, z.data() + 22);
                qToLittleEndian<quint32>(100, z.data() + Central(z) + 24);
                return z;
            },
            {}, {}, {}, kSmall),
        Case("a member past the limit", Many(6, 1), None, 12,
             "error:  %1 has 6 members, more than the 5 allowed; nothing extracted" + kBomb, {},
             nullptr, {}, {}, {}, kSmall),
    });
}

TEST(UnzipFiles, QuestionsAndAnswers)
{
    const QList<ZipMember> locked = {
        {"sub/", ""}, {"a.txt", "a", true, "sesame"}, {"b.bin", "bee", false, "sesame"}};
    const QList<ZipMember> fresh = {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}};
    const QString skipped = kSkipped + QString(kSkipped).replace("a.txt", "b.bin");
    const QStringList kept = {"a.txt=old", "b.txt=new b", "c.txt=old"};
    const QStringList newer = {"a.txt=new a", "b.txt=new b", "c.txt=old"};
    Extract({
        Case("wrong, then right", locked, None, 0, "", {"a.txt=a", "b.bin=bee", "sub/"}, nullptr,
             {kPassword, kPassword}, {"wrong", "sesame"}),
        Case("no password", locked, None, 82, skipped, {"sub/"}, nullptr, {kPassword}),
        Case("three wrong, then none", locked, None, 82, skipped, {"sub/"}, nullptr,
             {kPassword, kPassword, kPassword, kPassword}, {"w1", "w2", "w3"}),
        Case("no prompt", locked, Set<&S::SetPrompt, nullptr>, 82, skipped, {"sub/"}),
        Case("no password, a plain member", {locked[1], {"p", "p"}}, None, 1, kSkipped, {"p=p"},
             nullptr, {kPassword}),
        Case("overwrite by default", fresh, Older<>, 0, "",
             {"a.txt=new a", "b.txt=new b", "c.txt=new c"}),
        Case("asked: yes, no", fresh, Older<false, &S::SetPromptOverwrite, true>, 0, "", newer,
             nullptr, {kAskA, QString(kAskA).replace("a.txt", "c.txt")}, {}, {6, 7}),
        Case("asked: cancel", fresh, Older<false, &S::SetPromptOverwrite, true>, 0, "", kept,
             nullptr, {kAskA}, {}, {2}),
        Case("asked, no prompt", fresh, Older<false, &S::SetPromptOverwrite, true, true>, 0, "",
             kept),
        Case("freshen", fresh, Older<true, &S::SetExtractNewer, true>, 0, "",
             {"a.txt=new a", "c.txt=old"}),
        Case("update", fresh, Older<true, &S::SetExtractOnlyNewer, true>, 0, "", newer),
    });
}

TEST(UnzipFiles, PropertiesFillTheOptionRecordAndArgumentsReplaceThem)
{
    const UnzipOptionRecord r = FillOptionRecord(cUnzipFiles());
    EXPECT_EQ(QList<int32_t>({r.ExtractOnlyNewer, r.SpaceToUnderscore, r.PromptToOverwrite,
                              r.fQuiet, r.ncflag, r.ntflag, r.nvflag, r.nfflag, r.nzflag, r.ndflag,
                              r.noflag, r.naflag, r.nZIflag, r.C_flag, r.fPrivilege}),
              QList<int32_t>({0, 0, 0, 2, 0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0}));
    // A boolean reads true only for the stored value 1; true is stored as 1.
    cUnzipFiles files;
    files.Slots().HonorDirectories = -1;
    files.SetVerbose(true);
    EXPECT_FALSE(files.HonorDirectories() || files.Slots().Verbose != 1);
    // Given paths replace the stored ones, for later calls too; empty ones keep them.
    files.SetMessageLevel(1);
    files.Unzip(QStringLiteral("/nonexistent/Пакет.zip"), QStringLiteral("/nonexistent/a"));
    EXPECT_EQ(files.Unzip(QString(), QStringLiteral("/nonexistent/b")), 9);
    EXPECT_EQ(files.GetLastMessage(), "error:  cannot find or open /nonexistent/Пакет.zip.\n");
    EXPECT_EQ(FillOptionRecord(files).lpszExtractDir, "/nonexistent/b");
}

TEST(UnzipFiles, PrintAndPasswordCallbacks)
{
    cUnzipFiles().Unzip(QStringLiteral("/nonexistent.zip")); // resets the printed text
    // Up to the length or a zero byte; a piece that begins with a line feed is one CR LF.
    for (const auto& [text, length] : {std::pair{"abcdef", 3}, {"gh\0ij", 5}, {"\nlost", 6}})
        UnzipPrint(text, length);
    EXPECT_EQ(UnzipLastMessage(), QStringLiteral("abcgh\r\n"));

    ScriptedPrompt prompt;
    prompt.inputs = {"abcdefgh", "pw"};
    SetUnzipPrompt(&prompt);
    char buffer[7] = "XXXXXX";
    EXPECT_EQ(UnzipPassword(buffer, 5, "", ""), 0);
    EXPECT_EQ(QByteArray(buffer, 6), QByteArray("abcd\0X", 6));
    EXPECT_EQ(UnzipPassword(buffer, 5, "", ""), 0);
    EXPECT_EQ(QByteArray(buffer, 5), QByteArray("pw\0\0\0", 5));
    // An empty answer: no password, and no more questions.
    EXPECT_EQ(UnzipPassword(buffer, 5, "", "") + UnzipPassword(buffer, 5, "", ""), 2);
    EXPECT_EQ(prompt.inputPrompts.size(), 3);
    SetUnzipPrompt(nullptr);
}
