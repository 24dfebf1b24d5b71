#pragma once

#include <QString>

// The status sentences shown after a push, a pull or a change of the remote.
namespace NBEGitSyncMessage {

// `ahead`: commits pushed; `hadUpstream`: whether the branch tracked a remote
// branch before the push.
QString push(const QString &remote, const QString &branch, int ahead, bool hadUpstream);
QString pull(const QString &remote, const QString &branch, int behind);

// A remote URL shortened for display: "https://host/me/site.git" and
// "git@host:me/site.git" both read "host/me/site".
QString prettyRemote(const QString &url);

} // namespace NBEGitSyncMessage
