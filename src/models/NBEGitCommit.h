#pragma once

#include <QString>

// One commit of the history list. `sha` identifies it.
struct NBEGitCommit
{
    QString sha;
    QString shortSHA;
    QString subject;
    QString author;
    QString relativeDate;

    QString id() const { return sha; }
    bool operator==(const NBEGitCommit &) const = default;
};
