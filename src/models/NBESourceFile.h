#pragma once

#include "NBEDiskStamp.h"
#include "NBELineEnding.h"
#include "NBETextBuffer.h"

#include <QString>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

// A tab's file and the buffer holding its live text. Copies share the buffer:
// a source file value names the text, it doesn't hold a copy of it. It is
// dirty when the buffer holds edits the file doesn't, or the file is gone.
// Texts hold "\n" only; `lineEnding` is the file's own, written back on save.
struct NBESourceFile
{
    QUuid id;
    QUrl url;
    std::shared_ptr<NBETextBuffer> buffer;
    NBELineEnding lineEnding = NBELineEnding::LF;
    // The file's UTF-8 byte-order mark, kept out of the buffer and written
    // back first.
    bool byteOrderMark = false;
    // The file as the tab last read or wrote it; nothing when not known (a
    // save then doesn't check the disk).
    std::optional<NBEDiskStamp> diskStamp;
    // The file was deleted or moved away by someone else; the text lives on
    // only in the tab (marked unsaved) until it is saved again.
    bool isMissingOnDisk = false;

    NBESourceFile() = default;
    // A freshly read file: clean.
    NBESourceFile(const QUrl &url, const QString &content,
                  NBELineEnding lineEnding = NBELineEnding::LF);
    // A file whose text was already taken into a buffer.
    NBESourceFile(const QUrl &url, std::shared_ptr<NBETextBuffer> buffer,
                  NBELineEnding lineEnding = NBELineEnding::LF);

    // The last path component: the tab title.
    QString name() const;
    // The whole current text, read from the buffer.
    QString content() const { return buffer ? buffer->text() : QString(); }
    // The same, shared by every reader of the buffer's current revision.
    QString snapshot() const { return buffer ? buffer->snapshot() : QString(); }
    bool isDirty() const { return isMissingOnDisk || (buffer && buffer->isDirty()); }
    // After a successful write or a reload from disk.
    void markSaved()
    {
        if (buffer)
            buffer->markSaved(buffer->revision());
    }
    // The text after the last dot of the name, as written; empty when none.
    QString fileExtension() const;

    bool operator==(const NBESourceFile &) const = default;
};
