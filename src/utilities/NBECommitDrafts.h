#pragma once

#include "NBEDefaults.h"

#include <QString>
#include <QUrl>

// The unfinished commit message of each repository, kept in the settings
// store under "nbe.commitDraft." followed by the root's file-system path.
namespace NBECommitDrafts {

QString key(const QUrl &root);

// "" when no draft is stored.
QString load(const QUrl &root, const NBEDefaults &from = NBEDefaults::shared());

// An empty text removes the draft; anything else (even blanks) is stored.
void save(const QString &text, const QUrl &root, NBEDefaults &into = NBEDefaults::shared());

} // namespace NBECommitDrafts
