#pragma once

#include "NBEHTMLAction.h"
#include "NBEMarkdownEdit.h"

#include <QString>

// Computes the text edit of an HTML formatting action: tags around the
// selection, a list or table template, or a void element in its place.
// Pure and stateless.
class NBEHTMLEditor
{
public:
    NBEHTMLEditor() = delete;

    static NBEMarkdownEdit edit(NBEHTMLAction action, const QString &text, NBETextRange selection);
};
