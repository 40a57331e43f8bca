// Hostile archives: names that reach out of the target folder, symbolic links,
// zip bombs of both kinds, a full disk; and the engine's own callbacks.

#include "ZipFixtures.h"
#include "support/TestSupport.h"
#include "unzip/UnzipEngine.h"
#include "unzip/ZipDirectory.h"
#include "unzip/cUnzipFiles.h"
#include "unzip/mUnzip.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

class UnzipSafety : public ::testing::Test
{
protected:
    void TearDown() override { ExtractionLimits() = UnzipLimits(); }

    QString Zip(const QString& name = QStringLiteral("a.zip")) const { return dir.filePath(name); }
    QString Out() const { return dir.filePath(QStringLiteral("out")); }
    QString OutFile(const QString& name) const
    {
        return dir.filePath(QStringLiteral("out/") + name);
    }
    // Everything in the test folder that is not the archive or below out/.
    QStringList Outside() const
    {
        QStringList outside;
        for (const QString& entry : ListTree(dir.path())) {
            if (!entry.startsWith(QStringLiteral("out/")) &&
                !entry.endsWith(QStringLiteral(".zip")))
                outside << entry;
        }
        return outside;
    }
    int32_t Extract(bool honorDirectories, int32_t messageLevel = 2)
    {
        cUnzipFiles files;
        files.SetHonorDirectories(honorDirectories);
        files.SetMessageLevel(messageLevel);
        const int32_t code = files.Unzip(Zip(), Out());
        message = files.GetLastMessage();
        return code;
    }

    QTemporaryDir dir;
    QString message;
};

