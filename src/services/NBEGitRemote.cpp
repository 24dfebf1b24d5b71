#include "NBEGitRemote.h"

#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

NBEGitRemote::NBEGitRemote(NBEGitRunner &runner)
    : m_runner(runner)
{}

QString NBEGitRemote::storeHelper()
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

QString NBEGitRemote::browserAuthHelperPath()
{
    return QStringLiteral("/usr/bin/git-credential-oauth");
}

QStringList NBEGitRemote::credentialHelperValues(const QUrl &repository) const
{
    return NBEGitOutput::lines(m_runner.run({QStringLiteral("config"), QStringLiteral("--get-all"),
                                             QStringLiteral("credential.helper")},
                                            repository));
}

QFuture<QStringList> NBEGitRemote::remotes(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] { return remotesNow(repository); });
}

QStringList NBEGitRemote::remotesNow(const QUrl &repository) const
{
    return NBEGitOutput::lines(m_runner.run({QStringLiteral("remote")}, repository));
}

QFuture<std::optional<QString>> NBEGitRemote::originURL(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] {
        return m_runner.run(
            {QStringLiteral("remote"), QStringLiteral("get-url"), QStringLiteral("origin")},
            repository);
    });
}

QFuture<NBEGitResult> NBEGitRemote::setOriginURL(const QString &url, bool exists,
                                                 const QUrl &repository)
{
    return m_runner.actor().run([this, url, exists, repository] {
        if (const auto refused = NBEGitRunner::refusedName(url, NBEGitTypedName::remoteURL))
            return NBEGitResult::failure(*refused);
        return m_runner.runCapturingError(
            {QStringLiteral("remote"), exists ? QStringLiteral("set-url") : QStringLiteral("add"),
             QStringLiteral("origin"), url},
            repository);
    });
}

QFuture<bool> NBEGitRemote::hasBrowserAuthHelper(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] { return hasBrowserAuthHelperNow(repository); });
}

bool NBEGitRemote::hasBrowserAuthHelperNow(const QUrl &repository) const
{
    const QStringList values = credentialHelperValues(repository);
    return std::any_of(values.begin(), values.end(), [](const QString &value) {
        const QString lower = value.toLower();
        return lower.contains(QStringLiteral("oauth")) ||
               lower.contains(QStringLiteral("manager")) || lower == QStringLiteral("gh") ||
               lower.startsWith(QStringLiteral("gh "));
    });
}

QFuture<NBEGitResult> NBEGitRemote::configureBrowserAuth(const QString &helperPath, bool global,
                                                         const QUrl &repository)
{
    return m_runner.actor().run([this, helperPath, global, repository] {
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
            m_runner.run(config + QStringList{store}, repository);
        const bool hasHelper = std::any_of(
            values.begin(), values.end(), [&](const QString &v) { return v.contains(helperPath); });
        if (hasHelper)
            return NBEGitResult::success();
        return m_runner.runCapturingError(
            config + QStringList{QStringLiteral("!\"") + helperPath + u'"'}, repository);
    });
}

QFuture<NBEGitResult> NBEGitRemote::configureOAuthApp(const QString &host, const QString &clientID,
                                                      const QString &clientSecret, bool global,
                                                      const QUrl &repository)
{
    return m_runner.actor().run([this, host, clientID, clientSecret, global, repository] {
        QStringList config{QStringLiteral("config")};
        if (global)
            config << QStringLiteral("--global");
        const QString prefix = QStringLiteral("credential.https://") + host;
        m_runner.run(config + QStringList{prefix + QStringLiteral(".oauthClientId"), clientID},
                     repository);
        return m_runner.runCapturingError(
            config + QStringList{prefix + QStringLiteral(".oauthClientSecret"), clientSecret},
            repository);
    });
}

QFuture<std::optional<NBEGitAheadBehind>> NBEGitRemote::aheadBehind(const QUrl &repository)
{
    return m_runner.actor().run([this, repository]() -> std::optional<NBEGitAheadBehind> {
        const auto output =
            m_runner.run({QStringLiteral("rev-list"), QStringLiteral("--left-right"),
                          QStringLiteral("--count"), QStringLiteral("@{upstream}...HEAD")},
                         repository);
        return output ? NBEGitOutput::parseAheadBehind(*output) : std::nullopt;
    });
}

QFuture<int> NBEGitRemote::unpushedCount(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] { return unpushedCountNow(repository); });
}

int NBEGitRemote::unpushedCountNow(const QUrl &repository) const
{
    const auto output =
        m_runner.run({QStringLiteral("rev-list"), QStringLiteral("--count"), QStringLiteral("HEAD"),
                      QStringLiteral("--not"), QStringLiteral("--remotes")},
                     repository);
    bool ok = false;
    const int count = output ? output->toInt(&ok) : 0;
    return ok ? count : 0;
}

