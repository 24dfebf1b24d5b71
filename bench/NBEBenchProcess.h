#pragma once

// Runs a program the cheapest way there is (posix_spawn, output read and
// thrown away), as the baseline that our own runs are compared with.
#include <QByteArray>
#include <QList>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char **environ;

namespace NBEBench {

// Returns the number of bytes the program printed.
inline size_t runDiscardingOutput(const QList<QByteArray> &arguments, const QByteArray &folder)
{
    std::vector<char *> argv;
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0)
        return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    char previous[4096];
    pid_t pid = 0;
    if (getcwd(previous, sizeof previous) && chdir(folder.constData()) == 0) {
        posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        if (chdir(previous) != 0)
            pid = pid ? pid : 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    size_t total = 0;
    char buffer[65536];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        total += size_t(n);
    close(fds[0]);
    int status = 0;
    if (pid)
        waitpid(pid, &status, 0);
    return total;
}

} // namespace NBEBench
