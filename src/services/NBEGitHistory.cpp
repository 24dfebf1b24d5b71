#include "NBEGitHistory.h"

#include <QDir>
#include <QFile>

NBEGitHistory::NBEGitHistory(NBEGitRunner &runner)
    : m_runner(runner)
{}

QFuture<NBEGitResult> NBEGitHistory::commit(const QString &message, bool amend,
                                            const QUrl &repository)
{
    const quint64 ticket = ++m_commitsAsked;
    return m_runner.actor().run([this, message, amend, repository, ticket] {
        const auto cancelled = [this, ticket] { return m_commitsCancelled >= ticket; };
        if (cancelled()) {
            NBEGitResult result = NBEGitResult::failure(tr("git was stopped."));
            result.cancelled = true;
            return result;
        }
        QStringList arguments{QStringLiteral("commit")};
        if (amend)
            arguments << QStringLiteral("--amend");
        arguments << QStringLiteral("-m") << message;
        return m_runner.runCapturingError(arguments, repository, nullptr, cancelled);
    });
}

void NBEGitHistory::cancelCommits()
{
    m_commitsCancelled = m_commitsAsked.load();
}

QFuture<std::optional<QString>> NBEGitHistory::lastCommitMessage(const QUrl &repository)
{
    return m_runner.actor().run([this, repository]() -> std::optional<QString> {
        auto message = m_runner.run({QStringLiteral("log"), QStringLiteral("--no-show-signature"),
                                     QStringLiteral("-1"), QStringLiteral("--pretty=%B")},
                                    repository);
        if (!message || message->isEmpty())
            return std::nullopt;
        return message;
    });
}

QFuture<QList<NBEGitCommit>> NBEGitHistory::log(const QUrl &repository, int limit)
{
    return m_runner.actor().run([this, repository, limit] {
        // With log.showSignature set, git would print each signature's check
        // on standard output, before the record it belongs to.
        const auto output =
            m_runner.run({QStringLiteral("log"), QStringLiteral("--no-show-signature"),
                          QStringLiteral("-n"), QString::number(limit), NBEGitOutput::logFormat()},
                         repository);
        return output ? NBEGitOutput::parseLog(*output) : QList<NBEGitCommit>();
    });
}

QFuture<QStringList> NBEGitHistory::changedFiles(const QString &sha, const QUrl &repository)
{
    return m_runner.actor().run([this, sha, repository] {
        if (NBEGitRunner::refusedName(sha, NBEGitTypedName::commit))
            return QStringList();
        // A merge lists what it brought into its first parent, like its diff.
        // Names end in NUL, unquoted: git would write "über.html" in octal
        // escapes, which no command takes back.
        const auto output = m_runner.run(
            {QStringLiteral("show"), QStringLiteral("--no-show-signature"),
             QStringLiteral("--name-only"), QStringLiteral("-z"),
             QStringLiteral("--diff-merges=first-parent"), QStringLiteral("--pretty=format:"), sha},
            repository, false);
        return output ? output->split(QChar(0), Qt::SkipEmptyParts) : QStringList();
    });
}

QFuture<std::optional<QString>> NBEGitHistory::commitDiff(const QString &sha,
                                                          const QUrl &repository)
{
    return m_runner.actor().run([this, sha, repository]() -> std::optional<QString> {
        if (NBEGitRunner::refusedName(sha, NBEGitTypedName::commit))
            return std::nullopt;
        // A merge shows the change it brought into its first parent: a
        // combined diff has a column per parent that the rows can't draw.
        // Each file's header names it as the commit's file list does.
        return m_runner.run({QStringLiteral("-c"), QStringLiteral("core.quotePath=false"),
                             QStringLiteral("show"), QStringLiteral("--no-show-signature"),
                             QStringLiteral("--format="),
                             QStringLiteral("--diff-merges=first-parent"),
                             QStringLiteral("--no-color"), QStringLiteral("--no-ext-diff"), sha},
                            repository, false);
    });
}

QFuture<bool> NBEGitHistory::restoreFile(const QString &path, const QString &atCommit,
                                         const QUrl &repository)
{
    return m_runner.actor().run([this, path, atCommit, repository] {
        if (NBEGitRunner::refusedName(atCommit, NBEGitTypedName::commit))
            return false;
        return m_runner
            .run({QStringLiteral("checkout"), atCommit, QStringLiteral("--"), path}, repository)
            .has_value();
    });
}

QFuture<NBEGitResult> NBEGitHistory::revertCommit(const QString &sha, const QUrl &repository)
{
    return m_runner.actor().run([this, sha, repository] {
        if (const auto refused = NBEGitRunner::refusedName(sha, NBEGitTypedName::commit))
            return NBEGitResult::failure(*refused);
        return m_runner.runCapturingError(
            {QStringLiteral("revert"), QStringLiteral("--no-edit"), sha}, repository);
    });
}

QFuture<NBEGitResult> NBEGitHistory::createTag(const QString &name, const QString &atCommit,
                                               const QString &message, const QUrl &repository)
{
    return m_runner.actor().run([this, name, atCommit, message, repository] {
        if (const auto refused = NBEGitRunner::refusedName(name, NBEGitTypedName::tagName))
            return NBEGitResult::failure(*refused);
        if (const auto refused = NBEGitRunner::refusedName(atCommit, NBEGitTypedName::commit))
            return NBEGitResult::failure(*refused);
        return m_runner.runCapturingError({QStringLiteral("tag"), QStringLiteral("-a"), name,
                                           atCommit, QStringLiteral("-m"),
                                           message.isEmpty() ? name : message},
                                          repository);
    });
}