QFuture<NBEGitResult> NBEGitRemote::push(const QUrl &repository)
{
    return m_runner.runOnNetworkQueue(
        [git = m_runner.gitURL(), limit = m_runner.networkTimeLimit(), repository] {
            return NBEGitRunner::runNetworkCommand(git, QStringLiteral("push"),
                                                   {QStringLiteral("push")}, repository, {}, limit);
        });
}

QFuture<NBEGitResult> NBEGitRemote::pushSettingUpstream(const QString &remote,
                                                        const QString &branch,
                                                        const QUrl &repository)
{
    return m_runner.runOnNetworkQueue(
        [git = m_runner.gitURL(), limit = m_runner.networkTimeLimit(), remote, branch, repository] {
            if (const auto refused = NBEGitRunner::refusedName(remote, NBEGitTypedName::remoteName))
                return NBEGitResult::failure(*refused);
            if (const auto refused = NBEGitRunner::refusedName(branch, NBEGitTypedName::branchName))
                return NBEGitResult::failure(*refused);
            // A detached HEAD's abbreviated hash names no branch to publish;
            // git would only say it "cannot be resolved to branch".
            if (!NBEGitRunner::runNetworkCommand(
                     git, QStringLiteral("symbolic-ref"),
                     {QStringLiteral("symbolic-ref"), QStringLiteral("-q"), QStringLiteral("HEAD")},
                     repository, {}, limit)
                     .ok)
                return NBEGitResult::failure(
                    tr("HEAD isn't on a branch: create one with New Branch\u2026 in "
                       "the branch menu, then publish it."));
            // In full: beside a tag of the same name, the short name
            // "matches more than one" ref and git pushes nothing.
            const QString ref = branch == u"HEAD" ? branch : QStringLiteral("refs/heads/") + branch;
            return NBEGitRunner::runNetworkCommand(
                git, QStringLiteral("push"),
                {QStringLiteral("push"), QStringLiteral("-u"), remote, ref}, repository, {}, limit);
        });
}

QFuture<NBEGitPullResult> NBEGitRemote::pull(const QUrl &repository)
{
    // A pull writes HEAD, the index and the files: it takes its turn with
    // the local commands, after the fetches asked for before it.
    return m_runner.actor().run([this, repository, fetches = m_runner.networkTail()] {
        while (!fetches.isFinished() && !m_runner.stopping())
            QThread::msleep(20);
        const auto head = [&] {
            return m_runner.run({QStringLiteral("rev-parse"), QStringLiteral("--verify"),
                                 QStringLiteral("--quiet"), QStringLiteral("HEAD")},
                                repository);
        };
        const auto before = head();
        // Quiet: git's report of what it fetched would stand before the
        // reason in the failure text.
        const NBEGitResult pulled = NBEGitRunner::runNetworkCommand(
            m_runner.gitURL(), QStringLiteral("pull"),
            {QStringLiteral("pull"), QStringLiteral("--ff-only"), QStringLiteral("--quiet")},
            repository, {}, m_runner.networkTimeLimit(), &m_runner.stopping());
        if (!pulled.ok)
            return NBEGitPullResult{false, pulled.error, 0};
        // What the pull brought, not what the last fetch counted.
        const auto after = head();
        int commits = 0;
        if (after && after != before) {
            const QString range = before ? *before + QStringLiteral("..") + *after : *after;
            commits =
                m_runner
                    .run({QStringLiteral("rev-list"), QStringLiteral("--count"), range}, repository)
                    .value_or(QString())
                    .toInt();
        }
        return NBEGitPullResult{true, std::nullopt, commits};
    });
}

QFuture<bool> NBEGitRemote::fetch(const QUrl &repository)
{
    return m_runner
        .runOnNetworkQueue([git = m_runner.gitURL(), limit = m_runner.networkTimeLimit(),
                            repository] {
            const QHash<QString, QString> environment{
                {QStringLiteral("GIT_TERMINAL_PROMPT"), QStringLiteral("0")},
                // An empty askpass turns git's graphical password prompt off too.
                {QStringLiteral("GIT_ASKPASS"), QString()},
                {QStringLiteral("GIT_SSH_COMMAND"),
                 NBEGitRunner::batchSSHCommand(git, repository)}};
            return NBEGitRunner::runNetworkCommand(
                git, QStringLiteral("fetch"),
                {QStringLiteral("-c"), QStringLiteral("credential.helper="), QStringLiteral("-c"),
                 QStringLiteral("credential.helper=") + storeHelper(), QStringLiteral("fetch"),
                 QStringLiteral("--quiet"), QStringLiteral("--no-tags")},
                repository, environment, limit);
        })
        .then([](const NBEGitResult &result) { return result.ok; });
}
