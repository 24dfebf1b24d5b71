#include "NBEGitService.h"

#include "NBEDiffPatch.h"
#include "NBEFileService.h"
#include "NBELineEnding.h"
#include "NBEMemory.h"
#include "NBEReplaceFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QThread>
#include <QThreadPool>
#include <QUuid>

#include <algorithm>
#include <csignal>
#include <functional>
#include <future>

#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr QChar unitSeparator(0x1F);
constexpr QChar recordSeparator(0x1E);

QStringList nonEmptyLines(const std::optional<QString> &output)
{
    if (!output)
        return {};
    return output->split(u'\n', Qt::SkipEmptyParts);
}

QString localPath(const QUrl &url)
{
    return url.toLocalFile();
}

// A name the user typed that git would read as an option. Refused before git
// runs, so "--upload-pack=…" and the like never reach a command line.
std::optional<QString> refusedName(const QString &name, const QString &what)
{
    if (name.startsWith(u'-'))
        return what + QStringLiteral(" can't begin with \u201C-\u201D.");
    return std::nullopt;
}

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
    process.setWorkingDirectory(localPath(folder));
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

// The threads of every window's network commands. No window waits for them;
// the time limit bounds how long one can run.
QThreadPool *networkPool()
{
    static QThreadPool pool;
    return &pool;
}

// One network command, stopped when it runs past `limit`; git's error output
// or a sentence naming the command on failure.
NBEGitResult runNetworkCommand(const QUrl &gitURL, const QString &name,
                               const QStringList &arguments, const QUrl &folder,
                               const QHash<QString, QString> &environment,
                               std::chrono::milliseconds limit,
                               const std::atomic_bool *stopping = nullptr)
{
    const QString program = localPath(gitURL);
    if (!isExecutableFile(program))
        return NBEGitResult::failure(QStringLiteral("git isn't installed."));
    QProcess process;
    prepare(process, program, arguments, folder, environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return NBEGitResult::failure(process.errorString());
    const QString command = QStringLiteral("git ") + name;
    QDeadlineTimer deadline(limit);
    while (!process.waitForFinished(50) && process.state() != QProcess::NotRunning) {
        if (stopping && *stopping) {
            stopGroup(process);
            return NBEGitResult::failure(command +
                                         QStringLiteral(" was stopped as the window closed."));
        }
        if (deadline.hasExpired()) {
            stopGroup(process);
            return NBEGitResult::failure(command +
                                         QStringLiteral(" took too long and was stopped."));
        }
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return NBEGitResult::success();
    QString error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (error.isEmpty())
        error = command + QStringLiteral(" failed.");
    return NBEGitResult::failure(error);
}

// The SSH command the user set up (GIT_SSH_COMMAND, else core.sshCommand:
// another key or account for this host, say), made to fail rather than ask.
// Set in the environment alone, BatchMode would take the user's command's
// place.
QString batchSSHCommand(const QUrl &gitURL, const QUrl &folder)
{
    QString command = qEnvironmentVariable("GIT_SSH_COMMAND").trimmed();
    if (command.isEmpty()) {
        QProcess process;
        prepare(
            process, localPath(gitURL),
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

} // namespace

NBEGitService::NBEGitService(const QUrl &gitURL, std::chrono::milliseconds networkTimeLimit)
    : m_gitURL(gitURL)
    , m_networkTimeLimit(networkTimeLimit)
    , m_networkTail(QtFuture::makeReadyFuture())
{}

NBEGitService::~NBEGitService()
{
    // Queued queries end at once and a running one is stopped before the
    // queue is waited for.
    m_stopping = true;
}

template <typename Job> auto NBEGitService::runOnNetworkQueue(Job &&job)
{
    auto future = m_networkTail.then(networkPool(), std::forward<Job>(job));
    // Shares the command's state: a future takes one continuation, which
    // stays the caller's.
    m_networkTail = QFuture<void>(future);
    return future;
}

QString NBEGitService::storeHelper()
{
    static const QString helper = [] {
        const QString name = QStringLiteral("git-credential-libsecret");
        QStringList folders;
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral("/usr/bin/git"), {QStringLiteral("--exec-path")});
        if (process.waitForFinished(10000) && process.exitCode() == 0)
            folders << QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        const bool found = !QStandardPaths::findExecutable(name, folders).isEmpty() ||
                           !QStandardPaths::findExecutable(name).isEmpty();
        return found ? QStringLiteral("libsecret") : QStringLiteral("cache");
    }();
    return helper;
}

QString NBEGitService::browserAuthHelperPath()
{
    return QStringLiteral("/usr/bin/git-credential-oauth");
}

// --- Runners

std::optional<QByteArray> NBEGitService::runBytes(const QStringList &arguments, const QUrl &folder,
                                                  QList<int> accept,
                                                  const QHash<QString, QString> &environment) const
{
    auto output = read(arguments, folder, std::move(accept), environment);
    if (!output)
        return std::nullopt;
    return std::move(*output);
}

NBEResult<QByteArray> NBEGitService::read(const QStringList &arguments, const QUrl &folder,
                                          QList<int> accept,
                                          const QHash<QString, QString> &environment) const
{
    const QString program = localPath(m_gitURL);
    if (!isExecutableFile(program))
        return nbeFailure(QStringLiteral("git isn't installed."));
    if (m_stopping)
        return nbeFailure(QStringLiteral("The window closed before git ran."));
    QProcess process;
    prepare(process, program, arguments, folder, environment);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return nbeFailure(process.errorString());
    // QProcess drains both pipes while it waits, so a large output can't stall git.
    if (!finishUnlessStopped(process, m_stopping))
        return nbeFailure(QStringLiteral("git was stopped as the window closed."));
    QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || !accept.contains(process.exitCode()))
        return nbeFailure(failureLine(process.readAllStandardError(), arguments));
    return output;
}

QString NBEGitService::failureLine(const QByteArray &standardError, const QStringList &arguments)
{
    // An "error:" line before the "fatal:" one says only where git stumbled
    // ("bad signature 0x…"); the fatal one says what is wrong.
    const QStringList lines =
        QString::fromUtf8(standardError).trimmed().split(u'\n', Qt::SkipEmptyParts);
    const auto fatal = std::find_if(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.startsWith(QLatin1String("fatal: "));
    });
    if (fatal != lines.cend())
        return NBEGitOutput::headline(*fatal);
    if (!lines.isEmpty() && !lines.first().trimmed().isEmpty())
        return NBEGitOutput::headline(lines.first());
    // The command's name: the first argument that isn't an option or the
    // value of a "-c".
    QString command = QStringLiteral("command");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("-c")) {
            ++i;
            continue;
        }
        if (!arguments[i].startsWith(u'-')) {
            command = arguments[i];
            break;
        }
    }
    return QStringLiteral("git ") + command + QStringLiteral(" failed.");
}