void PutLe16(QByteArray& bytes, qsizetype at, uint16_t value)
{
    bytes[at] = static_cast<char>(value & 0xff);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void PutLe32(QByteArray& bytes, qsizetype at, uint32_t value)
{
    PutLe16(bytes, at, static_cast<uint16_t>(value & 0xffff));
    PutLe16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

// A copy of an archive of one member whose central directory lists that member
// a second time under another name of the same length: two entries share one
// local header and its data.
QByteArray WithSecondEntryForTheSameData(const QByteArray& zip, const QByteArray& otherName)
{
    const qsizetype end = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    const qsizetype central = zip.indexOf(QByteArray("PK\x01\x02", 4));
    QByteArray entry = zip.mid(central, end - central);
    const qsizetype nameLength =
        static_cast<uchar>(entry[28]) | (static_cast<uchar>(entry[29]) << 8);
    entry.replace(46, nameLength, otherName);
    QByteArray result = zip.left(end) + entry + zip.mid(end);
    const qsizetype newEnd = end + entry.size();
    PutLe16(result, newEnd + 8, 2);
    PutLe16(result, newEnd + 10, 2);
    PutLe32(result, newEnd + 12, static_cast<uint32_t>(2 * entry.size()));
    return result;
}

} // namespace

// ---- names -------------------------------------------------------------------

TEST(MendMemberName, StripsEverythingThatLeadsOutOfTheTarget)
{
    struct Case
    {
        QByteArray name;
        bool honor;
        QByteArray folders; // joined with "/"
        QByteArray file;
        bool absolute, parent, unusable;
    };
    const Case cases[] = {
        {"a/b/c.txt", true, "a/b", "c.txt", false, false, false},
        {"a/b/c.txt", false, "", "c.txt", false, false, false},
        {"../x.txt", true, "", "x.txt", false, true, false},
        {"../x.txt", false, "", "x.txt", false, false, false},
        {"a/../../x.txt", true, "a", "x.txt", false, true, false},
        {"/etc/passwd", true, "etc", "passwd", true, false, false},
        {"\\\\server\\share\\x", true, "server/share", "x", true, false, false},
        {"C:\\Windows\\x.dll", true, "Windows", "x.dll", true, false, false},
        {"C:x.dll", false, "", "x.dll", true, false, false},
        {"a\\b/c", false, "", "c", false, false, false},
        {"..", true, "", "..", false, false, true},
        {"a/..", false, "", "..", false, false, true},
        {"a/.", true, "a", ".", false, false, true},
        {"", true, "", "", false, false, true},
        {"C:", false, "", "", true, false, true},
    };
    for (const Case& c : cases) {
        const MendedName mended = MendMemberName(c.name, c.honor, false);
        EXPECT_EQ(mended.folders.join('/'), c.folders) << c.name.constData() << " " << c.honor;
        EXPECT_EQ(mended.file, c.file) << c.name.constData();
        EXPECT_EQ(mended.strippedAbsolute, c.absolute) << c.name.constData();
        EXPECT_EQ(mended.strippedParent, c.parent) << c.name.constData();
        EXPECT_EQ(mended.unusable, c.unusable) << c.name.constData();
        EXPECT_FALSE(mended.isFolder) << c.name.constData();
    }
    const MendedName folder = MendMemberName("x/../y z\\", true, true);
    EXPECT_TRUE(folder.isFolder);
    EXPECT_EQ(folder.folders, QList<QByteArray>({"x", "y_z"}));
    EXPECT_TRUE(folder.strippedParent);
}

TEST_F(UnzipSafety, HostileNames_AreWrittenInsideTheTargetOrSkipped)
{
    const QByteArray absolute = QFile::encodeName(dir.filePath(QStringLiteral("escaped.txt")));
    ASSERT_TRUE(MakeZip(Zip(), {{"../evil1.txt", "1"},
                                {absolute, "2"},
                                {"a\\..\\..\\evil3.txt", "3"},
                                {"C:\\evil4.txt", "4"},
                                {"\\\\server\\share\\evil5.txt", "5"},
                                {"..", "6"},
                                {"sub/..", "7"},
                                {".", "8"},
                                {"fine.txt", "9"}}));
    EXPECT_EQ(Extract(true, 1), 1);
    EXPECT_EQ(Outside(), QStringList());
    QStringList expected = {"a/",       "a/evil3.txt", "evil1.txt",     "evil4.txt",
                            "fine.txt", "server/",     "server/share/", "server/share/evil5.txt"};
    // The absolute name is recreated below out/.
    QString folders;
    for (const QString& part : QString::fromLocal8Bit(absolute).split(u'/', Qt::SkipEmptyParts)) {
        folders += part;
        expected << (part == QStringLiteral("escaped.txt") ? folders : folders + u'/');
        folders += u'/';
    }
    expected.sort();
    EXPECT_EQ(ListTree(Out()), expected);
    EXPECT_TRUE(message.contains(
        QStringLiteral("warning:  skipped \"../\" path component(s) in ../evil1.txt\n")));
    EXPECT_TRUE(message.contains(
        QStringLiteral("warning:  stripped absolute path spec from C:\\evil4.txt\n")));
    EXPECT_TRUE(message.contains(QStringLiteral("warning:  skipped ..:  no usable file name\n")));
    EXPECT_TRUE(
        message.contains(QStringLiteral("warning:  skipped sub/..:  no usable file name\n")));

    QDir(Out()).removeRecursively();
    EXPECT_EQ(Extract(false), 1);
    EXPECT_EQ(Outside(), QStringList());
    EXPECT_EQ(ListTree(Out()), QStringList({"escaped.txt", "evil1.txt", "evil3.txt", "evil4.txt",
                                            "evil5.txt", "fine.txt"}));
}

TEST_F(UnzipSafety, NameEmptyAfterFlattening_IsSkippedWithAWarning)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"x/.", "dot"}, {"ok.txt", "ok"}}));
    EXPECT_EQ(Extract(false, 1), 1);
    EXPECT_EQ(message, QStringLiteral("warning:  skipped x/.:  no usable file name\n"));
    EXPECT_EQ(ListTree(Out()), QStringList({"ok.txt"}));
}

// ---- symbolic links ----------------------------------------------------------

TEST_F(UnzipSafety, SymlinkMember_IsNotCreated)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"link", "/etc/passwd", false, {}, 0120777}, {"ok.txt", "ok"}}));
    EXPECT_EQ(Extract(true, 1), 1);
    EXPECT_EQ(message, QStringLiteral("warning:  symbolic link not extracted: link\n"));
    EXPECT_EQ(ListTree(Out()), QStringList({"ok.txt"}));
}

TEST_F(UnzipSafety, SymlinkAlreadyInTheTarget_IsReplacedNotFollowed)
{
    ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("precious.txt")), "precious"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QDir().mkpath(Out()));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("precious.txt")), OutFile("a.txt")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("elsewhere")), OutFile("sub")));
    ASSERT_TRUE(MakeZip(Zip(), {{"a.txt", "new"}, {"sub/x.txt", "x"}}));

    EXPECT_EQ(Extract(true, 1), 50);
    EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("precious.txt"))), QByteArray("precious"));
    EXPECT_FALSE(QFileInfo(OutFile("a.txt")).isSymLink());
    EXPECT_EQ(ReadFile(OutFile("a.txt")), QByteArray("new"));
    EXPECT_EQ(ListTree(dir.filePath(QStringLiteral("elsewhere"))), QStringList());
    EXPECT_TRUE(
        message.startsWith(QStringLiteral("error:  cannot create ") + OutFile("sub/x.txt") + "\n"));
}

