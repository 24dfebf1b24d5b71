#pragma once

#include "NBEActor.h"
#include "NBEDiskStamp.h"
#include "NBEError.h"
#include "NBEFileTreeNode.h"
#include "NBELineEnding.h"

#include <QCoreApplication>
#include <QFuture>
#include <QString>
#include <QUrl>

#include <optional>

// A file's text as the editor holds it: "\n" line breaks, plus the ending the
// file had on disk so a save writes it back unchanged.
struct NBETextFile
{
    QString text;
    NBELineEnding lineEnding = NBELineEnding::LF;
    // The file began with a UTF-8 byte-order mark. It is no character of the
    // text (nothing can be typed before it) and a save writes it back first.
    bool byteOrderMark = false;
    // The file as read; nothing for text that didn't come from a file.
    std::optional<NBEDiskStamp> stamp;
    bool operator==(const NBETextFile &) const = default;
};

// How the file on disk compares with what a tab last read or wrote.
enum class NBEDiskChange { None, Changed, Vanished };

// Where a deleted item went.
enum class NBEDeletion { Trashed, NoTrash };

// What a tab knows of its file, for a check against the disk.
struct NBEDiskKnowledge
{
    // Nothing: what the file held isn't known, so it can't have changed.
    std::optional<NBEDiskStamp> stamp;
    // The tab already knows the file is gone, so its absence is no change.
    bool missing = false;
};

// A checked write: the file's new stamp, or the change that stopped it.
struct NBEWritten
{
    NBEDiskChange change = NBEDiskChange::None;
    // Nothing written: the file is the user's own but read-only, replaced
    // only when they say so.
    bool readOnly = false;
    NBEDiskStamp stamp;
};

// Every file-system operation of a project window. Operations run one at a
// time off the main thread and report through futures; failures carry a
// sentence for the user. The *Now functions are the same work, synchronous.
class NBEFileService
{
    Q_DECLARE_TR_FUNCTIONS(NBEFileService)

public:
    QFuture<NBEResult<NBEFileTreeNode>> buildFileTree(const QUrl &at);
    // Whether a read's stamp comes with the digest of the text (Later: the
    // caller takes it, e.g. beside other work on the same text).
    enum class Digest { Now, Later };
    QFuture<NBEResult<NBETextFile>> readFile(const QUrl &at, Digest digest = Digest::Now);
    QFuture<NBEResult<void>> writeFile(const QString &content, const QUrl &to,
                                       NBELineEnding lineEnding = NBELineEnding::LF,
                                       bool byteOrderMark = false);
    // Writes only when the file is still as `known` says, checked in the same
    // turn as the write (nothing: writes anyway); otherwise writes nothing and
    // answers the change found. A read-only file of the user's own is
    // answered as such unless `replaceReadOnly`.
    QFuture<NBEResult<NBEWritten>> writeFileChecked(const QString &content, const QUrl &to,
                                                    NBELineEnding lineEnding,
                                                    const std::optional<NBEDiskKnowledge> &known,
                                                    bool byteOrderMark = false,
                                                    bool replaceReadOnly = false);
    QFuture<NBEDiskChange> diskChange(const QUrl &file, const NBEDiskKnowledge &known);
    // Never replaces an existing item.
    QFuture<NBEResult<void>> createFile(const QUrl &at, const QString &content);
    QFuture<NBEResult<void>> createDirectory(const QUrl &at);
    // Moves the item to the freedesktop trash. `NoTrash` when no trash could
    // take it (the item is untouched then).
    QFuture<NBEResult<NBEDeletion>> trash(const QUrl &at);
    // Removes the item for good.
    QFuture<NBEResult<void>> delete_(const QUrl &at);
    // Renames within the item's folder; refuses a bad name or an existing target.
    QFuture<NBEResult<QUrl>> rename(const QUrl &at, const QString &to);
    // Moves to the full destination; never replaces an existing target.
    QFuture<NBEResult<void>> move(const QUrl &at, const QUrl &to);

    static NBEResult<NBEFileTreeNode> buildFileTreeNow(const QString &folder);
    static NBEResult<NBETextFile> readFileNow(const QString &path);
    // A file the user may not write is refused ("… is not writable.");
    // `replaceReadOnly` replaces it when it is their own, keeping its mode.
    // Nobody else's file is ever made the user's.
    static NBEResult<void> writeFileNow(const QString &content, const QString &path,
                                        NBELineEnding lineEnding = NBELineEnding::LF,
                                        bool byteOrderMark = false, bool replaceReadOnly = false);
    // Compares texts where size and time can't tell, so a touched but equal
    // file is unchanged. A file that can no longer be read, or whose
    // identity, owner or mode differ, is changed.
    static NBEDiskChange diskChangeNow(const QString &path, const NBEDiskKnowledge &known);
    // The file's size and time now, without a digest; nothing when it can't
    // be seen.
    static std::optional<NBEDiskStamp> statNow(const QString &path);
    static NBEResult<void> createFileNow(const QString &path, const QString &content);
    static NBEResult<void> createDirectoryNow(const QString &path);
    static NBEResult<void> deleteNow(const QString &path);
    static NBEResult<NBEDeletion> trashNow(const QString &path);
    static NBEResult<QString> renameNow(const QString &path, const QString &newName);
    static NBEResult<void> moveNow(const QString &path, const QString &destination);

    // A name typed by the user for a new or renamed item: refuses an empty
    // name, ".", "..", and names holding "/" or NUL.
    static NBEResult<void> checkName(const QString &name);

    // Decodes file bytes as UTF-8, refusing anything that isn't valid UTF-8.
    static NBEResult<NBETextFile> decode(const QByteArray &bytes, const QString &displayName);
    // The bytes a save writes for the text: its line ending, and the mark
    // first when the file had one.
    static QByteArray encode(const QString &text, NBELineEnding lineEnding, bool byteOrderMark);

    // A name listed from bytes that aren't UTF-8: it came out with U+FFFD in
    // their place and can't be spelled back, so nothing by that path exists.
    static bool isUnspellable(const QString &path);

    // The cleaned absolute local path that keys maps of locations.
    static QString keyPath(const QUrl &url);

private:
    NBEActor m_actor;
    // Reads and tree walks: after the changes asked for before them, but in
    // a queue of their own, so a read that blocks never holds up a save.
    NBEActor m_reader;
};