std::optional<QString> NBEGitService::run(const QStringList &arguments, const QUrl &folder,
                                          bool trim, QList<int> accept,
                                          const QHash<QString, QString> &environment) const
{
    const auto bytes = runBytes(arguments, folder, std::move(accept), environment);
    if (!bytes)
        return std::nullopt;
    QString text = QString::fromUtf8(*bytes);
    return trim ? text.trimmed() : text;
}

NBEGitResult NBEGitService::runCapturingError(const QStringList &arguments, const QUrl &folder,
                                              QByteArray *standardOutput,
                                              const std::function<bool()> &cancelled) const
{
    const QString program = localPath(m_gitURL);
    if (!isExecutableFile(program))
        return NBEGitResult::failure(QStringLiteral("git isn't installed."));
    if (m_stopping)
        return NBEGitResult::failure(QStringLiteral("The window closed before git ran."));
    QProcess process;
    prepare(process, program, arguments, folder, {});
    if (!standardOutput)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return NBEGitResult::failure(process.errorString());
    if (!finishUnlessStopped(process, m_stopping, cancelled)) {
        if (m_stopping)
            return NBEGitResult::failure(QStringLiteral("git was stopped as the window closed."));
        NBEGitResult result = NBEGitResult::failure(QStringLiteral("git was stopped."));
        result.cancelled = true;
        return result;
    }
    if (standardOutput)
        *standardOutput = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return NBEGitResult::success();
    QString error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (error.isEmpty()) {
        const QString command = arguments.isEmpty() ? QStringLiteral("command") : arguments.first();
        error = QStringLiteral("git ") + command + QStringLiteral(" failed.");
    }
    return NBEGitResult::failure(error);
}

QStringList NBEGitService::credentialHelperValues(const QUrl &repository) const
{
    return nonEmptyLines(run({QStringLiteral("config"), QStringLiteral("--get-all"),
                              QStringLiteral("credential.helper")},
                             repository));
}

// --- Repository

QFuture<std::optional<QUrl>> NBEGitService::repositoryRoot(const QUrl &folder)
{
    return m_actor.run([this, folder] { return repositoryRootNow(folder); });
}

std::optional<QUrl> NBEGitService::repositoryRootNow(const QUrl &folder) const
{
    const auto output =
        run({QStringLiteral("rev-parse"), QStringLiteral("--show-toplevel")}, folder);
    if (!output || output->isEmpty())
        return std::nullopt;
    // git names the root with symbolic links resolved. Spelled as the folder
    // was opened, the changes' paths match the files the window lists.
    const QString opened = NBEFileService::keyPath(folder);
    const QString resolved = QFileInfo(opened).canonicalFilePath();
    if (resolved == *output || resolved.startsWith(*output + u'/')) {
        const QString below = resolved.mid(output->size());
        const QString spelled = opened.chopped(below.size());
        if (opened.endsWith(below) && !spelled.isEmpty() &&
            QFileInfo(spelled).canonicalFilePath() == *output)
            return QUrl::fromLocalFile(spelled);
    }
    return QUrl::fromLocalFile(*output);
}

QFuture<bool> NBEGitService::initRepository(const QUrl &folder)
{
    return m_actor.run(
        [this, folder] { return run({QStringLiteral("init")}, folder).has_value(); });
}

QFuture<std::optional<QString>> NBEGitService::currentBranch(const QUrl &repository)
{
    return m_actor.run([this, repository] { return currentBranchNow(repository); });
}

std::optional<QString> NBEGitService::currentBranchNow(const QUrl &repository) const
{
    auto name =
        run({QStringLiteral("rev-parse"), QStringLiteral("--abbrev-ref"), QStringLiteral("HEAD")},
            repository);
    if (!name || name->isEmpty() || *name == QStringLiteral("HEAD"))
        name = run({QStringLiteral("rev-parse"), QStringLiteral("--short"), QStringLiteral("HEAD")},
                   repository);
    if (!name || name->isEmpty())
        return std::nullopt;
    return name;
}

QFuture<std::optional<QString>> NBEGitService::headSHA(const QUrl &repository)
{
    return m_actor.run([this, repository] {
        return run({QStringLiteral("rev-parse"), QStringLiteral("HEAD")}, repository);
    });
}

// --- Status and staging

QFuture<QList<NBEGitFileChange>> NBEGitService::changes(const QUrl &repository)
{
    return m_actor.run([this, repository] {
        // Without optional locks git status doesn't rewrite the index, which
        // the folder watch would take for a change from outside.
        const auto output = run({QStringLiteral("status"), QStringLiteral("--porcelain"),
                                 QStringLiteral("-z"), QStringLiteral("--untracked-files=all")},
                                repository, false, {0},
                                {{QStringLiteral("GIT_OPTIONAL_LOCKS"), QStringLiteral("0")}});
        return output ? NBEGitOutput::parseStatus(*output, repository) : QList<NBEGitFileChange>();
    });
}

QFuture<std::optional<NBEGitWorkingState>> NBEGitService::workingState(const QUrl &repository)
{
    return m_actor.run([this, repository]() -> std::optional<NBEGitWorkingState> {
        const auto output = statusNow(repository);
        return output ? workingStateFrom(*output, repository, {}) : std::nullopt;
    });
}

NBEResult<QByteArray> NBEGitService::statusNow(const QUrl &folder) const
{
    return read({QStringLiteral("status"), QStringLiteral("--porcelain=v2"),
                 QStringLiteral("--branch"), QStringLiteral("-z"),
                 QStringLiteral("--untracked-files=all")},
                folder, {0}, {{QStringLiteral("GIT_OPTIONAL_LOCKS"), QStringLiteral("0")}});
}

