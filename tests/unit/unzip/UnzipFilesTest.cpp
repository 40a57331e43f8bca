// cUnzipFiles against real archives made at run time: properties and their
// storage, arguments, flattening, passwords, overwrite questions, damaged and
// missing archives and the printed messages.

#include "ZipFixtures.h"
#include "support/FakeView.h"
#include "support/TestSupport.h"
#include "unzip/cUnzipFiles.h"
#include "unzip/mUnzip.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

namespace {

class UnzipFiles : public ::testing::Test
{
protected:
    QString Zip(const QString& name = QStringLiteral("a.zip")) const { return dir.filePath(name); }
    QString Out() const { return dir.filePath(QStringLiteral("out")); }
    QString OutFile(const QString& name) const
    {
        return dir.filePath(QStringLiteral("out/") + name);
    }

    QTemporaryDir dir;
};

QByteArray Pad22(const QByteArray& name)
{
    return name.size() >= 22 ? name : name + QByteArray(22 - name.size(), ' ');
}

} // namespace

// ---- properties --------------------------------------------------------------

TEST(UnzipProperties, NewInstance_HasTheDocumentedDefaults)
{
    const cUnzipFiles files;
    EXPECT_FALSE(files.ExtractNewer());
    EXPECT_FALSE(files.SpaceToUnderScore());
    EXPECT_FALSE(files.PromptOverwrite());
    EXPECT_EQ(files.MessageLevel(), 2);
    EXPECT_FALSE(files.WriteToStdOut());
    EXPECT_FALSE(files.TestZip());
    EXPECT_EQ(files.ExtractList(), 0);
    EXPECT_FALSE(files.ExtractOnlyNewer());
    EXPECT_FALSE(files.DisplayComment());
    EXPECT_TRUE(files.HonorDirectories());
    EXPECT_TRUE(files.OverWriteFiles());
    EXPECT_FALSE(files.ConvertCRtoCRLF());
    EXPECT_FALSE(files.Verbose());
    EXPECT_TRUE(files.CaseSensitive());
    EXPECT_EQ(files.Privilege(), 0);
    EXPECT_EQ(files.ZipFileName(), QString());
    EXPECT_EQ(files.ExtractDir(), QString());
    EXPECT_EQ(files.Prompt(), nullptr);
}

TEST(UnzipProperties, BooleanOptions_StoreOneForTrueAndReadTrueOnlyForOne)
{
    cUnzipFiles files;
    files.SetTestZip(true);
    EXPECT_EQ(files.Slots().TestZip, 1);
    files.SetTestZip(false);
    EXPECT_EQ(files.Slots().TestZip, 0);
    // Any true value given as a number stores 1, as a VB Boolean property does.
    files.SetDisplayComment(static_cast<bool>(-1));
    EXPECT_EQ(files.Slots().DisplayComment, 1);

    for (const int16_t stored :
         {int16_t{-1}, int16_t{2}, int16_t{0}, int16_t{32767}, int16_t{-32768}}) {
        files.Slots().HonorDirectories = stored;
        files.Slots().OverWriteFiles = stored;
        files.Slots().CaseSensitive = stored;
        EXPECT_FALSE(files.HonorDirectories()) << stored;
        EXPECT_FALSE(files.OverWriteFiles()) << stored;
        EXPECT_FALSE(files.CaseSensitive()) << stored;
    }
    files.Slots().Verbose = 1;
    EXPECT_TRUE(files.Verbose());
}

