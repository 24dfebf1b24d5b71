#pragma once

#include "NBELineEnding.h"

#include <QString>
#include <QUrl>
#include <QUuid>

// The text buffer behind a tab. It is dirty exactly when its text differs from
// the text last read from or written to disk; there is no separate flag. Texts
// hold "\n" only; `lineEnding` is the file's own, written back on save.
struct NBESourceFile
{
    QUuid id;
    QUrl url;
    QString content;
    QString savedContent;
    NBELineEnding lineEnding = NBELineEnding::LF;

    NBESourceFile() = default;
    // A freshly read file: clean.
    NBESourceFile(const QUrl &url, const QString &content,
                  NBELineEnding lineEnding = NBELineEnding::LF);
    NBESourceFile(const QUrl &url, const QString &content, const QString &savedContent,
                  NBELineEnding lineEnding = NBELineEnding::LF);

    // The last path component: the tab title.
    QString name() const;
    bool isDirty() const { return content != savedContent; }
    // After a successful write or a reload from disk.
    void markSaved() { savedContent = content; }
    // The text after the last dot of the name, as written; empty when none.
    QString fileExtension() const;

    bool operator==(const NBESourceFile &) const = default;
};
