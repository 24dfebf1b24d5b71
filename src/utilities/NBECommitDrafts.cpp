#include "NBECommitDrafts.h"

namespace NBECommitDrafts {

QString key(const QUrl &root)
{
    return QStringLiteral("nbe.commitDraft.") + root.toLocalFile();
}

QString load(const QUrl &root, const NBEDefaults &from)
{
    return from.stringValue(key(root)).value_or(QString());
}

void save(const QString &text, const QUrl &root, NBEDefaults &into)
{
    if (text.isEmpty())
        into.remove(key(root));
    else
        into.setString(key(root), text);
}

} // namespace NBECommitDrafts