std::optional<NBEGitWorkingState> NBEGitService::workingStateFrom(const QByteArray &porcelain,
                                                                  const QUrl &repository,
                                                                  NBEGitStatusRun earlier) const
{
    std::optional<NBEGitWorkingState> state =
        NBEGitOutput::parseWorkingState(porcelain, repository, std::move(earlier));
    if (state && state->branch == QStringLiteral("(detached)"))
        state->branch =
            run({QStringLiteral("rev-parse"), QStringLiteral("--short"), QStringLiteral("HEAD")},
                repository);
    return state;
}

QFuture<NBEGitOverview> NBEGitService::overview(const QUrl &folder, const NBEGitStatusRun &earlier)
{
    return m_actor.run([this, folder, earlier] {
        struct StatusRead
        {
            std::optional<NBEGitWorkingState> working;
            QByteArray porcelain;
            std::optional<QString> error;
        };
        // The status run of `root` (by far the longest query on a large
        // tree), read once `own` comes: the earlier lists, which reading the
        // output may change in place.
        auto readStatus = [this, &earlier](const QUrl &root, std::future<NBEGitStatusRun> ready) {
            StatusRead read;
            NBEResult<QByteArray> output = statusNow(root);
            NBEGitStatusRun own = ready.get();
            if (!output)
                read.error = output.error().description;
            if (output) {
                // An unchanged status keeps the lists the snapshot shares.
                const bool same = *output == earlier.porcelain;
                read.working = workingStateFrom(*output, root, same ? earlier : std::move(own));
                // Lists equal to the earlier ones are the caller's own, so
                // comparing them costs it nothing.
                if (read.working && !same && root == earlier.root &&
                    read.working->changes == earlier.changes) {
                    own.changes = std::exchange(read.working->changes, earlier.changes);
                    own.statusByPath =
                        std::exchange(read.working->statusByPath, earlier.statusByPath);
                }
                read.porcelain = std::move(*output);
            }
            // Thousands of unused changes are freed on another thread.
            if (own.changes.size() > 1000)
                NBEMemory::freeElsewhere(std::move(own));
            return read;
        };
        // Every query here only reads. The status of the earlier root goes
        // beside the root query; the first reading, or one that finds
        // another root, waits for the root.
        std::promise<NBEGitStatusRun> prepared;
        std::future<StatusRead> working;
        if (!earlier.porcelain.isEmpty())
            working =
                std::async(std::launch::async, readStatus, earlier.root, prepared.get_future());
        NBEGitOverview overview;
        overview.root = repositoryRootNow(folder);
        if (overview.root != earlier.root || earlier.porcelain.isEmpty()) {
            if (working.valid()) {
                prepared.set_value({});
                working.wait();
            }
            if (!overview.root)
                return overview;
            prepared = {};
            working =
                std::async(std::launch::async, readStatus, *overview.root, prepared.get_future());
        }
        const QUrl root = *overview.root;
        // The earlier lists are copied while git runs, so that reading its
        // output changes them in place.
        NBEGitStatusRun own;
        if (root == earlier.root) {
            own = earlier;
            own.changes.detach();
            own.statusByPath.detach();
        }
        prepared.set_value(std::move(own));
        overview.branches = branchesNow(root);
        overview.remotes = remotesNow(root);
        overview.unpushed = unpushedCountNow(root);
        overview.browserAuth = hasBrowserAuthHelperNow(root);
        overview.merge = mergeStateNow(root);
        StatusRead status = working.get();
        overview.working = std::move(status.working);
        overview.porcelain = std::move(status.porcelain);
        overview.statusError = std::move(status.error);
        // git can still name the branch and HEAD without the index (or the
        // HEAD commit) that the status couldn't read.
        if (overview.statusError)
            overview.working =
                NBEGitWorkingState{currentBranchNow(root),
                                   run({QStringLiteral("rev-parse"), QStringLiteral("HEAD")}, root),
                                   std::nullopt,
                                   {},
                                   {}};
        return overview;
    });
}

QFuture<NBEGitResult> NBEGitService::stage(const QUrl &file, const QUrl &repository)
{
    return m_actor.run([this, file, repository] {
        return runCapturingError({QStringLiteral("add"), QStringLiteral("--"), localPath(file)},
                                 repository);
    });
}

QFuture<NBEGitResult> NBEGitService::unstage(const QUrl &file, const QUrl &repository)
{
    return m_actor.run([this, file, repository] {
        // Before the first commit there is no HEAD to restore from; reset
        // takes the file out of the index then.
        if (!run({QStringLiteral("rev-parse"), QStringLiteral("--verify"), QStringLiteral("-q"),
                  QStringLiteral("HEAD")},
                 repository))
            return runCapturingError({QStringLiteral("reset"), QStringLiteral("-q"),
                                      QStringLiteral("--"), localPath(file)},
                                     repository);
        QStringList arguments{QStringLiteral("restore"), QStringLiteral("--staged"),
                              QStringLiteral("--"), localPath(file)};
        if (const auto source = renameSourceNow(file, repository))
            arguments << QDir(localPath(repository)).filePath(*source);
        return runCapturingError(arguments, repository);
    });
}

QFuture<NBEGitResult> NBEGitService::stageAll(const QUrl &repository)
{
    return m_actor.run([this, repository] {
        return runCapturingError({QStringLiteral("add"), QStringLiteral("-A")}, repository);
    });
}

QFuture<NBEGitResult> NBEGitService::unstageAll(const QUrl &repository)
{
    return m_actor.run([this, repository] {
        return runCapturingError({QStringLiteral("reset"), QStringLiteral("-q")}, repository);
    });
}

QFuture<NBEGitResult> NBEGitService::discardChanges(const QUrl &file, const QUrl &repository,
                                                    bool untracked)
{
    return m_actor.run([this, file, repository, untracked] {
        if (untracked)
            return QFile::moveToTrash(localPath(file)) ? NBEGitResult::success()
                                                       : NBEGitResult::failure(QStringLiteral(
                                                             "It couldn't be moved to the trash."));
        return runCapturingError({QStringLiteral("restore"), QStringLiteral("--source=HEAD"),
                                  QStringLiteral("--staged"), QStringLiteral("--worktree"),
                                  QStringLiteral("--"), localPath(file)},
                                 repository);
    });
}

QFuture<std::optional<QUrl>> NBEGitService::renameSource(const QUrl &file, const QUrl &repository)
{
    return m_actor.run([this, file, repository]() -> std::optional<QUrl> {
        const auto source = renameSourceNow(file, repository);
        if (!source)
            return std::nullopt;
        return QUrl::fromLocalFile(QDir(localPath(repository)).filePath(*source));
    });
}