TEST(UnzipProperties, OptionRecord_GetsEachPropertyInItsField)
{
    cUnzipFiles files;
    files.SetExtractOnlyNewer(true);
    files.SetPromptOverwrite(true);
    files.SetMessageLevel(-32768);
    files.SetExtractList(32767);
    files.SetHonorDirectories(false);
    files.SetPrivilege(7);
    files.SetZipFileName(QStringLiteral("/tmp/Пакет.zip"));
    files.SetExtractDir(QStringLiteral("/tmp/out"));
    const UnzipOptionRecord dcl = FillOptionRecord(files);
    EXPECT_EQ(dcl.ExtractOnlyNewer, 1);
    EXPECT_EQ(dcl.SpaceToUnderscore, 0);
    EXPECT_EQ(dcl.PromptToOverwrite, 1);
    EXPECT_EQ(dcl.fQuiet, -32768);
    EXPECT_EQ(dcl.nvflag, 32767);
    EXPECT_EQ(dcl.nfflag, 0);
    EXPECT_EQ(dcl.ndflag, 0);
    EXPECT_EQ(dcl.noflag, 1);
    EXPECT_EQ(dcl.C_flag, 1);
    EXPECT_EQ(dcl.fPrivilege, 7);
    EXPECT_EQ(dcl.lpszZipFN, QStringLiteral("/tmp/Пакет.zip").toLocal8Bit());
    EXPECT_EQ(dcl.lpszExtractDir, QByteArray("/tmp/out"));

    const UnzipCallbackTable uf = FillCallbackTable();
    EXPECT_EQ(uf.print, &UnzipPrint);
    EXPECT_EQ(uf.sound, nullptr);
    EXPECT_EQ(uf.replace, &UnzipReplace);
    EXPECT_EQ(uf.password, &UnzipPassword);
    EXPECT_EQ(uf.listMember, &UnzipListMember);
    EXPECT_EQ(uf.service, &UnzipService);
}

TEST_F(UnzipFiles, NumericOptionOutside16Bits_GivesZeroAndExtractsNothing)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"a.txt", "alpha"}}));
    struct Case
    {
        void (cUnzipFiles::*set)(int32_t);
        int32_t value;
    };
    const Case outside[] = {{&cUnzipFiles::SetMessageLevel, 32768},
                            {&cUnzipFiles::SetMessageLevel, -32769},
                            {&cUnzipFiles::SetExtractList, 40000},
                            {&cUnzipFiles::SetPrivilege, -40000}};
    for (const Case& c : outside) {
        cUnzipFiles files;
        (files.*c.set)(c.value);
        files.SetMessageLevel(files.MessageLevel() == 2 ? 0 : files.MessageLevel());
        EXPECT_EQ(files.Unzip(Zip(), Out()), 0) << c.value;
        EXPECT_EQ(files.GetLastMessage(), QString()) << c.value;
        EXPECT_FALSE(QFile::exists(OutFile("a.txt"))) << c.value;
    }
    // At the limits the call is made: 32767 prints nothing, -32768 everything.
    cUnzipFiles files;
    files.SetMessageLevel(32767);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 0);
    EXPECT_EQ(ReadFile(OutFile("a.txt")), QByteArray("alpha"));
    EXPECT_EQ(files.GetLastMessage(), QString());
    files.SetMessageLevel(-32768);
    EXPECT_EQ(files.Unzip(), 0);
    EXPECT_TRUE(files.GetLastMessage().startsWith(QStringLiteral("Archive:  ") + Zip()));
}

// ---- arguments ---------------------------------------------------------------

TEST_F(UnzipFiles, EmptyArguments_UseTheStoredPropertiesAndGivenOnesReplaceThem)
{
    ASSERT_TRUE(MakeZip(Zip("one.zip"), {{"one.txt", "1"}}));
    ASSERT_TRUE(MakeZip(Zip("two.zip"), {{"two.txt", "2"}}));
    cUnzipFiles files;
    files.SetZipFileName(Zip("one.zip"));
    files.SetExtractDir(Out());
    EXPECT_EQ(files.Unzip(), 0);
    EXPECT_EQ(ReadFile(OutFile("one.txt")), QByteArray("1"));

    const QString other = dir.filePath(QStringLiteral("other"));
    EXPECT_EQ(files.Unzip(Zip("two.zip"), other), 0);
    EXPECT_EQ(files.ZipFileName(), Zip("two.zip"));
    EXPECT_EQ(files.ExtractDir(), other);
    EXPECT_EQ(ReadFile(other + QStringLiteral("/two.txt")), QByteArray("2"));

    // Only the archive given: the folder stays the stored one, for later calls too.
    EXPECT_EQ(files.Unzip(Zip("one.zip")), 0);
    EXPECT_EQ(files.ExtractDir(), other);
    EXPECT_EQ(ListTree(other), QStringList({"one.txt", "two.txt"}));
}

