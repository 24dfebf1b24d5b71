#pragma once

#include "NBETextGeometry.h"

#include <QString>

#include <vector>

class QObject;

// A text shown read only while the whole is taken in (the start of a file
// being opened, or of a text being split): its long lines split into pieces
// as an editor of the whole splits them, so showing it lays out a screen,
// never a line of megabytes; the geometry of the view that shows it.
class NBESplitStart : public NBETextGeometry
{
public:
    // The document is a child of `owner`, laid out for a text view.
    NBESplitStart(const QString &text, QObject *owner);

    QTextDocument *document() const { return m_document; }

    // The view's document: nothing edits a text shown read only.
    QTextDocument *textDocument() const override { return m_document; }
    int toView(int offset) const override;
    int toText(int viewOffset) const override;
    bool continuesLine(const QTextBlock &block) const override;
    int lineNumber(const QTextBlock &block) const override;
    int lineCount() const override;
    QString text() const override { return m_text; }

private:
    QString m_text;
    // View offsets of the separators the split added, ascending.
    std::vector<int> m_breaks;
    QTextDocument *m_document = nullptr;
};