// ---- zip bombs ---------------------------------------------------------------

TEST_F(UnzipSafety, OverlappingMembers_AreRefusedWith12)
{
    ASSERT_TRUE(MakeZip(Zip(QStringLiteral("one.zip")), {{"a.txt", TextBytes(10000)}}));
    const QByteArray bomb =
        WithSecondEntryForTheSameData(ReadFile(Zip(QStringLiteral("one.zip"))), "b.txt");
    ASSERT_TRUE(WriteFile(Zip(), bomb));
    EXPECT_EQ(Extract(true, 1), 12);
    EXPECT_EQ(
        message,
        QStringLiteral("error: invalid zip file with overlapped components (possible zip bomb)\n"));
    EXPECT_FALSE(QFileInfo::exists(Out()));
    // UnZip 6.0 with its overlap check refuses the same archive with the same code.
    EXPECT_EQ(RunProcess(QStringLiteral("unzip"), {"-qq", "-o", Zip(), "-d", dir.filePath("unzip")})
                  .exitCode,
              12);

    const ZipDirectory read = ZipDirectory::Read(Zip(), 10);
    ASSERT_EQ(read.status(), ZipDirectory::Status::Ok);
    ASSERT_EQ(read.entries().size(), 2u);
    EXPECT_EQ(read.entries()[0].localHeaderOffset, read.entries()[1].localHeaderOffset);
    EXPECT_TRUE(read.HasOverlappingMembers());
    EXPECT_FALSE(ZipDirectory::Read(Zip(QStringLiteral("one.zip")), 10).HasOverlappingMembers());
}

TEST_F(UnzipSafety, ByteLimit_AllowsExactlyTheLimit)
{
    ExtractionLimits().maxTotalBytes = 1000;
    ASSERT_TRUE(MakeZip(Zip(), {{"a.bin", PseudoRandomBytes(1000, 1)}}));
    EXPECT_EQ(Extract(true), 0);
    EXPECT_EQ(ReadFile(OutFile("a.bin")), PseudoRandomBytes(1000, 1));

    QDir(Out()).removeRecursively();
    ASSERT_TRUE(MakeZip(Zip(), {{"a.bin", PseudoRandomBytes(1001, 1)}}));
    EXPECT_EQ(Extract(true, 1), 12);
    EXPECT_EQ(message, QStringLiteral("error:  ") + Zip() +
                           " would expand to more than 1000 bytes; nothing extracted "
                           "(possible zip bomb)\n");
    EXPECT_FALSE(QFileInfo::exists(Out()));

    ASSERT_TRUE(MakeZip(Zip(), {{"a.txt", TextBytes(600)}, {"b.txt", TextBytes(401)}}));
    EXPECT_EQ(Extract(true), 12);
    EXPECT_FALSE(QFileInfo::exists(Out()));
}

TEST_F(UnzipSafety, MemberThatExpandsBeyondItsDeclaredSize_StopsAtTheByteLimit)
{
    // The headers claim 100 bytes; the data inflates to 200000.
    ASSERT_TRUE(MakeZip(Zip(), {{"bomb.txt", TextBytes(200000)}}));
    QByteArray bytes = ReadFile(Zip());
    PutLe32(bytes, 22, 100);
    const qsizetype central = bytes.indexOf(QByteArray("PK\x01\x02", 4));
    PutLe32(bytes, central + 24, 100);
    ASSERT_TRUE(WriteFile(Zip(), bytes));
    ExtractionLimits().maxTotalBytes = 5000;
    EXPECT_EQ(Extract(true, 1), 12);
    EXPECT_EQ(message, QStringLiteral("error:  extraction stopped at ") + OutFile("bomb.txt") +
                           ": more than 5000 bytes would be written (possible zip bomb)\n");
    EXPECT_EQ(ListTree(Out()), QStringList());
}

TEST_F(UnzipSafety, MemberLimit_AllowsExactlyTheLimit)
{
    QList<ZipMember> members;
    for (int i = 0; i < 5; ++i)
        members.append(ZipMember("m" + QByteArray::number(i), "x"));
    ASSERT_TRUE(MakeZip(Zip(), members));
    ExtractionLimits().maxMembers = 5;
    EXPECT_EQ(Extract(true), 0);
    EXPECT_EQ(ListTree(Out()).size(), 5);

    QDir(Out()).removeRecursively();
    members.append(ZipMember("m5", "x"));
    ASSERT_TRUE(MakeZip(Zip(), members));
    EXPECT_EQ(Extract(true, 1), 12);
    EXPECT_EQ(
        message,
        QStringLiteral("error:  ") + Zip() +
            " has 6 members, more than the 5 allowed; nothing extracted (possible zip bomb)\n");
    EXPECT_FALSE(QFileInfo::exists(Out()));
}