// ---- layout ------------------------------------------------------------------

TEST_F(UnzipFiles, HonorDirectoriesFalse_PutsEveryMemberUnderItsBareName)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"top.txt", "t"},
                                {"a/", ""},
                                {"a/b/deep.txt", TextBytes(5000)},
                                {"win\\style\\back.txt", "w"},
                                {"mixed/dir\\both.txt", "m"}}));
    cUnzipFiles files;
    files.SetHonorDirectories(false);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 0);
    EXPECT_EQ(ListTree(Out()), QStringList({"back.txt", "both.txt", "deep.txt", "top.txt"}));
    EXPECT_EQ(ReadFile(OutFile("deep.txt")), TextBytes(5000));
}

TEST_F(UnzipFiles, HonorDirectoriesTrue_RecreatesTheFolders)
{
    ASSERT_TRUE(MakeZip(
        Zip(), {{"a/", ""}, {"a/b/deep.txt", "d"}, {"win\\back.txt", "w"}, {"./c/./x.txt", "x"}}));
    cUnzipFiles files;
    files.SetMessageLevel(0);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 0);
    EXPECT_EQ(ListTree(Out()),
              QStringList({"a/", "a/b/", "a/b/deep.txt", "c/", "c/x.txt", "win/", "win/back.txt"}));
    EXPECT_TRUE(files.GetLastMessage().contains(QStringLiteral("   creating: ") + Out() +
                                                QStringLiteral("/a/\n")));
}

TEST_F(UnzipFiles, MissingTargetFolder_IsCreated)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"x.txt", "x"}}));
    cUnzipFiles files;
    EXPECT_EQ(files.Unzip(Zip(), dir.filePath(QStringLiteral("p/q/r"))), 0);
    EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("p/q/r/x.txt"))), QByteArray("x"));
}

TEST_F(UnzipFiles, SpaceToUnderScore_RenamesAndModesAndTimesAreKept)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"my file.txt", "s", true, {}, 0100640}}));
    cUnzipFiles files;
    files.SetSpaceToUnderScore(true);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 0);
    EXPECT_EQ(ListTree(Out()), QStringList({"my_file.txt"}));
    EXPECT_EQ(QFile::permissions(OutFile("my_file.txt")), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ReadUser | QFile::WriteUser |
                                                              QFile::ReadGroup);
}

// ---- messages ----------------------------------------------------------------

TEST_F(UnzipFiles, MessageLevelZero_PrintsWhatUnzipPrints)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"sub/big.txt", TextBytes(20000)}, {"raw.bin", "stored", false}}));
    cUnzipFiles files;
    files.SetHonorDirectories(false);
    files.SetMessageLevel(0);
    ASSERT_EQ(files.Unzip(Zip(), Out()), 0);
    const QString message = files.GetLastMessage();
    EXPECT_EQ(message, UnzipPrintedText());

    // The same archive through the unzip command, flattened like ours.
    const QString theirs = dir.filePath(QStringLiteral("theirs"));
    const ProcessResult unzip =
        RunProcess(QStringLiteral("unzip"), {"-o", "-j", Zip(), "-d", theirs});
    ASSERT_EQ(unzip.exitCode, 0);
    QString expected = QString::fromLocal8Bit(unzip.out);
    expected.replace(theirs, Out());
    EXPECT_EQ(message, expected);
    EXPECT_EQ(message, QStringLiteral("Archive:  ") + Zip() + "\n  inflating: " +
                           QString::fromLocal8Bit(Pad22(OutFile("big.txt").toLocal8Bit())) +
                           "  \n extracting: " +
                           QString::fromLocal8Bit(Pad22(OutFile("raw.bin").toLocal8Bit())) +
                           "  \n");
}

