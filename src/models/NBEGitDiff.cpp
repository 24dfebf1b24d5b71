#include "NBEGitDiff.h"

#include <limits>

#include <QStringList>

namespace {

// Outside a hunk; "Binary files" says that a binary file changed, which a
// numbered row would show as two stray line numbers.
bool isMeta(QStringView line)
{
    static const QString prefixes[] = {
        QStringLiteral("Binary files "), QStringLiteral("diff "),
        QStringLiteral("index "),        QStringLiteral("--- "),
        QStringLiteral("+++ "),          QStringLiteral("new file"),
        QStringLiteral("deleted file"),  QStringLiteral("rename "),
        QStringLiteral("similarity "),   QStringLiteral("old mode"),
        QStringLiteral("new mode"),      QStringLiteral("\\ No newline"),
    };
    for (const QString &prefix : prefixes)
        if (line.startsWith(prefix))
            return true;
    return false;
}

} // namespace

namespace NBEGitDiff {

std::optional<NBEGitHunkHeader> hunkHeader(QStringView line)
{
    const QList<QStringView> pieces = line.split(u"@@", Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return std::nullopt;
    std::optional<std::pair<int, int>> oldSide, newSide;
    for (const QStringView token : pieces.first().split(u' ', Qt::SkipEmptyParts)) {
        if (!token.startsWith(u'-') && !token.startsWith(u'+'))
            continue;
        auto &side = token.startsWith(u'-') ? oldSide : newSide;
        const QStringView range = token.mid(1);
        const qsizetype comma = range.indexOf(u',');
        bool ok = false;
        const int start = range.left(comma < 0 ? range.size() : comma).toInt(&ok);
        if (!ok || start < 0) {
            side.reset();
            continue;
        }
        int count = 1;
        if (comma >= 0) {
            bool countOK = false;
            count = range.mid(comma + 1).toInt(&countOK);
            if (!countOK || count < 0)
                count = 0;
        }
        side = std::pair(start, count);
    }
    if (!oldSide || !newSide)
        return std::nullopt;
    return NBEGitHunkHeader{oldSide->first, oldSide->second, newSide->first, newSide->second};
}

QList<NBEGitDiffLine> parseOutput(std::optional<QString> output)
{
    if (!output || output->isEmpty())
        return {};
    if (output->endsWith(u'\n'))
        output->chop(1);
    return parse(*output);
}

QList<NBEGitDiffLine> parse(const QString &diff)
{
    using Kind = NBEGitDiffLine::Kind;
    QList<NBEGitDiffLine> rows;
    // Counted in 64 bits: a header may start near the largest int, and rows
    // past it get no number rather than a wrapped one.
    qint64 oldLine = 0;
    qint64 newLine = 0;
    const auto number = [](qint64 line) -> std::optional<int> {
        if (line > std::numeric_limits<int>::max())
            return std::nullopt;
        return int(line);
    };
    // Lines the current hunk's header still promises on each side. While
    // any remain, "--- x" is a removed line "-- x", not a file header.
    int oldLeft = 0;
    int newLeft = 0;
    const QList<QStringView> lines = QStringView(diff).split(u'\n');
    rows.reserve(lines.size());
    for (QStringView line : lines) {
        // A CRLF file's lines come with their carriage return; it is the
        // line's end, not its text (a text view would break the row there).
        if (line.endsWith(u'\r'))
            line.chop(1);
        const bool inHunk = oldLeft > 0 || newLeft > 0;
        if (line.startsWith(u"@@")) {
            rows.append({Kind::hunk, line.toString(), std::nullopt, std::nullopt});
            if (const auto header = hunkHeader(line)) {
                oldLine = header->oldStart;
                newLine = header->newStart;
                oldLeft = header->oldCount;
                newLeft = header->newCount;
            } else {
                oldLeft = newLeft = 0;
            }
        } else if (!inHunk && isMeta(line)) {
            rows.append({Kind::meta, line.toString(), std::nullopt, std::nullopt});
        } else if (inHunk && line.startsWith(u'\\')) {
            rows.append({Kind::meta, line.toString(), std::nullopt, std::nullopt});
        } else if (line.startsWith(u'+')) {
            rows.append({Kind::addition, line.mid(1).toString(), std::nullopt, number(newLine++)});
            newLeft = std::max(0, newLeft - 1);
        } else if (line.startsWith(u'-')) {
            rows.append({Kind::deletion, line.mid(1).toString(), number(oldLine++), std::nullopt});
            oldLeft = std::max(0, oldLeft - 1);
        } else {
            const QStringView text = line.startsWith(u' ') ? line.mid(1) : line;
            rows.append({Kind::context, text.toString(), number(oldLine++), number(newLine++)});
            oldLeft = std::max(0, oldLeft - 1);
            newLeft = std::max(0, newLeft - 1);
        }
    }
    return rows;
}

} // namespace NBEGitDiff