std::optional<QString> NBEGitService::renameSourceNow(const QUrl &file,
                                                      const QUrl &repository) const
{
    const auto path = relativePath(file, repository);
    if (!path)
        return std::nullopt;
    // A pathspec would hide the source from rename detection.
    const QString nameStatus =
        run({QStringLiteral("diff"), QStringLiteral("--cached"), QStringLiteral("--no-color"),
             QStringLiteral("--name-status"), QStringLiteral("-z"), QStringLiteral("-M"),
             QStringLiteral("HEAD")},
            repository, false)
            .value_or(QString());
    return NBEGitOutput::renameSource(nameStatus, *path);
}

QFuture<NBEGitResult> NBEGitService::commit(const QString &message, bool amend,
                                            const QUrl &repository)
{
    const quint64 ticket = ++m_commitsAsked;
    return m_actor.run([this, message, amend, repository, ticket] {
        const auto cancelled = [this, ticket] { return m_commitsCancelled >= ticket; };
        if (cancelled()) {
            NBEGitResult result = NBEGitResult::failure(QStringLiteral("git was stopped."));
            result.cancelled = true;
            return result;
        }
        QStringList arguments{QStringLiteral("commit")};
        if (amend)
            arguments << QStringLiteral("--amend");
        arguments << QStringLiteral("-m") << message;
        return runCapturingError(arguments, repository, nullptr, cancelled);
    });
}

void NBEGitService::cancelCommits()
{
    m_commitsCancelled = m_commitsAsked.load();
}

bool NBEGitService::isLockedIndex(const NBEGitResult &result)
{
    return !result.ok && result.error && result.error->contains(QStringLiteral(".lock'"));
}

QFuture<std::optional<QString>> NBEGitService::lastCommitMessage(const QUrl &repository)
{
    return m_actor.run([this, repository]() -> std::optional<QString> {
        auto message = run({QStringLiteral("log"), QStringLiteral("--no-show-signature"),
                            QStringLiteral("-1"), QStringLiteral("--pretty=%B")},
                           repository);
        if (!message || message->isEmpty())
            return std::nullopt;
        return message;
    });
}

// --- History

QFuture<QList<NBEGitCommit>> NBEGitService::log(const QUrl &repository, int limit)
{
    return m_actor.run([this, repository, limit] {
        // With log.showSignature set, git would print each signature's check
        // on standard output, before the record it belongs to.
        const auto output =
            run({QStringLiteral("log"), QStringLiteral("--no-show-signature"), QStringLiteral("-n"),
                 QString::number(limit), NBEGitOutput::logFormat()},
                repository);
        return output ? NBEGitOutput::parseLog(*output) : QList<NBEGitCommit>();
    });
}

QFuture<QStringList> NBEGitService::changedFiles(const QString &sha, const QUrl &repository)
{
    return m_actor.run([this, sha, repository] {
        if (refusedName(sha, {}))
            return QStringList();
        // A merge lists what it brought into its first parent, like its diff.
        // Names end in NUL, unquoted: git would write "über.html" in octal
        // escapes, which no command takes back.
        const auto output = run({QStringLiteral("show"), QStringLiteral("--no-show-signature"),
                                 QStringLiteral("--name-only"), QStringLiteral("-z"),
                                 QStringLiteral("--diff-merges=first-parent"),
                                 QStringLiteral("--pretty=format:"), sha},
                                repository, false);
        return output ? output->split(QChar(0), Qt::SkipEmptyParts) : QStringList();
    });
}

QFuture<std::optional<QString>> NBEGitService::commitDiff(const QString &sha,
                                                          const QUrl &repository)
{
    return m_actor.run([this, sha, repository]() -> std::optional<QString> {
        if (refusedName(sha, {}))
            return std::nullopt;
        // A merge shows the change it brought into its first parent: a
        // combined diff has a column per parent that the rows can't draw.
        // Each file's header names it as the commit's file list does.
        return run({QStringLiteral("-c"), QStringLiteral("core.quotePath=false"),
                    QStringLiteral("show"), QStringLiteral("--no-show-signature"),
                    QStringLiteral("--format="), QStringLiteral("--diff-merges=first-parent"),
                    QStringLiteral("--no-color"), QStringLiteral("--no-ext-diff"), sha},
                   repository, false);
    });
}

QFuture<bool> NBEGitService::restoreFile(const QString &path, const QString &atCommit,
                                         const QUrl &repository)
{
    return m_actor.run([this, path, atCommit, repository] {
        if (refusedName(atCommit, {}))
            return false;
        return run({QStringLiteral("checkout"), atCommit, QStringLiteral("--"), path}, repository)
            .has_value();
    });
}

QFuture<NBEGitResult> NBEGitService::revertCommit(const QString &sha, const QUrl &repository)
{
    return m_actor.run([this, sha, repository] {
        if (const auto refused = refusedName(sha, QStringLiteral("A commit")))
            return NBEGitResult::failure(*refused);
        return runCapturingError({QStringLiteral("revert"), QStringLiteral("--no-edit"), sha},
                                 repository);
    });
}

QFuture<NBEGitResult> NBEGitService::createTag(const QString &name, const QString &atCommit,
                                               const QString &message, const QUrl &repository)
{
    return m_actor.run([this, name, atCommit, message, repository] {
        if (const auto refused = refusedName(name, QStringLiteral("A tag name")))
            return NBEGitResult::failure(*refused);
        if (const auto refused = refusedName(atCommit, QStringLiteral("A commit")))
            return NBEGitResult::failure(*refused);
        return runCapturingError({QStringLiteral("tag"), QStringLiteral("-a"), name, atCommit,
                                  QStringLiteral("-m"), message.isEmpty() ? name : message},
                                 repository);
    });
}

// --- Branches

QFuture<QStringList> NBEGitService::branches(const QUrl &repository)
{
    return m_actor.run([this, repository] { return branchesNow(repository); });
}

QStringList NBEGitService::branchesNow(const QUrl &repository) const
{
    // Local branches only, named in full: "git branch" adds a line such as
    // "(HEAD detached at 1a2b3c4)" that no command takes for a branch, and
    // shortens a branch that shares a tag's name to "heads/<name>".
    return nonEmptyLines(
        run({QStringLiteral("for-each-ref"), QStringLiteral("--format=%(refname:lstrip=2)"),
             QStringLiteral("refs/heads")},
            repository));
}

