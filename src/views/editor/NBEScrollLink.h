#pragma once

#include <QDateTime>
#include <QObject>

#include <functional>

// Keeps a source editor and its live preview at the same relative scroll
// position. Each side reports a fraction (0 top, 1 bottom); the link moves
// the other side and drops that side's echo for a short while so the two
// don't drive each other back and forth. Main thread only.
class NBEScrollLink : public QObject
{
    Q_OBJECT

public:
    explicit NBEScrollLink(QObject *parent = nullptr);

    std::function<void(double)> scrollPreview;
    std::function<void(double)> scrollEditor;

    void editorScrolled(double fraction);
    void previewScrolled(double fraction);

    // NaN and negatives become 0, anything above 1 becomes 1.
    static double clamped(double fraction);

    // How long a side's reports are ignored after the other side moved it.
    static constexpr int echoWindowMs = 120;

private:
    QDateTime m_ignoreEditorUntil;
    QDateTime m_ignorePreviewUntil;
};
