#include "NBELSPProcess.h"
#include "NBETestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Recorder
{
    QByteArray output;
    int outputEnds = 0;
    std::optional<int> status;

    void watch(NBELSPProcess &process)
    {
        QObject::connect(&process, &NBELSPProcess::output,
                         [this](const QByteArray &chunk) { output += chunk; });
        QObject::connect(&process, &NBELSPProcess::outputFinished, [this] { ++outputEnds; });
        QObject::connect(&process, &NBELSPProcess::terminated,
                         [this](int exitStatus) { status = exitStatus; });
    }
};

} // namespace

TEST(NBELSPProcess, DeliversOutputThenItsEndAndTheExitStatus)
{
    NBELSPProcess process("/bin/sh", {"-c", "printf 'a few bytes'; echo 'to stderr' >&2; exit 3"});
    Recorder recorder;
    recorder.watch(process);
    ASSERT_TRUE(process.launch().has_value());
    ASSERT_TRUE(NBETest::waitUntil([&] { return recorder.status.has_value(); }));
    EXPECT_EQ(recorder.output, "a few bytes"); // standard error is not output
    EXPECT_EQ(recorder.outputEnds, 1);
    EXPECT_EQ(recorder.status, 3);

    // Terminating a child that already exited does no harm, twice.
    process.terminate();
    process.terminate();
    EXPECT_FALSE(process.write("late").has_value());
}

TEST(NBELSPProcess, EchoesStandardInputAndStopsOnTerminate)
{
    NBELSPProcess process("/bin/cat", {});
    Recorder recorder;
    recorder.watch(process);
    ASSERT_TRUE(process.launch().has_value());
    ASSERT_TRUE(process.write("ping").has_value());
    ASSERT_TRUE(NBETest::waitUntil([&] { return recorder.output == "ping"; }));
    process.terminate();
    EXPECT_FALSE(process.write("after").has_value());
    // cat leaves once its input closes; nothing more is delivered.
    ASSERT_TRUE(NBETest::waitUntil([&] { return !process.isRunning(); }));
    EXPECT_EQ(recorder.output, "ping");
}

// A server that floods its standard error costs the log a few kilobytes a
// second and the editor's own standard error nothing.
TEST(NBELSPProcess, StandardErrorGoesToTheLogWithinABudget)
{
    QTemporaryFile captured;
    ASSERT_TRUE(captured.open());
    const int savedError = ::dup(STDERR_FILENO);
    ::dup2(captured.handle(), STDERR_FILENO);
    QStringList logged;
    QElapsedTimer clock;
    {
        NBELSPProcess process(
            QStringLiteral("node"),
            {QStringLiteral("-e"),
             QStringLiteral("process.stderr.write('first words\\n');"
                            "const line = 'flood '.repeat(20) + '\\n';"
                            "const start = Date.now();"
                            "(function more() {"
                            "  for (let i = 0; i < 500; ++i) process.stderr.write(line);"
                            "  if (Date.now() - start < 1000) setImmediate(more);"
                            "  else {"
                            "    process.stderr.write(line, () => process.stdout.write('done'));"
                            "    process.stdin.once('data', () => {"
                            "      process.stderr.write('last words\\n');"
                            "      process.exit(0);"
                            "    });"
                            "  }"
                            "})();")});
        Recorder recorder;
        recorder.watch(process);
        QObject::connect(&process, &NBELSPProcess::errorLogged,
                         [&](const QString &line) { logged.append(line); });
        clock.start();
        ASSERT_TRUE(process.launch().has_value());
        // Once the flood is all written and a quiet second passes, the count
        // is said.
        ASSERT_TRUE(NBETest::waitUntil([&] { return recorder.output == "done"; }));
        QTest::qWait(1500);
        ASSERT_TRUE(process.write("go\n").has_value());
        ASSERT_TRUE(NBETest::waitUntil([&] { return recorder.status.has_value(); }));
    }
    const qint64 seconds = clock.elapsed() / 1000 + 1;
    ::dup2(savedError, STDERR_FILENO);
    ::close(savedError);
    EXPECT_FALSE(captured.readAll().contains("flood"));

    ASSERT_FALSE(logged.isEmpty());
    EXPECT_EQ(logged.first(), QStringLiteral("first words"));
    qsizetype bytes = 0;
    qsizetype dropped = 0;
    for (const QString &line : std::as_const(logged)) {
        static const QRegularExpression said(QStringLiteral("^\u2026 (\\d+) lines dropped$"));
        if (const auto match = said.match(line); match.hasMatch())
            dropped += match.captured(1).toLongLong();
        else
            bytes += line.toUtf8().size();
    }
    EXPECT_GT(dropped, 1000);
    EXPECT_LE(bytes, (seconds + 1) * 16 * 1024);
    ASSERT_GE(logged.size(), 2);
    EXPECT_TRUE(logged[logged.size() - 2].endsWith(QStringLiteral(" lines dropped")));
    EXPECT_EQ(logged.last(), QStringLiteral("last words"));
}

TEST(NBELSPProcess, AMissingProgramFailsToLaunch)
{
    NBELSPProcess process("/nonexistent/server", {"--stdio"});
    Recorder recorder;
    recorder.watch(process);
    const auto launched = process.launch();
    ASSERT_FALSE(launched.has_value());
    EXPECT_TRUE(launched.error().description.contains("/nonexistent/server"));
    EXPECT_TRUE(recorder.output.isEmpty());
    EXPECT_FALSE(process.write("x").has_value());
}

TEST(NBELSPProcess, TheServerRunsAtALowerPriorityThanTheEditor)
{
    // Field 19 of a process's stat line is its nice value; cut's is the
    // server's, which it inherits.
    NBELSPProcess process("/bin/sh", {"-c", "cut -d ' ' -f 19 /proc/self/stat"});
    Recorder recorder;
    recorder.watch(process);
    ASSERT_TRUE(process.launch().has_value());
    ASSERT_TRUE(NBETest::waitUntil([&] { return recorder.status.has_value(); }));
    const int editor = getpriority(PRIO_PROCESS, 0);
    EXPECT_EQ(recorder.output.trimmed().toInt(), std::min(editor + 10, 19));
}
