#pragma once

#include "NBEGitCommit.h"
#include "NBERevealTarget.h"

#include <QFuture>
#include <QObject>
#include <QUrl>
#include <QUuid>

#include <optional>

class NBEWorkspaceTabs;

// What the window shows in place of the editor and where the editor goes:
// opening and activating tabs (which leaves any diff), the file's or
// commit's diff shown instead, and the line an editor is asked to reveal.
class NBEWorkspaceNavigation : public QObject
{
    Q_OBJECT

public:
    explicit NBEWorkspaceNavigation(NBEWorkspaceTabs &tabs, QObject *parent = nullptr);

    // A file's diff, or a commit's patch, in place of the editor; at most one.
    const std::optional<QUrl> &diffTarget() const { return m_diffTarget; }
    void setDiffTarget(const std::optional<QUrl> &target);
    const std::optional<NBEGitCommit> &commitDiffTarget() const { return m_commitDiffTarget; }
    void setCommitDiffTarget(const std::optional<NBEGitCommit> &target);
    // Shows the commit's patch in place of a file diff.
    void showCommitDiff(const NBEGitCommit &commit);
    // Back to the editor.
    void clearDiffTargets();
    // Opens the file in the editor (see NBEWorkspaceTabs::openFile), leaving
    // any diff; nothing happens without a folder.
    QFuture<void> openFile(const QUrl &at, bool asPreview);
    // Activates the tab, leaving any diff (also for the tab already active).
    void activateTab(const QUuid &id);
    const std::optional<NBERevealTarget> &revealTarget() const { return m_revealTarget; }
    // Opens the file for good and asks its editor to scroll to the line.
    void revealLine(const QUrl &url, int line,
                    const std::optional<NBERevealRange> &range = std::nullopt);
    // The editor takes the request and clears it.
    void clearRevealTarget();

Q_SIGNALS:
    void diffTargetChanged();
    // Also when the same target is asked for again.
    void revealTargetChanged();

private:
    NBEWorkspaceTabs &m_tabs;
    std::optional<QUrl> m_diffTarget;
    std::optional<NBEGitCommit> m_commitDiffTarget;
    std::optional<NBERevealTarget> m_revealTarget;
};
