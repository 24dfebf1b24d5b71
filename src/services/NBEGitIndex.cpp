#include "NBEGitIndex.h"

#include "NBEDiffPatch.h"
#include "NBELineEnding.h"
#include "NBEReplaceFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QUuid>

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

NBEGitIndex::NBEGitIndex(NBEGitRunner &runner)
    : m_runner(runner)
{}

QFuture<QList<NBEGitFileChange>> NBEGitIndex::changes(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] {
        // Without optional locks git status doesn't rewrite the index, which
        // the folder watch would take for a change from outside.
        const auto output = m_runner.run(
            {QStringLiteral("status"), QStringLiteral("--porcelain"), QStringLiteral("-z"),
             QStringLiteral("--untracked-files=all")},
            repository, false, {0}, {{QStringLiteral("GIT_OPTIONAL_LOCKS"), QStringLiteral("0")}});
        return output ? NBEGitOutput::parseStatus(*output, repository) : QList<NBEGitFileChange>();
    });
}

QFuture<std::optional<NBEGitWorkingState>> NBEGitIndex::workingState(const QUrl &repository)
{
    return m_runner.actor().run([this, repository]() -> std::optional<NBEGitWorkingState> {
        const auto output = statusNow(repository);
        return output ? workingStateFrom(*output, repository, {}) : std::nullopt;
    });
}

NBEResult<QByteArray> NBEGitIndex::statusNow(const QUrl &folder) const
{
    return m_runner.read(
        {QStringLiteral("status"), QStringLiteral("--porcelain=v2"), QStringLiteral("--branch"),
         QStringLiteral("-z"), QStringLiteral("--untracked-files=all")},
        folder, {0}, {{QStringLiteral("GIT_OPTIONAL_LOCKS"), QStringLiteral("0")}});
}

std::optional<NBEGitWorkingState> NBEGitIndex::workingStateFrom(const QByteArray &porcelain,
                                                                const QUrl &repository,
                                                                NBEGitStatusRun earlier) const
{
    std::optional<NBEGitWorkingState> state =
        NBEGitOutput::parseWorkingState(porcelain, repository, std::move(earlier));
    if (state && state->branch == QStringLiteral("(detached)"))
        state->branch = m_runner.run(
            {QStringLiteral("rev-parse"), QStringLiteral("--short"), QStringLiteral("HEAD")},
            repository);
    return state;
}

QFuture<NBEGitResult> NBEGitIndex::stage(const QUrl &file, const QUrl &repository)
{
    return m_runner.actor().run([this, file, repository] {
        return m_runner.runCapturingError(
            {QStringLiteral("add"), QStringLiteral("--"), file.toLocalFile()}, repository);
    });
}

QFuture<NBEGitResult> NBEGitIndex::unstage(const QUrl &file, const QUrl &repository)
{
    return m_runner.actor().run([this, file, repository] {
        // Before the first commit there is no HEAD to restore from; reset
        // takes the file out of the index then.
        if (!m_runner.run({QStringLiteral("rev-parse"), QStringLiteral("--verify"),
                           QStringLiteral("-q"), QStringLiteral("HEAD")},
                          repository))
            return m_runner.runCapturingError({QStringLiteral("reset"), QStringLiteral("-q"),
                                               QStringLiteral("--"), file.toLocalFile()},
                                              repository);
        QStringList arguments{QStringLiteral("restore"), QStringLiteral("--staged"),
                              QStringLiteral("--"), file.toLocalFile()};
        if (const auto source = renameSourceNow(file, repository))
            arguments << QDir(repository.toLocalFile()).filePath(*source);
        return m_runner.runCapturingError(arguments, repository);
    });
}

QFuture<NBEGitResult> NBEGitIndex::stageAll(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] {
        return m_runner.runCapturingError({QStringLiteral("add"), QStringLiteral("-A")},
                                          repository);
    });
}

QFuture<NBEGitResult> NBEGitIndex::unstageAll(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] {
        return m_runner.runCapturingError({QStringLiteral("reset"), QStringLiteral("-q")},
                                          repository);
    });
}

QFuture<NBEGitResult> NBEGitIndex::discardChanges(const QUrl &file, const QUrl &repository,
                                                  bool untracked)
{
    return m_runner.actor().run([this, file, repository, untracked] {
        if (untracked)
            return QFile::moveToTrash(file.toLocalFile())
                       ? NBEGitResult::success()
                       : NBEGitResult::failure(tr("It couldn't be moved to the trash."));
        return m_runner.runCapturingError(
            {QStringLiteral("restore"), QStringLiteral("--source=HEAD"), QStringLiteral("--staged"),
             QStringLiteral("--worktree"), QStringLiteral("--"), file.toLocalFile()},
            repository);
    });
}

