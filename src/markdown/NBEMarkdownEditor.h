#pragma once

#include "NBEMarkdownAction.h"
#include "NBEMarkdownEdit.h"

#include <QString>

// Computes the text edit of a Markdown formatting action. It only ever adds
// markup (around the selection, before the selected lines, or in place of
// the selection); it never removes markup already there. Pure and stateless.
class NBEMarkdownEditor
{
public:
    NBEMarkdownEditor() = delete;

    static NBEMarkdownEdit edit(NBEMarkdownAction action, const QString &text,
                                NBETextRange selection);

    // The selection limited to the text; negative values count as 0.
    static NBETextRange clamp(NBETextRange selection, qsizetype length);
};
