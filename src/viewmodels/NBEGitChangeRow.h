#pragma once

#include "NBEGitFileChange.h"

#include <QList>
#include <QString>
#include <QUrl>

// One row of the changes list: a section title or a file on one side (index
// or working tree) with the status letter of that side.
struct NBEGitChangeRow
{
    enum class Kind { conflictsSection, stagedSection, changesSection, stagedFile, changedFile };
    // What a row's buttons do, rightmost first.
    enum class Action { stage, unstage, discard, stageAll, unstageAll };

    Kind kind = Kind::changedFile;
    QUrl url;
    QString name;
    // The folder below the repository root, empty at the root.
    QString folder;
    NBEGitStatus status = NBEGitStatus::modified;
    int count = 0;

    bool isFile() const { return kind == Kind::stagedFile || kind == Kind::changedFile; }
    QList<Action> actions() const;
    bool operator==(const NBEGitChangeRow &) const = default;
};
