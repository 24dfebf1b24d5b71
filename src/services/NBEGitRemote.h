#pragma once

#include "NBEGitOutput.h"
#include "NBEGitRunner.h"

#include <QCoreApplication>
#include <QFuture>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// A pull's outcome and the commits it brought into the branch.
struct NBEGitPullResult
{
    bool ok = false;
    std::optional<QString> error;
    int commits = 0;
    bool operator==(const NBEGitPullResult &) const = default;
};

// A repository's remotes and the credentials to reach them: the remotes,
// the upstream counts, fetch, pull, push and publish, and the credential
// helpers for browser sign-in. Network commands (fetch, push) queue apart,
// one at a time, and are stopped after the network time limit; pull takes
// its turn in the local queue after the fetches asked for before it.
class NBEGitRemote
{
    Q_DECLARE_TR_FUNCTIONS(NBEGitRemote)

public:
    explicit NBEGitRemote(NBEGitRunner &runner);

    // The credential helper that keeps passwords for background fetch:
    // "libsecret" when git's libsecret helper is installed, else "cache".
    static QString storeHelper();
    // The browser sign-in helper Debian installs.
    static QString browserAuthHelperPath();

    QFuture<QStringList> remotes(const QUrl &repository);
    QFuture<std::optional<QString>> originURL(const QUrl &repository);
    QFuture<NBEGitResult> setOriginURL(const QString &url, bool exists, const QUrl &repository);
    QFuture<bool> hasBrowserAuthHelper(const QUrl &repository);
    QFuture<NBEGitResult> configureBrowserAuth(const QString &helperPath, bool global,
                                               const QUrl &repository);
    QFuture<NBEGitResult> configureOAuthApp(const QString &host, const QString &clientID,
                                            const QString &clientSecret, bool global,
                                            const QUrl &repository);
    // Nothing when the branch has no upstream.
    QFuture<std::optional<NBEGitAheadBehind>> aheadBehind(const QUrl &repository);
    // Commits on HEAD that no remote branch has.
    QFuture<int> unpushedCount(const QUrl &repository);
    QFuture<NBEGitResult> push(const QUrl &repository);
    QFuture<NBEGitResult> pushSettingUpstream(const QString &remote, const QString &branch,
                                              const QUrl &repository);
    QFuture<NBEGitPullResult> pull(const QUrl &repository);
    // Background fetch: never prompts (terminal, askpass and ssh prompts are
    // off, and only the stored-password helper is asked).
    QFuture<bool> fetch(const QUrl &repository);

    // Queries of a whole reading, run on the calling thread (a turn of the
    // queue already).
    QStringList remotesNow(const QUrl &repository) const;
    int unpushedCountNow(const QUrl &repository) const;
    bool hasBrowserAuthHelperNow(const QUrl &repository) const;

private:
    QStringList credentialHelperValues(const QUrl &repository) const;

    NBEGitRunner &m_runner;
};