QFuture<QStringList> NBEGitHistory::branches(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] { return branchesNow(repository); });
}

QStringList NBEGitHistory::branchesNow(const QUrl &repository) const
{
    // Local branches only, named in full: "git branch" adds a line such as
    // "(HEAD detached at 1a2b3c4)" that no command takes for a branch, and
    // shortens a branch that shares a tag's name to "heads/<name>".
    return NBEGitOutput::lines(
        m_runner.run({QStringLiteral("for-each-ref"),
                      QStringLiteral("--format=%(refname:lstrip=2)"), QStringLiteral("refs/heads")},
                     repository));
}

QFuture<NBEGitResult> NBEGitHistory::switchBranch(const QString &name, const QUrl &repository)
{
    return m_runner.actor().run([this, name, repository] {
        if (const auto refused = NBEGitRunner::refusedName(name, NBEGitTypedName::branchName))
            return NBEGitResult::failure(*refused);
        return m_runner.runCapturingError({QStringLiteral("switch"), name}, repository);
    });
}

QFuture<int> NBEGitHistory::commitsOnNoBranch(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] {
        if (m_runner.run(
                {QStringLiteral("symbolic-ref"), QStringLiteral("-q"), QStringLiteral("HEAD")},
                repository))
            return 0;
        return m_runner
            .run({QStringLiteral("rev-list"), QStringLiteral("--count"), QStringLiteral("HEAD"),
                  QStringLiteral("--not"), QStringLiteral("--branches"), QStringLiteral("--tags"),
                  QStringLiteral("--remotes")},
                 repository)
            .value_or(QString())
            .toInt();
    });
}

QFuture<NBEGitResult> NBEGitHistory::createBranch(const QString &name, const QUrl &repository)
{
    return m_runner.actor().run([this, name, repository] {
        if (const auto refused = NBEGitRunner::refusedName(name, NBEGitTypedName::branchName))
            return NBEGitResult::failure(*refused);
        return m_runner.runCapturingError({QStringLiteral("switch"), QStringLiteral("-c"), name},
                                          repository);
    });
}

QFuture<NBEGitResult> NBEGitHistory::deleteBranch(const QString &name, bool force,
                                                  const QUrl &repository)
{
    return m_runner.actor().run([this, name, force, repository] {
        if (const auto refused = NBEGitRunner::refusedName(name, NBEGitTypedName::branchName))
            return NBEGitResult::failure(*refused);
        return m_runner.runCapturingError(
            {QStringLiteral("branch"), force ? QStringLiteral("-D") : QStringLiteral("-d"), name},
            repository);
    });
}

QFuture<NBEGitMergeResult> NBEGitHistory::merge(const QString &name, const QUrl &repository)
{
    return m_runner.actor().run([this, name, repository] {
        if (const auto refused = NBEGitRunner::refusedName(name, NBEGitTypedName::branchName))
            return NBEGitMergeResult{false, refused, false};
        // A tag of the same name would be merged in the branch's place (git
        // only warns that the name is ambiguous): the branch is named in full
        // then, and only then, since the full name goes into git's message.
        const bool tagged =
            m_runner
                .run({QStringLiteral("show-ref"), QStringLiteral("--verify"),
                      QStringLiteral("--quiet"), QStringLiteral("refs/tags/") + name},
                     repository)
                .has_value();
        // git reports conflicts on standard output, so both streams are searched.
        QByteArray output;
        const NBEGitResult result =
            m_runner.runCapturingError({QStringLiteral("merge"), QStringLiteral("--no-edit"),
                                        tagged ? QStringLiteral("refs/heads/") + name : name},
                                       repository, &output);
        if (result.ok)
            return NBEGitMergeResult{true, std::nullopt, false};
        const QString text = result.error.value_or(QString()) + u'\n' + QString::fromUtf8(output);
        return NBEGitMergeResult{false, result.error, NBEGitOutput::mergeStoppedOnConflicts(text)};
    });
}

QFuture<std::optional<NBEGitMergeState>> NBEGitHistory::mergeState(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] { return mergeStateNow(repository); });
}

std::optional<NBEGitMergeState> NBEGitHistory::mergeStateNow(const QUrl &repository) const
{
    {
        const auto head = m_runner.run({QStringLiteral("rev-parse"), QStringLiteral("-q"),
                                        QStringLiteral("--verify"), QStringLiteral("MERGE_HEAD")},
                                       repository);
        if (!head || head->isEmpty())
            return std::nullopt;
        NBEGitMergeState state;
        state.head = *head;
        const QStringList names = NBEGitOutput::lines(
            m_runner.run({QStringLiteral("for-each-ref"), QStringLiteral("--points-at=MERGE_HEAD"),
                          QStringLiteral("--format=%(refname:short)"), QStringLiteral("refs/heads"),
                          QStringLiteral("refs/remotes")},
                         repository));
        state.name = names.isEmpty() ? head->left(7) : names.first();
        // git keeps the prepared message in a file of its own; no command prints it.
        if (const auto path =
                m_runner.run({QStringLiteral("rev-parse"), QStringLiteral("--git-path"),
                              QStringLiteral("MERGE_MSG")},
                             repository)) {
            QFile file(QDir(repository.toLocalFile()).absoluteFilePath(*path));
            if (file.open(QIODevice::ReadOnly))
                state.message = NBEGitOutput::preparedMessage(QString::fromUtf8(file.readAll()));
        }
        return state;
    }
}
