#pragma once

#include "NBECompletionInsertion.h"
#include "NBELSPCompletionItem.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Where completion stands at a caret: the language that applies there, the
// text the engines read (a "style" element's body inside HTML) and the caret
// within that text.
struct NBECompletionScope
{
    QString lang;
    QString text;
    int offset = 0;
    bool operator==(const NBECompletionScope &) const = default;
};

// A path being typed: the folder whose entries are offered and the part of
// the path after its last "/", which the entries must start with.
struct NBEPathContext
{
    QUrl dir;
    QString namePart;
    bool operator==(const NBEPathContext &) const = default;
};

// One entry of a folder as path completion lists it.
struct NBEPathEntry
{
    QString name;
    bool isDirectory = false;
    bool operator==(const NBEPathEntry &) const = default;
};

// The editor's completion sources apart from the editor: scope, paths and
// the built-in HTML and CSS lists.
namespace NBECompletionSources {

// Attribute names (lower case) whose values are paths.
bool isPathAttribute(const QString &name);

NBECompletionScope completionScope(const QString &text, int offset,
                                   const std::optional<QString> &languageID);

// The path typed at the scope's caret, resolved against the document's
// folder (or, for a path starting with "/", the project root); nothing
// outside path attributes and CSS url(...), for absolute URLs and fragments.
std::optional<NBEPathContext> pathContext(const NBECompletionScope &scope,
                                          const std::optional<QUrl> &fileURL,
                                          const std::optional<QUrl> &projectRoot);

// The text typed inside "url(" up to the offset, without an opening quote.
std::optional<QString> cssURLPartial(const QString &css, int offset);

// A folder's entries, hidden ones left out; empty when it can't be read.
// Reads the disk: never on the UI thread.
QList<NBEPathEntry> readDirectory(const QUrl &dir);
// The entries whose names start with the prefix (ignoring case), folders
// marked with a trailing "/", sorted by code point (capitals first).
QStringList matchingEntries(const QList<NBEPathEntry> &entries, const QString &namePrefix);

// The built-in HTML or CSS items at the scope's caret.
QStringList builtInItems(const NBECompletionScope &scope);
std::optional<NBECompletionInsertion> builtInInsertion(const QString &label,
                                                       const NBECompletionScope &scope);

// The number of word characters (ASCII letters, digits, "_", "-", "$")
// directly before the offset.
int wordPrefixLength(int offset, const QString &text);
bool isWordCharacter(QChar c);

// How much of the text before the caret a candidate (an item's filter or
// insert text) takes the place of: the typed word, and the characters before
// it that the candidate starts with ("@" of "@media", ":" of ":hover", "/"
// of "/div"), compared without case.
int typedLength(QStringView before, QStringView candidate);
// Whether the candidate starts with what was typed before the caret.
bool continuesTyped(QStringView before, QStringView candidate);
// The server's items whose filter text continues what was typed, in the
// server's order.
QList<NBELSPCompletionItem> narrowed(const QList<NBELSPCompletionItem> &items, QStringView before);

// Whether typing `typed` (now just before the caret, at the end of `before`)
// opens the panel: a word character, one of the server's trigger
// characters, "<" in HTML and ":" in CSS, or a blank right after that ":".
bool opensCompletion(QStringView before, const QString &scopeLanguage,
                     const QString &serverTriggers);

} // namespace NBECompletionSources
