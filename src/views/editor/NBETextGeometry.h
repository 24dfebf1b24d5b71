#pragma once

class QTextBlock;
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
};