QFuture<NBEGitResult> NBEGitService::switchBranch(const QString &name, const QUrl &repository)
{
    return m_actor.run([this, name, repository] {
        if (const auto refused = refusedName(name, QStringLiteral("A branch name")))
            return NBEGitResult::failure(*refused);
        return runCapturingError({QStringLiteral("switch"), name}, repository);
    });
}

QFuture<int> NBEGitService::commitsOnNoBranch(const QUrl &repository)
{
    return m_actor.run([this, repository] {
        if (run({QStringLiteral("symbolic-ref"), QStringLiteral("-q"), QStringLiteral("HEAD")},
                repository))
            return 0;
        return run({QStringLiteral("rev-list"), QStringLiteral("--count"), QStringLiteral("HEAD"),
                    QStringLiteral("--not"), QStringLiteral("--branches"), QStringLiteral("--tags"),
                    QStringLiteral("--remotes")},
                   repository)
            .value_or(QString())
            .toInt();
    });
}

QFuture<NBEGitResult> NBEGitService::createBranch(const QString &name, const QUrl &repository)
{
    return m_actor.run([this, name, repository] {
        if (const auto refused = refusedName(name, QStringLiteral("A branch name")))
            return NBEGitResult::failure(*refused);
        return runCapturingError({QStringLiteral("switch"), QStringLiteral("-c"), name},
                                 repository);
    });
}

QFuture<NBEGitResult> NBEGitService::deleteBranch(const QString &name, bool force,
                                                  const QUrl &repository)
{
    return m_actor.run([this, name, force, repository] {
        if (const auto refused = refusedName(name, QStringLiteral("A branch name")))
            return NBEGitResult::failure(*refused);
        return runCapturingError(
            {QStringLiteral("branch"), force ? QStringLiteral("-D") : QStringLiteral("-d"), name},
            repository);
    });
}

QFuture<NBEGitMergeResult> NBEGitService::merge(const QString &name, const QUrl &repository)
{
    return m_actor.run([this, name, repository] {
        if (const auto refused = refusedName(name, QStringLiteral("A branch name")))
            return NBEGitMergeResult{false, refused, false};
        // A tag of the same name would be merged in the branch's place (git
        // only warns that the name is ambiguous): the branch is named in full
        // then, and only then, since the full name goes into git's message.
        const bool tagged = run({QStringLiteral("show-ref"), QStringLiteral("--verify"),
                                 QStringLiteral("--quiet"), QStringLiteral("refs/tags/") + name},
                                repository)
                                .has_value();
        // git reports conflicts on standard output, so both streams are searched.
        QByteArray output;
        const NBEGitResult result =
            runCapturingError({QStringLiteral("merge"), QStringLiteral("--no-edit"),
                               tagged ? QStringLiteral("refs/heads/") + name : name},
                              repository, &output);
        if (result.ok)
            return NBEGitMergeResult{true, std::nullopt, false};
        const QString text = result.error.value_or(QString()) + u'\n' + QString::fromUtf8(output);
        const bool conflicts =
            text.contains(QStringLiteral("conflict"), Qt::CaseInsensitive) ||
            text.contains(QStringLiteral("automatic merge failed"), Qt::CaseInsensitive);
        return NBEGitMergeResult{false, result.error, conflicts};
    });
}

QFuture<std::optional<NBEGitMergeState>> NBEGitService::mergeState(const QUrl &repository)
{
    return m_actor.run([this, repository] { return mergeStateNow(repository); });
}

std::optional<NBEGitMergeState> NBEGitService::mergeStateNow(const QUrl &repository) const
{
    {
        const auto head = run({QStringLiteral("rev-parse"), QStringLiteral("-q"),
                               QStringLiteral("--verify"), QStringLiteral("MERGE_HEAD")},
                              repository);
        if (!head || head->isEmpty())
            return std::nullopt;
        NBEGitMergeState state;
        state.head = *head;
        const QStringList names = nonEmptyLines(
            run({QStringLiteral("for-each-ref"), QStringLiteral("--points-at=MERGE_HEAD"),
                 QStringLiteral("--format=%(refname:short)"), QStringLiteral("refs/heads"),
                 QStringLiteral("refs/remotes")},
                repository));
        state.name = names.isEmpty() ? head->left(7) : names.first();
        // git keeps the prepared message in a file of its own; no command prints it.
        if (const auto path = run({QStringLiteral("rev-parse"), QStringLiteral("--git-path"),
                                   QStringLiteral("MERGE_MSG")},
                                  repository)) {
            QFile file(QDir(localPath(repository)).absoluteFilePath(*path));
            if (file.open(QIODevice::ReadOnly))
                state.message = NBEGitOutput::preparedMessage(QString::fromUtf8(file.readAll()));
        }
        return state;
    }
}

// --- Remotes and sync

QFuture<QStringList> NBEGitService::remotes(const QUrl &repository)
{
    return m_actor.run([this, repository] { return remotesNow(repository); });
}

QStringList NBEGitService::remotesNow(const QUrl &repository) const
{
    return nonEmptyLines(run({QStringLiteral("remote")}, repository));
}

QFuture<std::optional<QString>> NBEGitService::originURL(const QUrl &repository)
{
    return m_actor.run([this, repository] {
        return run({QStringLiteral("remote"), QStringLiteral("get-url"), QStringLiteral("origin")},
                   repository);
    });
}

QFuture<NBEGitResult> NBEGitService::setOriginURL(const QString &url, bool exists,
                                                  const QUrl &repository)
{
    return m_actor.run([this, url, exists, repository] {
        if (const auto refused = refusedName(url, QStringLiteral("A remote URL")))
            return NBEGitResult::failure(*refused);
        return runCapturingError({QStringLiteral("remote"),
                                  exists ? QStringLiteral("set-url") : QStringLiteral("add"),
                                  QStringLiteral("origin"), url},
                                 repository);
    });
}

QFuture<bool> NBEGitService::hasBrowserAuthHelper(const QUrl &repository)
{
    return m_actor.run([this, repository] { return hasBrowserAuthHelperNow(repository); });
}

bool NBEGitService::hasBrowserAuthHelperNow(const QUrl &repository) const
{
    const QStringList values = credentialHelperValues(repository);
    return std::any_of(values.begin(), values.end(), [](const QString &value) {
        const QString lower = value.toLower();
        return lower.contains(QStringLiteral("oauth")) ||
               lower.contains(QStringLiteral("manager")) || lower == QStringLiteral("gh") ||
               lower.startsWith(QStringLiteral("gh "));
    });
}

