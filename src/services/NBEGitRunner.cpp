#include "NBEGitRunner.h"

#include "NBEGitOutput.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <csignal>

#include <sys/types.h>
#include <unistd.h>

namespace {

QProcessEnvironment gitEnvironment(const QHash<QString, QString> &extra)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The runner reads English messages; git must never wait for a password
    // on a terminal it doesn't have.
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("GIT_TERMINAL_PROMPT"), QStringLiteral("0"));
    // Every path the editor passes names one file: "[id].js" or "*.css"
    // taken as a pattern would stage, restore or diff other files too.
    environment.insert(QStringLiteral("GIT_LITERAL_PATHSPECS"), QStringLiteral("1"));
    for (auto it = extra.begin(); it != extra.end(); ++it)
        environment.insert(it.key(), it.value());
    return environment;
}

void prepare(QProcess &process, const QString &program, const QStringList &arguments,
             const QUrl &folder, const QHash<QString, QString> &environment)
{
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(folder.toLocalFile());
    process.setProcessEnvironment(gitEnvironment(environment));
    process.setStandardInputFile(QProcess::nullDevice());
    // git leads a process group of its own, which its hooks and what they
    // start join: stopping the group stops them all.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
}

// Stops git and everything in its process group. SIGTERM lets git remove
// its lock files; what lingers is killed after a second, and so is what
// outlived git in the group.
void stopGroup(QProcess &process)
{
    const pid_t group = pid_t(process.processId());
    if (group <= 0)
        return;
    ::kill(-group, SIGTERM);
    if (!process.waitForFinished(1000)) {
        ::kill(-group, SIGKILL);
        process.waitForFinished(-1);
    }
    ::kill(-group, SIGKILL);
}

// Waits for git to end, unless the service goes away first or `cancelled`
// says so: then git's process group is stopped, so closing a window never
// waits for it.
bool finishUnlessStopped(QProcess &process, const std::atomic_bool &stopping,
                         const std::function<bool()> &cancelled = {})
{
    while (!process.waitForFinished(50)) {
        if (process.state() == QProcess::NotRunning)
            return true;
        if (stopping || (cancelled && cancelled())) {
            stopGroup(process);
            return false;
        }
    }
    return true;
}

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QThreadPool *NBEGitRunner::networkPool()
{
    static QThreadPool pool;
    return &pool;
}

