// Status refresh on a large repository: our run + parse through the service
// beside git printing the same status alone, in the same process and run.
#include "NBEGitService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

QString g_repository;
constexpr int fileCount = 50000;
constexpr int filesPerFolder = 100;

bool git(const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(g_repository);
    process.start(QStringLiteral("/usr/bin/git"), arguments);
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

bool makeRepository(const QString &folder)
{
    g_repository = folder;
    if (!git({QStringLiteral("init"), QStringLiteral("-q")}))
        return false;
    for (int i = 0; i < fileCount; ++i) {
        const QString dir = folder + QStringLiteral("/dir%1").arg(i / filesPerFolder);
        if (i % filesPerFolder == 0)
            QDir().mkpath(dir);
        QFile file(dir + QStringLiteral("/file %1.html").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QByteArray("<p>") + QByteArray::number(i) + "</p>\n");
    }
    if (!git({QStringLiteral("add"), QStringLiteral(".")}) ||
        !git({QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"),
              QStringLiteral("Files")}))
        return false;
    for (int i = 0; i < fileCount; i += 100) {
        QFile file(folder + QStringLiteral("/dir%1/file %2.html").arg(i / filesPerFolder).arg(i));
        if (!file.open(QIODevice::Append))
            return false;
        file.write("<p>changed</p>\n");
    }
    return git({QStringLiteral("status"), QStringLiteral("-z")});
}

// git alone: spawned directly, its output read and thrown away.
size_t runGitAlone()
{
    const char *argv[] = {"git", "status", "--porcelain", "-z", "--untracked-files=all", nullptr};
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const QByteArray cwd = QFile::encodeName(g_repository);
    pid_t pid = 0;
    const QByteArray old = QDir::currentPath().toLocal8Bit();
    if (chdir(cwd.constData()) != 0)
        return 0;
    posix_spawn(&pid, "/usr/bin/git", &actions, nullptr, const_cast<char **>(argv), environ);
    if (chdir(old.constData()) != 0)
        return 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    size_t total = 0;
    char buffer[65536];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        total += size_t(n);
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return total;
}

void BM_GitStatusAlone(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(runGitAlone());
}
BENCHMARK(BM_GitStatusAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_ServiceStatusRefresh(benchmark::State &state)
{
    NBEGitService service;
    const QUrl repository = QUrl::fromLocalFile(g_repository);
    for (auto _ : state) {
        auto future = service.changes(repository);
        future.waitForFinished();
        if (future.result().size() != fileCount / 100)
            state.SkipWithError("unexpected status");
    }
}
BENCHMARK(BM_ServiceStatusRefresh)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    const QString config = home.filePath(QStringLiteral("gitconfig"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("[user]\n\tname = Bench\n\temail = bench@nabri.invalid\n"
               "[init]\n\tdefaultBranch = main\n");
    file.close();
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("GIT_CONFIG_GLOBAL", QFile::encodeName(config));
    qputenv("GIT_CONFIG_NOSYSTEM", "1");
    qputenv("LC_ALL", "C");
    if (!makeRepository(home.filePath(QStringLiteral("repo"))))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
