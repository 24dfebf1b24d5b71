#include "NBEGitSyncMessage.h"

namespace {

const QString separator = QStringLiteral(" \u00B7 ");

QString pluralizedCommits(int n)
{
    return QString::number(n) + (n == 1 ? QStringLiteral(" commit") : QStringLiteral(" commits"));
}

} // namespace

namespace NBEGitSyncMessage {

QString push(const QString &remote, const QString &branch, int ahead, bool hadUpstream)
{
    const QString target = remote + u'/' + branch;
    if (!hadUpstream) {
        QString sentence = QStringLiteral("Published ") + branch + QStringLiteral(" to ") + target;
        if (ahead >= 1)
            sentence += separator + pluralizedCommits(ahead);
        return sentence;
    }
    if (ahead < 1)
        return QStringLiteral("Up to date") + separator + target;
    return QStringLiteral("Pushed ") + pluralizedCommits(ahead) + QStringLiteral(" to ") + target;
}

QString pull(const QString &remote, const QString &branch, int behind)
{
    const QString target = remote + u'/' + branch;
    if (behind < 1)
        return QStringLiteral("Up to date") + separator + target;
    return QStringLiteral("Pulled ") + pluralizedCommits(behind) + QStringLiteral(" from ") +
           target;
}

QString prettyRemote(const QString &url)
{
    QString text = url;
    const qsizetype scheme = text.indexOf(QStringLiteral("://"));
    if (scheme >= 0)
        text = text.mid(scheme + 3);
    const qsizetype at = text.indexOf(u'@');
    if (at >= 0)
        text = text.mid(at + 1);
    text.replace(u':', u'/');
    if (text.endsWith(QStringLiteral(".git")))
        text.chop(4);
    return text;
}

} // namespace NBEGitSyncMessage