NBEGitResult NBEGitRunner::runNetworkCommand(const QUrl &gitURL, const QString &name,
                                             const QStringList &arguments, const QUrl &folder,
                                             const QHash<QString, QString> &environment,
                                             std::chrono::milliseconds limit,
                                             const std::atomic_bool *stopping)
{
    const QString program = gitURL.toLocalFile();
    if (!isExecutableFile(program))
        return NBEGitResult::failure(tr("git isn't installed."));
    QProcess process;
    prepare(process, program, arguments, folder, environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return NBEGitResult::failure(process.errorString());
    QDeadlineTimer deadline(limit);
    while (!process.waitForFinished(50) && process.state() != QProcess::NotRunning) {
        if (stopping && *stopping) {
            stopGroup(process);
            return NBEGitResult::failure(tr("git %1 was stopped as the window closed.").arg(name));
        }
        if (deadline.hasExpired()) {
            stopGroup(process);
            return NBEGitResult::failure(tr("git %1 took too long and was stopped.").arg(name));
        }
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return NBEGitResult::success();
    const QString error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (error.isEmpty())
        return NBEGitResult::failure(tr("git %1 failed.").arg(name), NBEGitFailure::silent);
    return NBEGitResult::failure(error);
}

// The SSH command the user set up (GIT_SSH_COMMAND, else core.sshCommand:
// another key or account for this host, say), made to fail rather than ask.
// Set in the environment alone, BatchMode would take the user's command's
// place.
QString NBEGitRunner::batchSSHCommand(const QUrl &gitURL, const QUrl &folder)
{
    QString command = qEnvironmentVariable("GIT_SSH_COMMAND").trimmed();
    if (command.isEmpty()) {
        QProcess process;
        prepare(
            process, gitURL.toLocalFile(),
            {QStringLiteral("config"), QStringLiteral("--get"), QStringLiteral("core.sshCommand")},
            folder, {});
        process.start(QIODevice::ReadOnly);
        if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            command = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    if (command.isEmpty())
        command = QStringLiteral("ssh");
    return command + QStringLiteral(" -oBatchMode=yes");
}

// A name the user typed that git would read as an option. Refused before git
// runs, so "--upload-pack=…" and the like never reach a command line.
std::optional<QString> NBEGitRunner::refusedName(const QString &name, NBEGitTypedName what)
{
    if (!name.startsWith(u'-'))
        return std::nullopt;
    switch (what) {
    case NBEGitTypedName::commit:
        return tr("A commit can't begin with \u201C-\u201D.");
    case NBEGitTypedName::tagName:
        return tr("A tag name can't begin with \u201C-\u201D.");
    case NBEGitTypedName::branchName:
        return tr("A branch name can't begin with \u201C-\u201D.");
    case NBEGitTypedName::remoteName:
        return tr("A remote name can't begin with \u201C-\u201D.");
    case NBEGitTypedName::remoteURL:
        return tr("A remote URL can't begin with \u201C-\u201D.");
    }
    return std::nullopt;
}

NBEGitRunner::NBEGitRunner(const QUrl &gitURL, std::chrono::milliseconds networkTimeLimit)
    : m_gitURL(gitURL)
    , m_networkTimeLimit(networkTimeLimit)
    , m_networkTail(QtFuture::makeReadyFuture())
{}

NBEGitRunner::~NBEGitRunner()
{
    stop();
}

void NBEGitRunner::stop()
{
    // Queued queries end at once and a running one is stopped before the
    // queue is waited for.
    m_stopping = true;
    m_actor.waitForDone();
}

std::optional<QByteArray> NBEGitRunner::runBytes(const QStringList &arguments, const QUrl &folder,
                                                 QList<int> accept,
                                                 const QHash<QString, QString> &environment) const
{
    auto output = read(arguments, folder, std::move(accept), environment);
    if (!output)
        return std::nullopt;
    return std::move(*output);
}

NBEResult<QByteArray> NBEGitRunner::read(const QStringList &arguments, const QUrl &folder,
                                         QList<int> accept,
                                         const QHash<QString, QString> &environment) const
{
    const QString program = m_gitURL.toLocalFile();
    if (!isExecutableFile(program))
        return nbeFailure(tr("git isn't installed."));
    if (m_stopping)
        return nbeFailure(tr("The window closed before git ran."));
    QProcess process;
    prepare(process, program, arguments, folder, environment);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return nbeFailure(process.errorString());
    // QProcess drains both pipes while it waits, so a large output can't stall git.
    if (!finishUnlessStopped(process, m_stopping))
        return nbeFailure(tr("git was stopped as the window closed."));
    QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || !accept.contains(process.exitCode()))
        return nbeFailure(NBEGitOutput::failureLine(process.readAllStandardError(), arguments));
    return output;
}

std::optional<QString> NBEGitRunner::run(const QStringList &arguments, const QUrl &folder,
                                         bool trim, QList<int> accept,
                                         const QHash<QString, QString> &environment) const
{
    const auto bytes = runBytes(arguments, folder, std::move(accept), environment);
    if (!bytes)
        return std::nullopt;
    QString text = QString::fromUtf8(*bytes);
    return trim ? text.trimmed() : text;
}

NBEGitResult NBEGitRunner::runCapturingError(const QStringList &arguments, const QUrl &folder,
                                             QByteArray *standardOutput,
                                             const std::function<bool()> &cancelled) const
{
    const QString program = m_gitURL.toLocalFile();
    if (!isExecutableFile(program))
        return NBEGitResult::failure(tr("git isn't installed."));
    if (m_stopping)
        return NBEGitResult::failure(tr("The window closed before git ran."));
    QProcess process;
    prepare(process, program, arguments, folder, {});
    if (!standardOutput)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return NBEGitResult::failure(process.errorString());
    if (!finishUnlessStopped(process, m_stopping, cancelled)) {
        if (m_stopping)
            return NBEGitResult::failure(tr("git was stopped as the window closed."));
        NBEGitResult result = NBEGitResult::failure(tr("git was stopped."));
        result.cancelled = true;
        return result;
    }
    if (standardOutput)
        *standardOutput = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return NBEGitResult::success();
    const QString error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (error.isEmpty()) {
        const QString command = arguments.isEmpty() ? QStringLiteral("command") : arguments.first();
        return NBEGitResult::failure(tr("git %1 failed.").arg(command), NBEGitFailure::silent);
    }
    return NBEGitResult::failure(error);
}
