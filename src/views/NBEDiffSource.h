#pragma once

#include <QString>
#include <QUrl>

// What the diff view shows: the working-tree changes of one file, or the
// patch of one commit.
struct NBEDiffSource
{
    enum class Kind { file, commit };

    Kind kind = Kind::file;
    QUrl url;
    QString sha;
    QString subject;

    static NBEDiffSource file(const QUrl &url) { return {Kind::file, url, {}, {}}; }
    static NBEDiffSource commit(const QString &sha, const QString &subject)
    {
        return {Kind::commit, {}, sha, subject};
    }
    bool operator==(const NBEDiffSource &) const = default;
};
