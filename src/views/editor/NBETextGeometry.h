#pragma once

#include <QString>

#include <utility>

class QTextBlock;
class QTextCursor;
class QTextDocument;

// Where the text stands in a text view, which may show the text's very long
// lines split into pieces of a document of its own: offsets and lines of the
// view and of the text then differ. Whatever reads the text or places things
// by its offsets and lines goes through here, so none of it knows whether
// the view is split.
class NBETextGeometry
{
public:
    virtual ~NBETextGeometry() = default;

    // The document that holds the text as it is (the view's own unless
    // split); edits by text offsets go to it.
    virtual QTextDocument *textDocument() const = 0;
    // The view offset of a text offset; an offset where the view split a
    // line lands before the split.
    virtual int toView(int offset) const = 0;
    // The text offset of a view offset; both sides of a split give the same.
    virtual int toText(int viewOffset) const = 0;
    // Whether the view split the line before `block` (a block of the view).
    virtual bool continuesLine(const QTextBlock &block) const = 0;
    // The 1-based line of the text that `block` (of the view) shows.
    virtual int lineNumber(const QTextBlock &block) const = 0;
    virtual int lineCount() const = 0;
    // The whole text with "\n" line breaks and every character as typed.
    virtual QString text() const = 0;

    // The view range that shows the text range [from, to): from its first
    // character, not the end of the piece before it, to its last.
    std::pair<int, int> toViewRange(int from, int to) const
    {
        return {from < to ? toView(from + 1) - 1 : toView(from), toView(to)};
    }
    // The text between two view offsets.
    QString textBetween(int viewFrom, int viewTo) const;
    // A cursor of the text document that selects the text offsets
    // [anchor, position), for an edit by the text. It is placed without
    // measuring its line, which lays out a line of megabytes, and an edit
    // block opened on it starts at `anchor`.
    QTextCursor textCursor(int anchor, int position) const;
};