QFuture<NBEGitResult> NBEGitService::configureBrowserAuth(const QString &helperPath, bool global,
                                                          const QUrl &repository)
{
    return m_actor.run([this, helperPath, global, repository] {
        QStringList config{QStringLiteral("config")};
        if (global)
            config << QStringLiteral("--global");
        config << QStringLiteral("--add") << QStringLiteral("credential.helper");

        const QStringList values = credentialHelperValues(repository);
        const QString store = storeHelper();
        const bool hasStore = std::any_of(values.begin(), values.end(), [&](const QString &v) {
            return v.toLower().contains(store);
        });
        if (!hasStore)
            run(config + QStringList{store}, repository);
        const bool hasHelper = std::any_of(
            values.begin(), values.end(), [&](const QString &v) { return v.contains(helperPath); });
        if (hasHelper)
            return NBEGitResult::success();
        return runCapturingError(config + QStringList{QStringLiteral("!\"") + helperPath + u'"'},
                                 repository);
    });
}

QFuture<NBEGitResult> NBEGitService::configureOAuthApp(const QString &host, const QString &clientID,
                                                       const QString &clientSecret, bool global,
                                                       const QUrl &repository)
{
    return m_actor.run([this, host, clientID, clientSecret, global, repository] {
        QStringList config{QStringLiteral("config")};
        if (global)
            config << QStringLiteral("--global");
        const QString prefix = QStringLiteral("credential.https://") + host;
        run(config + QStringList{prefix + QStringLiteral(".oauthClientId"), clientID}, repository);
        return runCapturingError(
            config + QStringList{prefix + QStringLiteral(".oauthClientSecret"), clientSecret},
            repository);
    });
}

QFuture<std::optional<NBEGitAheadBehind>> NBEGitService::aheadBehind(const QUrl &repository)
{
    return m_actor.run([this, repository]() -> std::optional<NBEGitAheadBehind> {
        const auto output = run({QStringLiteral("rev-list"), QStringLiteral("--left-right"),
                                 QStringLiteral("--count"), QStringLiteral("@{upstream}...HEAD")},
                                repository);
        return output ? NBEGitOutput::parseAheadBehind(*output) : std::nullopt;
    });
}

QFuture<int> NBEGitService::unpushedCount(const QUrl &repository)
{
    return m_actor.run([this, repository] { return unpushedCountNow(repository); });
}

int NBEGitService::unpushedCountNow(const QUrl &repository) const
{
    const auto output =
        run({QStringLiteral("rev-list"), QStringLiteral("--count"), QStringLiteral("HEAD"),
             QStringLiteral("--not"), QStringLiteral("--remotes")},
            repository);
    bool ok = false;
    const int count = output ? output->toInt(&ok) : 0;
    return ok ? count : 0;
}

QFuture<NBEGitResult> NBEGitService::push(const QUrl &repository)
{
    return runOnNetworkQueue([git = m_gitURL, limit = m_networkTimeLimit, repository] {
        return runNetworkCommand(git, QStringLiteral("push"), {QStringLiteral("push")}, repository,
                                 {}, limit);
    });
}

QFuture<NBEGitResult> NBEGitService::pushSettingUpstream(const QString &remote,
                                                         const QString &branch,
                                                         const QUrl &repository)
{
    return runOnNetworkQueue(
        [git = m_gitURL, limit = m_networkTimeLimit, remote, branch, repository] {
            if (const auto refused = refusedName(remote, QStringLiteral("A remote name")))
                return NBEGitResult::failure(*refused);
            if (const auto refused = refusedName(branch, QStringLiteral("A branch name")))
                return NBEGitResult::failure(*refused);
            // A detached HEAD's abbreviated hash names no branch to publish;
            // git would only say it "cannot be resolved to branch".
            if (!runNetworkCommand(
                     git, QStringLiteral("symbolic-ref"),
                     {QStringLiteral("symbolic-ref"), QStringLiteral("-q"), QStringLiteral("HEAD")},
                     repository, {}, limit)
                     .ok)
                return NBEGitResult::failure(
                    QStringLiteral("HEAD isn't on a branch: create one with New Branch\u2026 in "
                                   "the branch menu, then publish it."));
            // In full: beside a tag of the same name, the short name
            // "matches more than one" ref and git pushes nothing.
            const QString ref = branch == u"HEAD" ? branch : QStringLiteral("refs/heads/") + branch;
            return runNetworkCommand(git, QStringLiteral("push"),
                                     {QStringLiteral("push"), QStringLiteral("-u"), remote, ref},
                                     repository, {}, limit);
        });
}

QFuture<NBEGitPullResult> NBEGitService::pull(const QUrl &repository)
{
    // A pull writes HEAD, the index and the files: it takes its turn with
    // the local commands, after the fetches asked for before it.
    return m_actor.run([this, repository, fetches = m_networkTail] {
        while (!fetches.isFinished() && !m_stopping)
            QThread::msleep(20);
        const auto head = [&] {
            return run({QStringLiteral("rev-parse"), QStringLiteral("--verify"),
                        QStringLiteral("--quiet"), QStringLiteral("HEAD")},
                       repository);
        };
        const auto before = head();
        // Quiet: git's report of what it fetched would stand before the
        // reason in the failure text.
        const NBEGitResult pulled = runNetworkCommand(
            m_gitURL, QStringLiteral("pull"),
            {QStringLiteral("pull"), QStringLiteral("--ff-only"), QStringLiteral("--quiet")},
            repository, {}, m_networkTimeLimit, &m_stopping);
        if (!pulled.ok)
            return NBEGitPullResult{false, pulled.error, 0};
        // What the pull brought, not what the last fetch counted.
        const auto after = head();
        int commits = 0;
        if (after && after != before) {
            const QString range = before ? *before + QStringLiteral("..") + *after : *after;
            commits =
                run({QStringLiteral("rev-list"), QStringLiteral("--count"), range}, repository)
                    .value_or(QString())
                    .toInt();
        }
        return NBEGitPullResult{true, std::nullopt, commits};
    });
}

