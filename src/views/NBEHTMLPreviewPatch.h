#pragma once

#include <QString>

// Brings the page on screen to a new text of the same page without loading
// it again: the text is parsed in the page and only the nodes of its head
// and body that differ are replaced, so the reader's place and whatever
// didn't change (style sheets, pictures) stay as they are. A page whose
// outer markup, base address or header equivalents changed, or which runs
// code of its own (whose DOM may then differ from its text), is refused: it
// needs a load.
class NBEHTMLPreviewPatch
{
public:
    NBEHTMLPreviewPatch() = delete;

    // The script to run in the page; it answers true once the page holds
    // what a load of `html` would show, false when it changed nothing.
    static QString script(const QString &html);
    // Whether a text can't be patched in at all, decided without the page.
    static bool needsLoad(const QString &html);
};