TEST_F(UnzipFiles, MessageLevels_ZeroAllOneWarningsTwoNothing)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"/abs.txt", "a", false}}));
    const QString warning = QStringLiteral("warning:  stripped absolute path spec from /abs.txt\n");
    cUnzipFiles files;
    files.SetMessageLevel(0);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 1);
    EXPECT_EQ(files.GetLastMessage(),
              QStringLiteral("Archive:  ") + Zip() + "\n" + warning + " extracting: " +
                  QString::fromLocal8Bit(Pad22(OutFile("abs.txt").toLocal8Bit())) + "  \n");
    files.SetMessageLevel(1);
    EXPECT_EQ(files.Unzip(), 1);
    EXPECT_EQ(files.GetLastMessage(), warning);
    files.SetMessageLevel(2);
    EXPECT_EQ(files.Unzip(), 1);
    EXPECT_EQ(files.GetLastMessage(), QString());
    EXPECT_EQ(ListTree(Out()), QStringList({"abs.txt"}));
}

TEST(UnzipPrintCallback, TakesBytesUpToLengthOrZeroAndTurnsLeadingLineFeedIntoCrLf)
{
    cUnzipFiles reset; // VBUnzip of a missing archive resets the module state
    reset.Unzip(QStringLiteral("/nonexistent/x.zip"), QStringLiteral("/nonexistent/out"));
    ASSERT_EQ(UnzipPrintedText(), QString());
    EXPECT_EQ(UnzipPrint("abcdef", 3), 0);
    EXPECT_EQ(UnzipPrint("gh\0ij", 5), 0);
    EXPECT_EQ(UnzipPrint("\nlost text", 10), 0);
    EXPECT_EQ(UnzipPrint("caf\xc3\xa9", 5), 0);
    EXPECT_EQ(UnzipPrintedText(), QStringLiteral("abcgh\r\ncafé"));
    EXPECT_EQ(UnzipLastMessage(), UnzipPrintedText());
}

// ---- damaged and missing archives ---------------------------------------------

TEST_F(UnzipFiles, MissingArchive_Gives9)
{
    cUnzipFiles files;
    files.SetMessageLevel(0);
    EXPECT_EQ(files.Unzip(Zip("none.zip"), Out()), 9);
    EXPECT_EQ(files.GetLastMessage(),
              QStringLiteral("error:  cannot find or open ") + Zip("none.zip") + ".\n");
    EXPECT_FALSE(QFileInfo::exists(Out()));
    // A folder is not an archive either.
    EXPECT_EQ(files.Unzip(dir.path(), Out()), 9);
}

TEST_F(UnzipFiles, DamagedArchives_GiveUnzipsCodes)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"a.txt", TextBytes(20000)}, {"b.txt", TextBytes(30000)}}));
    const QByteArray good = ReadFile(Zip());
    struct Case
    {
        const char* what;
        QByteArray bytes;
        int32_t code;
        int32_t
            unzipCode; // UnZip 6.0 takes offsets that point into other members for its overlap bomb
    };
    QByteArray badData = good;
    badData[200] = static_cast<char>(badData[200] ^ 0x55); // inside a.txt's deflated data
    QByteArray badCentral = good;
    const qsizetype central = good.lastIndexOf(QByteArray("PK\x01\x02", 4));
    badCentral[central + 42] = 0x7f; // b.txt's local header offset points into nothing
    const Case cases[] = {
        {"random bytes", PseudoRandomBytes(5000, 7), 9, 9},
        {"empty file", QByteArray(), 9, 9},
        {"truncated end", good.left(good.size() - 10), 9, 9},
        {"truncated data",
         good.left(100) + good.mid(good.indexOf(QByteArray("PK\x01\x02", 4)) - 10), 3, 12},
        {"bad deflate data", badData, 2, 2},
        {"bad local header offset", badCentral, 3, 12},
    };
    for (const Case& c : cases) {
        const QString path = Zip(QStringLiteral("damaged.zip"));
        ASSERT_TRUE(WriteFile(path, c.bytes));
        const QString out =
            dir.filePath(QStringLiteral("out-") + QString::fromLatin1(c.what).replace(' ', '-'));
        cUnzipFiles files;
        files.SetMessageLevel(1);
        EXPECT_EQ(files.Unzip(path, out), c.code)
            << c.what << ": " << files.GetLastMessage().toStdString();
        EXPECT_FALSE(files.GetLastMessage().isEmpty()) << c.what;
        const ProcessResult unzip =
            RunProcess(QStringLiteral("unzip"), {"-o", "-qq", path, "-d", out + "-unzip"});
        EXPECT_EQ(unzip.exitCode, c.unzipCode) << c.what << " (unzip)";
        // No damaged member is left under its own name, no temporary file stays.
        const QStringList written = ListTree(out);
        if (c.code == 2) {
            EXPECT_FALSE(written.contains(QStringLiteral("a.txt"))) << c.what;
        }
        for (const QString& name : written)
            EXPECT_FALSE(name.endsWith(QStringLiteral(".part")))
                << c.what << " " << name.toStdString();
    }
}