QFuture<bool> NBEGitService::fetch(const QUrl &repository)
{
    return runOnNetworkQueue([git = m_gitURL, limit = m_networkTimeLimit, repository] {
               const QHash<QString, QString> environment{
                   {QStringLiteral("GIT_TERMINAL_PROMPT"), QStringLiteral("0")},
                   // An empty askpass turns git's graphical password prompt off too.
                   {QStringLiteral("GIT_ASKPASS"), QString()},
                   {QStringLiteral("GIT_SSH_COMMAND"), batchSSHCommand(git, repository)}};
               return runNetworkCommand(git, QStringLiteral("fetch"),
                                        {QStringLiteral("-c"), QStringLiteral("credential.helper="),
                                         QStringLiteral("-c"),
                                         QStringLiteral("credential.helper=") + storeHelper(),
                                         QStringLiteral("fetch"), QStringLiteral("--quiet"),
                                         QStringLiteral("--no-tags")},
                                        repository, environment, limit);
           })
        .then([](const NBEGitResult &result) { return result.ok; });
}

// --- Diffs

std::optional<QString> NBEGitService::relativePath(const QUrl &file, const QUrl &root)
{
    const auto below = [](const QString &filePath, QString rootPath) -> std::optional<QString> {
        if (!rootPath.endsWith(u'/'))
            rootPath += u'/';
        if (filePath.startsWith(rootPath) && filePath.size() > rootPath.size())
            return filePath.mid(rootPath.size());
        return std::nullopt;
    };
    const QString filePath = QDir::cleanPath(localPath(file));
    const QString rootPath = QDir::cleanPath(localPath(root));
    if (filePath.isEmpty() || rootPath.isEmpty())
        return std::nullopt;
    if (const auto path = below(filePath, rootPath))
        return path;
    // git prints the root with symbolic links resolved; the editor may have
    // opened the folder through one.
    const QString canonicalRoot = QFileInfo(rootPath).canonicalFilePath();
    const QString canonicalFile = QFileInfo(filePath).canonicalFilePath();
    if (canonicalRoot.isEmpty() || canonicalFile.isEmpty())
        return std::nullopt;
    return below(canonicalFile, canonicalRoot);
}

QFuture<std::optional<QString>> NBEGitService::fileAtHEAD(const QUrl &file, const QUrl &repository)
{
    return m_actor.run([this, file, repository]() -> std::optional<QString> {
        const auto path = relativePath(file, repository);
        if (!path)
            return std::nullopt;
        const auto text =
            run({QStringLiteral("show"), QStringLiteral("HEAD:") + *path}, repository, false);
        if (!text)
            return std::nullopt;
        // The editor holds a byte-order mark beside its text, not in it: the
        // gutter compares like with like.
        return NBELineEndings::normalized(text->startsWith(QChar(0xFEFF)) ? text->mid(1) : *text);
    });
}

QFuture<NBEResult<QString>> NBEGitService::diff(const QUrl &file, const QUrl &repository,
                                                bool untracked)
{
    return m_actor.run([this, file, repository, untracked]() -> NBEResult<QString> {
        // The header names the file as the changes list does. A diff program
        // of the user's (diff.external) would print its own format, which no
        // view reads: every diff here is git's own.
        const QStringList arguments =
            QStringList{QStringLiteral("-c"), QStringLiteral("core.quotePath=false")} +
            (untracked
                 ? QStringList{QStringLiteral("diff"), QStringLiteral("--no-ext-diff"),
                               QStringLiteral("--no-index"), QStringLiteral("--"),
                               // From the repository, which git runs in: an
                               // absolute path would head the diff.
                               QStringLiteral("/dev/null"),
                               QDir(localPath(repository)).relativeFilePath(localPath(file))}
                 : QStringList{QStringLiteral("diff"), QStringLiteral("--no-ext-diff"),
                               QStringLiteral("HEAD"), QStringLiteral("--"), localPath(file)});
        const auto output = read(arguments, repository, {0, 1});
        if (!output)
            return std::unexpected(output.error());
        return QString::fromUtf8(*output);
    });
}

std::optional<QString> NBEGitService::fileDiff(const QUrl &file, const QUrl &repository,
                                               bool staged) const
{
    QStringList arguments{QStringLiteral("diff"), QStringLiteral("--no-ext-diff")};
    if (staged)
        arguments << QStringLiteral("--cached");
    arguments << QStringLiteral("--no-color") << QStringLiteral("--") << localPath(file);
    return run(arguments, repository, false, {0, 1});
}

QFuture<std::optional<QString>> NBEGitService::unstagedDiff(const QUrl &file,
                                                            const QUrl &repository)
{
    return m_actor.run([this, file, repository] { return fileDiff(file, repository, false); });
}

QFuture<std::optional<QString>> NBEGitService::stagedDiff(const QUrl &file, const QUrl &repository)
{
    return m_actor.run([this, file, repository] { return fileDiff(file, repository, true); });
}

QFuture<std::optional<QString>> NBEGitService::stagedDiff(const QUrl &repository)
{
    return m_actor.run([this, repository] {
        return run({QStringLiteral("diff"), QStringLiteral("--cached"),
                    QStringLiteral("--no-color"), QStringLiteral("--no-ext-diff")},
                   repository, false, {0, 1});
    });
}

QFuture<std::optional<QString>> NBEGitService::workingDiff(const QUrl &repository)
{
    return m_actor.run([this, repository] {
        return run({QStringLiteral("diff"), QStringLiteral("HEAD"), QStringLiteral("--no-color"),
                    QStringLiteral("--no-ext-diff")},
                   repository, false, {0, 1});
    });
}

NBEGitResult NBEGitService::applyCachedNow(const QString &patch, bool reverse,
                                           const QUrl &repository) const
{
    const QString path = QDir::tempPath() + QStringLiteral("/nbe-hunk-") +
                         QUuid::createUuid().toString(QUuid::WithoutBraces) +
                         QStringLiteral(".patch");
    if (auto written = nbeReplaceFile(path, patch.toUtf8()); !written)
        return NBEGitResult::failure(
            QStringLiteral("Couldn't write the patch: %1.").arg(written.error().description));
    QStringList arguments{QStringLiteral("apply"), QStringLiteral("--cached"),
                          QStringLiteral("--recount")};
    if (reverse)
        arguments << QStringLiteral("--reverse");
    arguments << path;
    const NBEGitResult result = runCapturingError(arguments, repository);
    QFile::remove(path);
    return result;
}

