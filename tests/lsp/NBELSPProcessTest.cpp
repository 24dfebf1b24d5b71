#include "NBELSPProcess.h"
#include "NBETestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/resource.h>

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