TEST_F(UnzipFiles, EmptyArchive_IsAWarning)
{
    ASSERT_TRUE(WriteFile(Zip(), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0')));
    cUnzipFiles files;
    files.SetMessageLevel(1);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 1);
    EXPECT_EQ(files.GetLastMessage(),
              QStringLiteral("warning [") + Zip() + "]:  zipfile is empty\n");
}

// ---- passwords ---------------------------------------------------------------

TEST_F(UnzipFiles, RightPassword_IsAskedOnceAndOpensEveryMember)
{
    ASSERT_TRUE(MakeZip(
        Zip(), {{"a.txt", TextBytes(3000), true, "sesame"}, {"b.bin", "bee", false, "sesame"}}));
    ScriptedPrompt prompt;
    prompt.inputs = {"sesame"};
    cUnzipFiles files(&prompt);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 0);
    ASSERT_EQ(prompt.inputPrompts.size(), 1);
    EXPECT_EQ(prompt.inputPrompts[0], QStringLiteral("Please Enter The Password!"));
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(ReadFile(OutFile("a.txt")), TextBytes(3000));
    EXPECT_EQ(ReadFile(OutFile("b.bin")), QByteArray("bee"));
    EXPECT_EQ(UnzipPasswordSkip(), 0);
}

TEST_F(UnzipFiles, EmptyPasswordAnswer_IsAskedOnceSkipsEveryEncryptedMember)
{
    // Folder entries are never encrypted; they do not count against the rule.
    ASSERT_TRUE(MakeZip(
        Zip(), {{"sub/", ""}, {"a.txt", "a", true, "sesame"}, {"b.txt", "b", true, "sesame"}}));
    ScriptedPrompt prompt;
    cUnzipFiles files(&prompt);
    files.SetMessageLevel(1);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 82);
    EXPECT_EQ(prompt.inputPrompts.size(), 1);
    EXPECT_EQ(UnzipPasswordSkip(), 1);
    EXPECT_EQ(files.GetLastMessage(),
              QStringLiteral("   skipping: a.txt                   incorrect password\n"
                             "   skipping: b.txt                   incorrect password\n"));
    EXPECT_EQ(ListTree(Out()), QStringList({"sub/"}));

    // With a plain member beside them the skipped ones are a warning.
    ASSERT_TRUE(MakeZip(Zip("mixed.zip"), {{"a.txt", "a", true, "sesame"}, {"plain.txt", "p"}}));
    ScriptedPrompt again;
    files.SetPrompt(&again);
    EXPECT_EQ(files.Unzip(Zip("mixed.zip")), 1);
    EXPECT_EQ(again.inputPrompts.size(), 1);
    EXPECT_EQ(ListTree(Out()), QStringList({"plain.txt", "sub/"}));

    // No prompt at all answers empty.
    files.SetPrompt(nullptr);
    EXPECT_EQ(files.Unzip(Zip()), 82);
    EXPECT_EQ(UnzipPasswordSkip(), 1);
}