QFuture<std::optional<QUrl>> NBEGitIndex::renameSource(const QUrl &file, const QUrl &repository)
{
    return m_runner.actor().run([this, file, repository]() -> std::optional<QUrl> {
        const auto source = renameSourceNow(file, repository);
        if (!source)
            return std::nullopt;
        return QUrl::fromLocalFile(QDir(repository.toLocalFile()).filePath(*source));
    });
}

std::optional<QString> NBEGitIndex::renameSourceNow(const QUrl &file, const QUrl &repository) const
{
    const auto path = relativePath(file, repository);
    if (!path)
        return std::nullopt;
    // A pathspec would hide the source from rename detection.
    const QString nameStatus =
        m_runner
            .run({QStringLiteral("diff"), QStringLiteral("--cached"), QStringLiteral("--no-color"),
                  QStringLiteral("--name-status"), QStringLiteral("-z"), QStringLiteral("-M"),
                  QStringLiteral("HEAD")},
                 repository, false)
            .value_or(QString());
    return NBEGitOutput::renameSource(nameStatus, *path);
}

bool NBEGitIndex::isLockedIndex(const NBEGitResult &result)
{
    return !result.ok && result.error && result.error->contains(QStringLiteral(".lock'"));
}

std::optional<QString> NBEGitIndex::relativePath(const QUrl &file, const QUrl &root)
{
    const auto below = [](const QString &filePath, QString rootPath) -> std::optional<QString> {
        if (!rootPath.endsWith(u'/'))
            rootPath += u'/';
        if (filePath.startsWith(rootPath) && filePath.size() > rootPath.size())
            return filePath.mid(rootPath.size());
        return std::nullopt;
    };
    const QString filePath = QDir::cleanPath(file.toLocalFile());
    const QString rootPath = QDir::cleanPath(root.toLocalFile());
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

QFuture<std::optional<QString>> NBEGitIndex::fileAtHEAD(const QUrl &file, const QUrl &repository)
{
    return m_runner.actor().run([this, file, repository]() -> std::optional<QString> {
        const auto path = relativePath(file, repository);
        if (!path)
            return std::nullopt;
        const auto text = m_runner.run({QStringLiteral("show"), QStringLiteral("HEAD:") + *path},
                                       repository, false);
        if (!text)
            return std::nullopt;
        // The editor holds a byte-order mark beside its text, not in it: the
        // gutter compares like with like.
        return NBELineEndings::normalized(text->startsWith(QChar(0xFEFF)) ? text->mid(1) : *text);
    });
}

QFuture<NBEResult<QString>> NBEGitIndex::diff(const QUrl &file, const QUrl &repository,
                                              bool untracked)
{
    return m_runner.actor().run([this, file, repository, untracked]() -> NBEResult<QString> {
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
                               QDir(repository.toLocalFile()).relativeFilePath(file.toLocalFile())}
                 : QStringList{QStringLiteral("diff"), QStringLiteral("--no-ext-diff"),
                               QStringLiteral("HEAD"), QStringLiteral("--"), file.toLocalFile()});
        const auto output = m_runner.read(arguments, repository, {0, 1});
        if (!output)
            return std::unexpected(output.error());
        return QString::fromUtf8(*output);
    });
}

std::optional<QString> NBEGitIndex::fileDiff(const QUrl &file, const QUrl &repository,
                                             bool staged) const
{
    QStringList arguments{QStringLiteral("diff"), QStringLiteral("--no-ext-diff")};
    if (staged)
        arguments << QStringLiteral("--cached");
    arguments << QStringLiteral("--no-color") << QStringLiteral("--") << file.toLocalFile();
    return m_runner.run(arguments, repository, false, {0, 1});
}

QFuture<std::optional<QString>> NBEGitIndex::unstagedDiff(const QUrl &file, const QUrl &repository)
{
    return m_runner.actor().run(
        [this, file, repository] { return fileDiff(file, repository, false); });
}

QFuture<std::optional<QString>> NBEGitIndex::stagedDiff(const QUrl &file, const QUrl &repository)
{
    return m_runner.actor().run(
        [this, file, repository] { return fileDiff(file, repository, true); });
}

QFuture<std::optional<QString>> NBEGitIndex::stagedDiff(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] {
        return m_runner.run({QStringLiteral("diff"), QStringLiteral("--cached"),
                             QStringLiteral("--no-color"), QStringLiteral("--no-ext-diff")},
                            repository, false, {0, 1});
    });
}

QFuture<std::optional<QString>> NBEGitIndex::workingDiff(const QUrl &repository)
{
    return m_runner.actor().run([this, repository] {
        return m_runner.run({QStringLiteral("diff"), QStringLiteral("HEAD"),
                             QStringLiteral("--no-color"), QStringLiteral("--no-ext-diff")},
                            repository, false, {0, 1});
    });
}

