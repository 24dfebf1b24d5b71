#pragma once

#include <QString>
#include <QUrl>

// A file read for opening whose tab is still being made (a long text takes a
// while to take in): the start of its text, for a window to show meanwhile.
struct NBEOpeningFile
{
    QUrl url;
    QString start;
    bool operator==(const NBEOpeningFile &) const = default;

    // Lines enough for the tallest screen, and no more than a screen of a
    // wrapped line.
    static constexpr int shownLines = 300;
    static constexpr qsizetype shownUnits = 64 * 1024;
    static QString startOf(const QString &text);
};