TEST_F(UnzipFiles, WrongPassword_IsAskedAgainThenGives82)
{
    ASSERT_TRUE(MakeZip(
        Zip(), {{"a.txt", TextBytes(2000), true, "sesame"}, {"b.txt", "b", false, "sesame"}}));
    ScriptedPrompt prompt;
    prompt.inputs = {"wrong", "Sesame", "sesame!", "", ""};
    cUnzipFiles files(&prompt);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 82);
    // Three tries for the first member; the empty fourth answer stops the questions.
    EXPECT_EQ(prompt.inputPrompts.size(), 4);
    EXPECT_EQ(ListTree(Out()), QStringList());

    // A wrong answer followed by the right one extracts.
    ScriptedPrompt second;
    second.inputs = {"wrong", "sesame"};
    files.SetPrompt(&second);
    EXPECT_EQ(files.Unzip(), 0);
    EXPECT_EQ(second.inputPrompts.size(), 2);
    EXPECT_EQ(ReadFile(OutFile("a.txt")), TextBytes(2000));
}

TEST(UnzipPasswordCallback, WritesTheAnswerZeroTerminatedIntoAtMostSizeMinusOneBytes)
{
    ScriptedPrompt prompt;
    prompt.inputs = {"abcdefgh", "pw"};
    SetUnzipPrompt(&prompt);
    char buffer[6];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(UnzipPassword(buffer, 5, "prompt", "name"), 0);
    EXPECT_EQ(QByteArray(buffer, 6), QByteArray("abcd\0X", 6));
    EXPECT_EQ(UnzipPassword(buffer, 5, "prompt", "name"), 0);
    EXPECT_EQ(QByteArray(buffer, 5), QByteArray("pw\0\0\0", 5));
    // The script is exhausted: the empty answer sets the skip flag, which then
    // answers without asking.
    EXPECT_EQ(UnzipPassword(buffer, 5, "prompt", "name"), 1);
    EXPECT_EQ(UnzipPasswordSkip(), 1);
    EXPECT_EQ(UnzipPassword(buffer, 5, "prompt", "name"), 1);
    EXPECT_EQ(prompt.inputPrompts.size(), 3);
    SetUnzipPrompt(nullptr);
}

// ---- overwriting -------------------------------------------------------------

class UnzipOverwrite : public UnzipFiles
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MakeZip(Zip(), {{"a.txt", "new a"}, {"b.txt", "new b"}}));
        ASSERT_TRUE(QDir().mkpath(Out()));
        ASSERT_TRUE(WriteFile(OutFile("a.txt"), "old a"));
        ASSERT_TRUE(WriteFile(OutFile("b.txt"), "old b"));
    }
    QByteArray Contents() const
    {
        return ReadFile(OutFile("a.txt")) + "|" + ReadFile(OutFile("b.txt"));
    }
    int32_t Run(ScriptedPrompt* prompt)
    {
        cUnzipFiles files(prompt);
        files.SetPromptOverwrite(true);
        files.SetOverWriteFiles(false);
        return files.Unzip(Zip(), Out());
    }
};

TEST_F(UnzipOverwrite, AnswerYes_ReplacesTheFile)
{
    ScriptedPrompt prompt;
    prompt.answers = {6, 7};
    EXPECT_EQ(Run(&prompt), 0);
    EXPECT_EQ(Contents(), QByteArray("new a|old b"));
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[0].text, QStringLiteral("Overwrite ") + OutFile("a.txt") + "?");
    EXPECT_EQ(prompt.messages[0].style, 51);
    EXPECT_EQ(prompt.messages[0].title, QStringLiteral("VBUnZip32 - File Already Exists!"));
    EXPECT_EQ(prompt.messages[1].text, QStringLiteral("Overwrite ") + OutFile("b.txt") + "?");
}

TEST_F(UnzipOverwrite, AnswerNo_KeepsTheFileAndAsksForTheNext)
{
    ScriptedPrompt prompt;
    prompt.answers = {7, 6};
    EXPECT_EQ(Run(&prompt), 0);
    EXPECT_EQ(Contents(), QByteArray("old a|new b"));
    EXPECT_EQ(prompt.messages.size(), 2u);
}

