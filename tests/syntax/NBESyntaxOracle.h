#pragma once

// Shared by the formatter tests: runs an independent reference (a Python
// script over a Debian library) on each corpus file before and after a
// formatter, and checks the formatter is idempotent.

#include "NBETestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace NBESyntaxOracle {

inline QByteArray dump(const QString &script, const QString &path)
{
    const auto result = NBETest::run(QStringLiteral("/usr/bin/python3"), {script, path});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    return result.out;
}

// For each corpus file matching `pattern`, formats it with every unit and
// expects the script's dump of the result to equal the dump of the original.
inline void checkCorpus(const QString &pattern, const QString &scriptName,
                        const std::function<QString(const QString &, const QString &)> &format,
                        const QStringList &units)
{
    const QDir corpus(QStringLiteral(NBE_SOURCE_DIR "/tests/syntax/corpus"));
    const QString script = QStringLiteral(NBE_SOURCE_DIR "/tests/syntax/oracles/") + scriptName;
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QStringList files = corpus.entryList({pattern}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString &name : files) {
        const QString original = QString::fromUtf8(NBETest::readFile(corpus.filePath(name)));
        const QByteArray expected = dump(script, corpus.filePath(name));
        for (const QString &unit : units) {
            const QString formatted = format(original, unit);
            EXPECT_EQ(format(formatted, unit), formatted) << name.toStdString();
            const QString out = scratch.filePath(QStringLiteral("formatted-") + name);
            NBETest::writeFile(out, formatted.toUtf8());
            EXPECT_EQ(dump(script, out).toStdString(), expected.toStdString())
                << name.toStdString();
        }
    }
}

} // namespace NBESyntaxOracle
