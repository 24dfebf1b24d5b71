#pragma once

#include <QCollatorSortKey>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <optional>
#include <span>
#include <vector>

// One item of a project folder. Children are always held in tree order:
// folders first, then names as a file browser orders them.
struct NBEFileTreeNode
{
    QUuid id;
    QUrl url;
    QString name;
    bool isDirectory = false;
    QList<NBEFileTreeNode> children;
    bool isExpanded = false;
    // Why a folder couldn't be listed (it then has no children); empty when
    // it was.
    QString readError;

    NBEFileTreeNode() = default;
    // Gives a fresh id, takes the name from the URL and sorts the children.
    NBEFileTreeNode(const QUrl &url, bool isDirectory, QList<NBEFileTreeNode> children = {});
    // The same, for a caller that already knows the name (a folder walk).
    NBEFileTreeNode(const QUrl &url, const QString &name, bool isDirectory,
                    QList<NBEFileTreeNode> children);

    bool operator==(const NBEFileTreeNode &) const = default;

    bool isUnreadable() const { return !readError.isEmpty(); }
    // The folders below this one that couldn't be listed, in tree order.
    QList<const NBEFileTreeNode *> unreadableFolders() const;

    // Tree order: whether `a` comes before `b`.
    static bool precedes(const NBEFileTreeNode &a, const NBEFileTreeNode &b);

    // File-browser name order: case-insensitive, locale-aware, digit runs by
    // value ("file2" before "file10") whatever the locale, also C/POSIX.
    static int compareNames(const QString &a, const QString &b);
    // A name's place in that order, worked out once for sorting many: the
    // name cut into runs of digits and of other characters, each with its
    // collation key (case-folded, so C/POSIX still ignores case); digit
    // runs also compare by value, so only one that begins the name keeps
    // its collation key (another meets text only after equal runs of
    // different kinds, and its key is worked out then).
    struct NameKey
    {
        struct Run
        {
            bool digits;
            qsizetype start;
            qsizetype length;
            std::optional<QCollatorSortKey> text;
        };
        QString name;
        std::vector<Run> runs;
    };
    static NameKey nameKey(const QString &name);
    // The keys of many names; the collation key of a run several names
    // share is worked out once.
    static std::vector<NameKey> nameKeys(const QStringList &names);
    static int compareNameKeys(const NameKey &a, const NameKey &b);
    // The places of `keys` in name order, equal names in their places'
    // order: the keys' runs are ranked once, so that most comparisons
    // compare numbers.
    static std::vector<qsizetype> nameOrder(std::span<const NameKey *const> keys);

    // Puts nodes into tree order, stably.
    static void sortIntoTreeOrder(QList<NBEFileTreeNode> &nodes);
};