QFuture<NBEGitResult> NBEGitService::applyCached(const QString &patch, bool reverse,
                                                 const QUrl &repository)
{
    return m_actor.run(
        [this, patch, reverse, repository] { return applyCachedNow(patch, reverse, repository); });
}

namespace {

// Text that is valid UTF-8; the editor never holds anything else.
const QByteArray byteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

// Decodes without a leading byte-order mark, as the editor holds text.
std::optional<QString> strictText(const std::optional<QByteArray> &bytes)
{
    if (!bytes)
        return std::nullopt;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

std::optional<NBEGitService::HunkTexts> NBEGitService::hunkTexts(const QUrl &file,
                                                                 const QUrl &repository) const
{
    const auto path = relativePath(file, repository);
    if (!path)
        return std::nullopt;
    // "<mode> <object> <stage>\t<path>"; a file in conflict has stages above 0.
    const QStringList entry = NBEGitOutput::entryFields(
        run({QStringLiteral("ls-files"), QStringLiteral("-s"), QStringLiteral("--"), *path},
            repository)
            .value_or(QString()));
    // "<mode> blob <object>\t<path>"; nothing in a repository without commits.
    const QStringList inHead = NBEGitOutput::entryFields(
        run({QStringLiteral("ls-tree"), QStringLiteral("HEAD"), QStringLiteral("--"), *path},
            repository)
            .value_or(QString()));
    if ((!entry.isEmpty() && (entry.size() != 3 || entry[2] != u"0")) ||
        (entry.isEmpty() && inHead.isEmpty()))
        return std::nullopt;
    // A file only on one side is the empty text on the other.
    HunkTexts texts{*path, entry.isEmpty() ? inHead.value(0) : entry[0], {}, {}, !inHead.isEmpty()};
    bool headMark = false;
    bool indexMark = false;
    const auto read = [&](const QString &object, QString &into, bool &mark) {
        const auto bytes = runBytes({QStringLiteral("show"), object}, repository);
        mark = bytes && bytes->startsWith(byteOrderMark);
        const auto text = strictText(bytes);
        into = text.value_or(QString());
        return text.has_value();
    };
    if ((texts.inHead && !read(QStringLiteral("HEAD:") + *path, texts.head, headMark)) ||
        (!entry.isEmpty() && !read(u':' + *path, texts.index, indexMark)))
        return std::nullopt;
    texts.byteOrderMark = entry.isEmpty() ? headMark : indexMark;
    return texts;
}

std::optional<QString> NBEGitService::savedText(const QUrl &file)
{
    // A file gone from disk is the empty text, as the gutter shows it.
    QFile saved(localPath(file));
    if (!saved.exists())
        return QString();
    return saved.open(QIODevice::ReadOnly) ? strictText(saved.readAll()) : std::nullopt;
}

NBEGitResult NBEGitService::applyHunk(const NBEDiffHunk &hunk, const QUrl &file,
                                      const QUrl &repository, bool unstaging) const
{
    const NBEGitResult nothing =
        NBEGitResult::failure(unstaging ? QStringLiteral("Failed to unstage this hunk.")
                                        : QStringLiteral("Failed to stage this hunk."));
    const auto texts = hunkTexts(file, repository);
    if (!texts)
        return nothing;
    const bool onDisk = QFile::exists(localPath(file));
    const auto working = savedText(file);
    if (!working)
        return nothing;
    // The new index text goes in whole: git's own diff may align lines
    // differently from the gutter, and a patch cut from it could carry
    // changes the user never saw.
    const auto text =
        NBEDiffPatch::indexAfterHunk(texts->head, texts->index, *working, hunk, unstaging);
    if (!text)
        return nothing;
    // Emptied on the side the index follows, and gone from it: the entry goes.
    if (text->isEmpty() && (unstaging ? !texts->inHead : !onDisk))
        return runCapturingError({QStringLiteral("update-index"), QStringLiteral("--force-remove"),
                                  QStringLiteral("--"), texts->path},
                                 repository);
    QTemporaryFile blob(QDir::tempPath() + QStringLiteral("/nbe-hunk-XXXXXX.blob"));
    if (!blob.open())
        return NBEGitResult::failure(blob.errorString());
    const QByteArray bytes = (texts->byteOrderMark ? byteOrderMark : QByteArray()) + text->toUtf8();
    if (blob.write(bytes) < 0 || !blob.flush())
        return NBEGitResult::failure(blob.errorString());
    // The staged lines come from the file as it is on disk: they go in as
    // `git add` would put them, through the path's filters, so a file checked
    // out with CRLF by its attributes keeps LF in the index. An index text
    // that already holds CR is one git's automatic conversion leaves alone;
    // hash-object can't tell, so that text goes in as it is.
    const QString filters = texts->index.contains(u'\r') ? QStringLiteral("--no-filters")
                                                         : QStringLiteral("--path=") + texts->path;
    QByteArray object;
    const NBEGitResult hashed =
        runCapturingError({QStringLiteral("hash-object"), QStringLiteral("-w"), filters,
                           QStringLiteral("--"), blob.fileName()},
                          repository, &object);
    if (!hashed.ok)
        return hashed;
    return runCapturingError({QStringLiteral("update-index"), QStringLiteral("--add"),
                              QStringLiteral("--cacheinfo"), texts->mode,
                              QString::fromLatin1(object.trimmed()), texts->path},
                             repository);
}

QFuture<NBEGitResult> NBEGitService::stageHunk(const NBEDiffHunk &hunk, const QUrl &file,
                                               const QUrl &repository)
{
    return m_actor.run(
        [this, hunk, file, repository] { return applyHunk(hunk, file, repository, false); });
}

QFuture<NBEGitResult> NBEGitService::unstageHunk(const NBEDiffHunk &hunk, const QUrl &file,
                                                 const QUrl &repository)
{
    return m_actor.run(
        [this, hunk, file, repository] { return applyHunk(hunk, file, repository, true); });
}

QFuture<bool> NBEGitService::hunkIsStaged(const NBEDiffHunk &hunk, const QUrl &file,
                                          const QUrl &repository)
{
    return m_actor.run([this, hunk, file, repository] {
        // A hunk only in the editor's unsaved text isn't in the index: there
        // is something to stage once the buffer is written, nothing to unstage.
        const auto texts = hunkTexts(file, repository);
        const auto working = savedText(file);
        return texts && working &&
               NBEDiffPatch::indexHoldsHunk(texts->head, texts->index, *working, hunk);
    });
}
