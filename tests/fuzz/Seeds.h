#pragma once

// Seed inputs made at run time by our own writers (envelopes, archives,
// executables, ICMP messages): binary seeds are never committed. The plain
// JSON seeds live as text in tests/fuzz/seeds/<target>/.

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

// The targets, as named in build/fuzz and tests/data/fuzz.
inline const QStringList kFuzzTargets = {QStringLiteral("json"),    QStringLiteral("envelope"),
                                         QStringLiteral("hex"),     QStringLiteral("unzip"),
                                         QStringLiteral("version"), QStringLiteral("icmp")};

// (file name, bytes) of the seeds of target. committed is the folder of the
// target's text seeds; the envelope's raw seeds are made from them.
QList<std::pair<QString, QByteArray>> GeneratedSeeds(const QString& target,
                                                     const QString& committed);