TEST_F(UnzipOverwrite, AnswerCancel_KeepsThisAndEveryLaterFileWithoutAsking)
{
    ScriptedPrompt prompt;
    prompt.answers = {2, 6};
    EXPECT_EQ(Run(&prompt), 0);
    EXPECT_EQ(Contents(), QByteArray("old a|old b"));
    EXPECT_EQ(prompt.messages.size(), 1u);
}

TEST_F(UnzipOverwrite, NoPrompt_AnswersNo)
{
    EXPECT_EQ(Run(nullptr), 0);
    EXPECT_EQ(Contents(), QByteArray("old a|old b"));
}

TEST_F(UnzipOverwrite, Defaults_OverwriteWithoutAsking)
{
    ScriptedPrompt prompt;
    cUnzipFiles files(&prompt);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 0);
    EXPECT_EQ(Contents(), QByteArray("new a|new b"));
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(UnzipOverwrite, NeitherOverwriteNorPrompt_KeepsExistingFiles)
{
    ScriptedPrompt prompt;
    cUnzipFiles files(&prompt);
    files.SetOverWriteFiles(false);
    ASSERT_TRUE(QFile::remove(OutFile("b.txt")));
    EXPECT_EQ(files.Unzip(Zip(), Out()), 0);
    EXPECT_EQ(Contents(), QByteArray("old a|new b"));
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(UnzipOverwrite, Freshen_ReplacesOnlyOlderExistingFiles)
{
    ASSERT_TRUE(QFile::remove(OutFile("b.txt")));
    QFile old(OutFile("a.txt"));
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addYears(-5),
                                QFileDevice::FileModificationTime));
    old.close();
    cUnzipFiles files;
    files.SetExtractNewer(true);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 0);
    EXPECT_EQ(ListTree(Out()), QStringList({"a.txt"}));
    EXPECT_EQ(ReadFile(OutFile("a.txt")), QByteArray("new a"));

    // The file on disk is newer now: update mode leaves it, but adds b.txt.
    ASSERT_TRUE(WriteFile(OutFile("a.txt"), "newest a"));
    QFile newer(OutFile("a.txt"));
    ASSERT_TRUE(newer.open(QIODevice::ReadWrite));
    ASSERT_TRUE(newer.setFileTime(QDateTime::currentDateTime().addYears(5),
                                  QFileDevice::FileModificationTime));
    newer.close();
    files.SetExtractNewer(false);
    files.SetExtractOnlyNewer(true);
    EXPECT_EQ(files.Unzip(), 0);
    EXPECT_EQ(Contents(), QByteArray("newest a|new b"));
}

// ---- test and list modes -----------------------------------------------------

TEST_F(UnzipFiles, TestZip_ChecksWithoutWriting)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"a.txt", TextBytes(20000)}}));
    cUnzipFiles files;
    files.SetTestZip(true);
    files.SetMessageLevel(0);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 0);
    EXPECT_EQ(files.GetLastMessage(),
              QStringLiteral("Archive:  ") + Zip() +
                  "\n    testing: a.txt                    OK\nNo errors detected in "
                  "compressed data of " +
                  Zip() + ".\n");
    EXPECT_FALSE(QFileInfo::exists(Out()));

    QByteArray bytes = ReadFile(Zip());
    bytes[100] = static_cast<char>(bytes[100] ^ 0x21);
    ASSERT_TRUE(WriteFile(Zip(), bytes));
    EXPECT_EQ(files.Unzip(), 2);
    EXPECT_TRUE(files.GetLastMessage().endsWith(
        QStringLiteral("At least one error was detected in ") + Zip() + ".\n"));
}

TEST_F(UnzipFiles, ExtractList_ReportsMembersWithoutWriting)
{
    ASSERT_TRUE(MakeZip(Zip(), {{"a.txt", "a"}, {"b.txt", "b"}}));
    cUnzipFiles files;
    files.SetExtractList(1);
    EXPECT_EQ(files.Unzip(Zip(), Out()), 0);
    EXPECT_FALSE(QFileInfo::exists(Out()));
}
