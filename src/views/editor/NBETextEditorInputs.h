#pragma once

#include "NBEBinding.h"
#include "NBEEditorSettings.h"
#include "NBELSPCompletionItem.h"
#include "NBELSPDiagnostic.h"
#include "NBELanguage.h"
#include "NBELineDiff.h"
#include "NBETextBuffer.h"
#include "NBETheme.h"

#include <QFuture>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class NBEScrollLink;

// Everything the window hands one editor: values, bindings and closures. The
// editor never reaches the view model; a new value of this arrives with every
// update.
struct NBETextEditorInputs
{
    // The buffer the editor shows and edits in place: its owner hears every
    // edit from the buffer itself. Without one the editor shows an empty text.
    std::shared_ptr<NBETextBuffer> buffer;
    std::optional<NBELanguage> language;
    NBETheme theme;
    NBEEditorSettings settings;
    // Caret line and column, both from 1 (the column in UTF-16 units).
    std::function<void(int line, int column)> onCursorChange;
    // A line to reveal once, then cleared through the binding (the request
    // may come before the editor of its file exists).
    NBEBinding<std::optional<int>> revealLine;
    // The file's text at HEAD; absent outside a repository or for a new file.
    std::optional<QString> headContent;
    // Present when the editor is paired with a live preview; bound only when
    // the editor is made.
    QPointer<NBEScrollLink> scrollLink;
    std::optional<QUrl> fileURL;
    std::optional<QUrl> projectRoot;
    QList<NBELSPDiagnostic> diagnostics;
    // The language server's completion and hover at a zero-based line and
    // UTF-16 character; absent when no server serves the document. Each
    // answers nothing when the server can't; cancelling a returned future
    // tells the server the answer is no longer wanted.
    std::function<QFuture<std::optional<QList<NBELSPCompletionItem>>>(int line, int character)>
        lspCompletion;
    // The characters after which that server offers completion unasked for
    // a word (as it announced them; empty until it has started).
    std::function<QString()> lspCompletionTriggers;
    std::function<QFuture<std::optional<QString>>(int line, int character)> lspHover;
    // The language server's formatting of a text; nothing when it can't.
    std::function<QFuture<std::optional<QString>>(const QString &text)> lspFormatting;
    // Actions on one change hunk; absent ones do nothing and the staged
    // query answers false. Told after a discard has changed the text.
    std::function<void(const NBEDiffHunk &)> onStageHunk;
    std::function<void(const NBEDiffHunk &)> onUnstageHunk;
    std::function<QFuture<bool>(const NBEDiffHunk &)> isHunkStaged;
    std::function<void(const NBEDiffHunk &)> onDidDiscardHunk;
};