NBEGitResult NBEGitIndex::applyCachedNow(const QString &patch, bool reverse,
                                         const QUrl &repository) const
{
    const QString path = QDir::tempPath() + QStringLiteral("/nbe-hunk-") +
                         QUuid::createUuid().toString(QUuid::WithoutBraces) +
                         QStringLiteral(".patch");
    if (auto written = nbeReplaceFile(path, patch.toUtf8()); !written)
        return NBEGitResult::failure(
            tr("Couldn't write the patch: %1.").arg(written.error().description));
    QStringList arguments{QStringLiteral("apply"), QStringLiteral("--cached"),
                          QStringLiteral("--recount")};
    if (reverse)
        arguments << QStringLiteral("--reverse");
    arguments << path;
    const NBEGitResult result = m_runner.runCapturingError(arguments, repository);
    QFile::remove(path);
    return result;
}

QFuture<NBEGitResult> NBEGitIndex::applyCached(const QString &patch, bool reverse,
                                               const QUrl &repository)
{
    return m_runner.actor().run(
        [this, patch, reverse, repository] { return applyCachedNow(patch, reverse, repository); });
}

std::optional<NBEGitIndex::HunkTexts> NBEGitIndex::hunkTexts(const QUrl &file,
                                                             const QUrl &repository) const
{
    const auto path = relativePath(file, repository);
    if (!path)
        return std::nullopt;
    // "<mode> <object> <stage>\t<path>"; a file in conflict has stages above 0.
    const QStringList entry = NBEGitOutput::entryFields(
        m_runner
            .run({QStringLiteral("ls-files"), QStringLiteral("-s"), QStringLiteral("--"), *path},
                 repository)
            .value_or(QString()));
    // "<mode> blob <object>\t<path>"; nothing in a repository without commits.
    const QStringList inHead = NBEGitOutput::entryFields(
        m_runner
            .run({QStringLiteral("ls-tree"), QStringLiteral("HEAD"), QStringLiteral("--"), *path},
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
        const auto bytes = m_runner.runBytes({QStringLiteral("show"), object}, repository);
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

std::optional<QString> NBEGitIndex::savedText(const QUrl &file)
{
    // A file gone from disk is the empty text, as the gutter shows it.
    QFile saved(file.toLocalFile());
    if (!saved.exists())
        return QString();
    return saved.open(QIODevice::ReadOnly) ? strictText(saved.readAll()) : std::nullopt;
}

NBEGitResult NBEGitIndex::applyHunk(const NBEDiffHunk &hunk, const QUrl &file,
                                    const QUrl &repository, bool unstaging) const
{
    const NBEGitResult nothing = NBEGitResult::failure(
        unstaging ? tr("Failed to unstage this hunk.") : tr("Failed to stage this hunk."),
        NBEGitFailure::nothingToMove);
    const auto texts = hunkTexts(file, repository);
    if (!texts)
        return nothing;
    const bool onDisk = QFile::exists(file.toLocalFile());
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
        return m_runner.runCapturingError({QStringLiteral("update-index"),
                                           QStringLiteral("--force-remove"), QStringLiteral("--"),
                                           texts->path},
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
        m_runner.runCapturingError({QStringLiteral("hash-object"), QStringLiteral("-w"), filters,
                                    QStringLiteral("--"), blob.fileName()},
                                   repository, &object);
    if (!hashed.ok)
        return hashed;
    return m_runner.runCapturingError({QStringLiteral("update-index"), QStringLiteral("--add"),
                                       QStringLiteral("--cacheinfo"), texts->mode,
                                       QString::fromLatin1(object.trimmed()), texts->path},
                                      repository);
}

QFuture<NBEGitResult> NBEGitIndex::stageHunk(const NBEDiffHunk &hunk, const QUrl &file,
                                             const QUrl &repository)
{
    return m_runner.actor().run(
        [this, hunk, file, repository] { return applyHunk(hunk, file, repository, false); });
}

QFuture<NBEGitResult> NBEGitIndex::unstageHunk(const NBEDiffHunk &hunk, const QUrl &file,
                                               const QUrl &repository)
{
    return m_runner.actor().run(
        [this, hunk, file, repository] { return applyHunk(hunk, file, repository, true); });
}

QFuture<bool> NBEGitIndex::hunkIsStaged(const NBEDiffHunk &hunk, const QUrl &file,
                                        const QUrl &repository)
{
    return m_runner.actor().run([this, hunk, file, repository] {
        // A hunk only in the editor's unsaved text isn't in the index: there
        // is something to stage once the buffer is written, nothing to unstage.
        const auto texts = hunkTexts(file, repository);
        const auto working = savedText(file);
        return texts && working &&
               NBEDiffPatch::indexHoldsHunk(texts->head, texts->index, *working, hunk);
    });
}
