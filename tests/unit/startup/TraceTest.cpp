#include "startup/Trace.h"

#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>

// Events carry percent-encoded text ("%3A" for a colon): each line holds the
// event as given, then the two times.
TEST(Trace, PercentEncodedEvents_WrittenAsGiven)
{
    QTemporaryDir dir;
    qputenv("TOVARINTH_TRACE_FILE", dir.filePath("trace.txt").toLocal8Bit());
    const QByteArray events[] = {"message-box:%E9%94%99:a%3Ab%2Cc%1", "window:%7B%22%22%7D"};
    Trace::Mark(QString::fromLatin1(events[0]));
    Trace::Append(QString::fromLatin1(events[1]));
    const QList<QByteArray> lines = ReadFile(dir.filePath("trace.txt")).split('\n');
    ASSERT_EQ(lines.size(), 3);
    for (int i = 0; i < 2; ++i) {
        const QList<QByteArray> fields = lines[i].split(' ');
        ASSERT_EQ(fields.size(), 3) << lines[i].toStdString();
        EXPECT_EQ(fields[0], events[i]);
        EXPECT_GT(fields[2].toLongLong(), fields[1].toLongLong());
    }
}