TEST_F(UnzipSafety, MoreThan100000Members_AreRefusedBeforeWritingAny)
{
    QList<ZipMember> members;
    members.reserve(100001);
    for (int i = 0; i < 100001; ++i)
        members.append(ZipMember(QByteArray::number(i), QByteArray(), false));
    ASSERT_TRUE(MakeZip(Zip(), members));
    EXPECT_EQ(Extract(false, 1), 12);
    EXPECT_TRUE(
        message.contains(QStringLiteral(" has 100001 members, more than the 100000 allowed")))
        << message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Out()));

    // The directory of such an archive (a Zip64 end record) reads fully.
    const ZipDirectory read = ZipDirectory::Read(Zip(), 200000);
    EXPECT_EQ(read.status(), ZipDirectory::Status::Ok);
    EXPECT_EQ(read.declaredCount(), 100001u);
    EXPECT_EQ(read.entries().size(), 100001u);
    EXPECT_FALSE(read.HasOverlappingMembers());
    const ZipDirectory capped = ZipDirectory::Read(Zip(), 100000);
    EXPECT_EQ(capped.declaredCount(), 100001u);
    EXPECT_TRUE(capped.entries().empty());
}

// ---- a full disk -------------------------------------------------------------

TEST_F(UnzipSafety, FullDisk_Gives50AndLeavesNoHalfWrittenMember)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"small.txt", "small"},
                                {"big.bin", PseudoRandomBytes(3 << 20, 9)},
                                {"late.txt", "late"}}));
    ASSERT_TRUE(QDir().mkpath(Out()));
    ASSERT_TRUE(WriteFile(OutFile("big.bin"), "the old big.bin"));

    // Files of this process may not grow past 1 MiB: writes fail with EFBIG as
    // on a full disk.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
    struct rlimit saved = {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int32_t code = Extract(true, 1);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(code, 50);
    EXPECT_TRUE(message.startsWith(OutFile("big.bin") + ":  write error (disk full?).  "))
        << message.toStdString();
    EXPECT_EQ(ListTree(Out()), QStringList({"big.bin", "small.txt"}));
    EXPECT_EQ(ReadFile(OutFile("big.bin")), QByteArray("the old big.bin"));
}

// ---- the engine's callbacks --------------------------------------------------

namespace {
QList<QByteArray> g_serviced;
QList<QByteArray> g_listed;
int32_t StopAtSecond(const char* name, uint64_t)
{
    g_serviced.append(name);
    return g_serviced.size() >= 2 ? 1 : 0;
}
int32_t RecordMember(const UnzipMemberReport& member)
{
    g_listed.append(QByteArray(member.name) + " " +
                    QByteArray::number(static_cast<quint64>(member.size)) + " " + member.method +
                    (member.encrypted ? " encrypted" : ""));
    return 0;
}
} // namespace

TEST_F(UnzipSafety, ServiceCallbackAnsweringNonZero_StopsWith80)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}}));
    UnzipOptionRecord dcl;
    dcl.ndflag = 1;
    dcl.noflag = 1;
    dcl.lpszZipFN = QFile::encodeName(Zip());
    dcl.lpszExtractDir = QFile::encodeName(Out());
    UnzipCallbackTable uf;
    uf.service = StopAtSecond;
    g_serviced.clear();
    EXPECT_EQ(Wiz_SingleEntryUnzip(dcl, uf), 80);
    EXPECT_EQ(g_serviced, QList<QByteArray>({"a.txt", "b.txt"}));
    EXPECT_EQ(ListTree(Out()), QStringList({"a.txt"}));
    EXPECT_EQ(uf.numMembers, 3u);
    EXPECT_EQ(uf.totalSize, 3u);
}

TEST_F(UnzipSafety, ListMode_ReportsEveryMemberToTheListCallback)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"a.txt", TextBytes(5000)}, {"b.bin", "bee", false, "pw"}}));
    UnzipOptionRecord dcl;
    dcl.nvflag = 1;
    dcl.lpszZipFN = QFile::encodeName(Zip());
    dcl.lpszExtractDir = QFile::encodeName(Out());
    UnzipCallbackTable uf;
    uf.listMember = RecordMember;
    g_listed.clear();
    EXPECT_EQ(Wiz_SingleEntryUnzip(dcl, uf), 0);
    EXPECT_EQ(g_listed, QList<QByteArray>({"a.txt 5000 Defl:N", "b.bin 3 Stored encrypted"}));
    EXPECT_FALSE(QFileInfo::exists(Out()));
}
