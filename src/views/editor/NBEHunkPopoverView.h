#pragma once

#include "NBELineDiff.h"

#include <QFrame>
#include <QFuture>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

// The small popup for one change hunk: what changed (the HEAD lines removed,
// the lines added) and the actions on it. Whether "Stage" or "Unstage" is
// offered is asked when the popup shows; until the answer comes neither is.
// Closes when the user clicks elsewhere, and after its one action.
class NBEHunkPopoverView : public QFrame
{
    Q_OBJECT

public:
    NBEHunkPopoverView(const NBEDiffHunk &hunk, bool canStage, std::function<void()> onDiscard,
                       std::function<void()> onStage, std::function<void()> onUnstage,
                       std::function<QFuture<bool>()> isStaged, QWidget *parent = nullptr);

    // Shows the popup with its top-left corner at `topLeft` (global), moved
    // left, or above that point, where the screen ends.
    void showBeside(const QPoint &topLeft);

    // Unknown until `isStaged` has answered.
    std::optional<bool> isStagedState() const { return m_isStaged; }
    QPushButton *discardButton() const { return m_discard; }
    // Hidden until the staged state is known, and when staging isn't offered.
    QPushButton *stageButton() const { return m_stage; }
    static QString title(const NBEDiffHunk &hunk);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void run(const std::function<void()> &action);

    bool m_canStage;
    std::function<void()> m_onDiscard, m_onStage, m_onUnstage;
    std::function<QFuture<bool>()> m_isStagedQuery;
    std::optional<bool> m_isStaged;
    bool m_asked = false;
    bool m_acted = false;
    QPushButton *m_discard = nullptr;
    QPushButton *m_stage = nullptr;
};
