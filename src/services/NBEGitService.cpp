#include "NBEGitService.h"

#include "NBEFileService.h"
#include "NBEMemory.h"

#include <QFileInfo>

#include <future>

NBEGitService::NBEGitService(const QUrl &gitURL, std::chrono::milliseconds networkTimeLimit)
    : m_runner(gitURL, networkTimeLimit)
    , m_index(m_runner)
    , m_remote(m_runner)
    , m_history(m_runner)
{}

NBEGitService::~NBEGitService()
{
    // The parts' queued work ends before the parts do.
    m_runner.stop();
}

QFuture<std::optional<QUrl>> NBEGitService::repositoryRoot(const QUrl &folder)
{
    return m_runner.actor().run([this, folder] { return repositoryRootNow(folder); });
}

std::optional<QUrl> NBEGitService::repositoryRootNow(const QUrl &folder) const
{
    const auto output =
        m_runner.run({QStringLiteral("rev-parse"), QStringLiteral("--show-toplevel")}, folder);
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
    return m_runner.actor().run(
        [this, folder] { return m_runner.run({QStringLiteral("init")}, folder).has_value(); });
}

QFuture<std::optional<QString>> NBEGitService::currentBranch(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] { return currentBranchNow(repository); });
}

std::optional<QString> NBEGitService::currentBranchNow(const QUrl &repository) const
{
    auto name = m_runner.run(
        {QStringLiteral("rev-parse"), QStringLiteral("--abbrev-ref"), QStringLiteral("HEAD")},
        repository);
    if (!name || name->isEmpty() || *name == QStringLiteral("HEAD"))
        name = m_runner.run(
            {QStringLiteral("rev-parse"), QStringLiteral("--short"), QStringLiteral("HEAD")},
            repository);
    if (!name || name->isEmpty())
        return std::nullopt;
    return name;
}

QFuture<std::optional<QString>> NBEGitService::headSHA(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] {
        return m_runner.run({QStringLiteral("rev-parse"), QStringLiteral("HEAD")}, repository);
    });
}

QFuture<NBEGitOverview> NBEGitService::overview(const QUrl &folder, const NBEGitStatusRun &earlier)
{
    return m_runner.actor().run([this, folder, earlier] {
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
            NBEResult<QByteArray> output = m_index.statusNow(root);
            NBEGitStatusRun own = ready.get();
            if (!output)
                read.error = output.error().description;
            if (output) {
                // An unchanged status keeps the lists the snapshot shares.
                const bool same = *output == earlier.porcelain;
                read.working =
                    m_index.workingStateFrom(*output, root, same ? earlier : std::move(own));
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
        overview.branches = m_history.branchesNow(root);
        overview.remotes = m_remote.remotesNow(root);
        overview.unpushed = m_remote.unpushedCountNow(root);
        overview.browserAuth = m_remote.hasBrowserAuthHelperNow(root);
        overview.merge = m_history.mergeStateNow(root);
        StatusRead status = working.get();
        overview.working = std::move(status.working);
        overview.porcelain = std::move(status.porcelain);
        overview.statusError = std::move(status.error);
        // git can still name the branch and HEAD without the index (or the
        // HEAD commit) that the status couldn't read.
        if (overview.statusError)
            overview.working = NBEGitWorkingState{
                currentBranchNow(root),
                m_runner.run({QStringLiteral("rev-parse"), QStringLiteral("HEAD")}, root),
                std::nullopt,
                {},
                {}};
        return overview;
    });
}
