#pragma once

#include "NBEActor.h"
#include "NBEError.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

// What a caller may act on in a failure, whatever language its text is in.
enum class NBEGitFailure {
    // git's own words, or a sentence of the editor's.
    other,
    // git failed without a word: the text is the sentence naming the command.
    silent,
    // No line of the hunk was left to stage or unstage.
    nothingToMove,
};

// What a name the user typed stands for, in the sentence that refuses it.
enum class NBEGitTypedName { commit, tagName, branchName, remoteName, remoteURL };

// Success, or failure with the text to show: git's own error output, or a
// sentence naming the command when git printed nothing.
struct NBEGitResult
{
    bool ok = false;
    std::optional<QString> error;
    // Stopped on request (its process group ended) before git finished.
    bool cancelled = false;
    NBEGitFailure kind = NBEGitFailure::other;

    static NBEGitResult success() { return {true, std::nullopt}; }
    static NBEGitResult failure(const QString &error, NBEGitFailure kind = NBEGitFailure::other)
    {
        return {false, error, false, kind};
    }
    explicit operator bool() const { return ok; }
    bool operator==(const NBEGitResult &) const = default;
};

// Runs the git program for one project window: the queue its local commands
// take turns in (one at a time, in call order, off the main thread), the
// queue of its network commands, and the environment every git gets (English
// messages, no terminal prompt, literal paths). Stopping it ends a running
// git (with what its hooks started) and lets queued ones fail at once.
class NBEGitRunner
{
    Q_DECLARE_TR_FUNCTIONS(NBEGitRunner)

public:
    NBEGitRunner(const QUrl &gitURL, std::chrono::milliseconds networkTimeLimit);
    // Never waits for a running git: it is stopped.
    ~NBEGitRunner();
    NBEGitRunner(const NBEGitRunner &) = delete;
    NBEGitRunner &operator=(const NBEGitRunner &) = delete;

    QUrl gitURL() const { return m_gitURL; }
    std::chrono::milliseconds networkTimeLimit() const { return m_networkTimeLimit; }
    // The local commands' queue.
    NBEActor &actor() { return m_actor; }
    // Set once the window goes: what runs is stopped, what is queued fails.
    const std::atomic_bool &stopping() const { return m_stopping; }
    // Stops what runs and waits for the local queue to empty.
    void stop();

    // Queues `job` behind the earlier network commands, on threads nobody
    // waits for.
    template <typename Job> auto runOnNetworkQueue(Job &&job)
    {
        auto future = m_networkTail.then(networkPool(), std::forward<Job>(job));
        // Shares the command's state: a future takes one continuation, which
        // stays the caller's.
        m_networkTail = QFuture<void>(future);
        return future;
    }
    // Done once the network commands asked for so far are.
    QFuture<void> networkTail() const { return m_networkTail; }
    // One network command, stopped when it runs past `limit` (or when
    // `stopping` is set); git's error output or a sentence naming the command
    // on failure.
    static NBEGitResult runNetworkCommand(const QUrl &gitURL, const QString &name,
                                          const QStringList &arguments, const QUrl &folder,
                                          const QHash<QString, QString> &environment,
                                          std::chrono::milliseconds limit,
                                          const std::atomic_bool *stopping = nullptr);
    // The SSH command the user set up, made to fail rather than ask.
    static QString batchSSHCommand(const QUrl &gitURL, const QUrl &folder);
    // Why a name the user typed can't go to git: it would read as an option.
    static std::optional<QString> refusedName(const QString &name, NBEGitTypedName what);

    // Standard output, or git's reason for failing (NBEGitOutput::failureLine).
    NBEResult<QByteArray> read(const QStringList &arguments, const QUrl &folder,
                               QList<int> accept = {0},
                               const QHash<QString, QString> &environment = {}) const;
    std::optional<QByteArray> runBytes(const QStringList &arguments, const QUrl &folder,
                                       QList<int> accept = {0},
                                       const QHash<QString, QString> &environment = {}) const;
    std::optional<QString> run(const QStringList &arguments, const QUrl &folder, bool trim = true,
                               QList<int> accept = {0},
                               const QHash<QString, QString> &environment = {}) const;
    // `cancelled`, asked while git runs, stops it when true.
    NBEGitResult runCapturingError(const QStringList &arguments, const QUrl &folder,
                                   QByteArray *standardOutput = nullptr,
                                   const std::function<bool()> &cancelled = {}) const;

private:
    // The threads of every window's network commands.
    static QThreadPool *networkPool();

    QUrl m_gitURL;
    std::chrono::milliseconds m_networkTimeLimit;
    QFuture<void> m_networkTail;
    std::atomic_bool m_stopping = false;
    NBEActor m_actor;
};
