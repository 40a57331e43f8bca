#include "crypto/Envelope.h"

#include "crypto/MachineKey.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

TEST(Envelope, WritesRawCiphertextAndReadsItBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("extdb.cfg");
    ASSERT_TRUE(WriteEnvelopeFile(path, "{\"a\":[1]}", true));
    const QByteArray onDisk = ReadFile(path);
    EXPECT_EQ(onDisk, *EncryptBytes(QByteArray("{\"a\":[1]}"), true)) << "no header, no trailer";
    const ByteArray plain = ReadEnvelopeFile(path, true);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, QByteArray("{\"a\":[1]}") + QByteArray(7, '\0'));
    EXPECT_FALSE(ReadEnvelopeFile(dir.filePath("missing"), false));
    ASSERT_TRUE(WriteFile(dir.filePath("odd"), QByteArray(33, 'x')));
    EXPECT_FALSE(ReadEnvelopeFile(dir.filePath("odd"), false));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).contains("extdb.cfg"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "no temporary left";
}

TEST(Envelope, FailedWriteLeavesOldFileByteIdentical)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("extcache.cfg");
    ASSERT_TRUE(WriteEnvelopeFile(path, "old content", false));
    const QByteArray before = ReadFile(path);

    // A folder without write permission: the vendor tool writes through the
    // same code, run as an unprivileged user (root ignores permissions).
    ASSERT_TRUE(WriteFile(dir.filePath("new.txt"), "new content"));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(dir.filePath("new.txt"), QFile::ReadOwner | QFile::ReadOther);
    const QStringList encrypt{"encrypt", "--key", "builtin", dir.filePath("new.txt"), path};
    const ProcessResult denied =
        geteuid() == 0
            ? RunProcess("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                                TOVARINTH_VENDOR_TOOL} +
                                        encrypt)
            : RunVendor(encrypt);
    EXPECT_EQ(denied.exitCode, 2) << denied.err.toStdString();
    EXPECT_EQ(ReadFile(path), before);

    // No room: a file-size limit below the new file's size.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool wroteBig = WriteEnvelopeFile(path, QByteArray(4096, 'n'), false);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(wroteBig);
    EXPECT_EQ(ReadFile(path), before);
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, (QStringList{"extcache.cfg", "new.txt"})) << left.join(",").toStdString();
}
