#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

// A tab whose file a git command may rewrite; `replaceable` is the text it
// held before the command, absent when its edits are to be kept.
struct NBEGitRewrittenTab
{
    QUuid id;
    QUrl url;
    std::optional<QString> replaceable;
};

using NBEGitRewrittenTabs = QList<NBEGitRewrittenTab>;
