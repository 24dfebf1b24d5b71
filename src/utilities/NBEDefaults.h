#pragma once

#include "NBEError.h"

#include <QHash>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The one settings store. Values keep their type across processes (a saved
// false reads back as a bool, a one-element list as a list), keys are kept
// whole ("nbe.commitDraft./repo" and "nbe.commitDraft./repo/" stay apart),
// every write replaces the file atomically under a lock, and a value of the
// wrong type reads as absent so the caller's default applies. A file that
// can't be read or parsed is never written over: it is moved aside and
// `problem` says so once. Found so at the start, the store runs on
// defaults; broken while it runs, the store keeps the values it had and
// the next write saves them.
class NBEDefaults : public QObject
{
    Q_OBJECT

public:
    enum class Type { Bool, Int, Double, String, StringList };

    // The process-wide store in the application's configuration folder.
    static NBEDefaults &shared();

    // A store kept in `filePath` (tests and tools).
    explicit NBEDefaults(const QString &filePath, QObject *parent = nullptr);

    QString filePath() const { return m_filePath; }

    std::optional<bool> boolValue(const QString &key) const;
    std::optional<qint64> intValue(const QString &key) const;
    std::optional<double> doubleValue(const QString &key) const;
    std::optional<QString> stringValue(const QString &key) const;
    std::optional<QStringList> stringListValue(const QString &key) const;

    bool boolValue(const QString &key, bool fallback) const;
    qint64 intValue(const QString &key, qint64 fallback) const;
    double doubleValue(const QString &key, double fallback) const;
    QString stringValue(const QString &key, const QString &fallback) const;
    QStringList stringListValue(const QString &key, const QStringList &fallback) const;

    bool contains(const QString &key) const;
    QStringList keys() const;

    // The sentence about a settings file that couldn't be read, once found.
    std::optional<QString> problem() const;

    // Writes return false (and change nothing) when the file can't be written;
    // `writeFailed` then says why.
    bool setBool(const QString &key, bool value);
    bool setInt(const QString &key, qint64 value);
    bool setDouble(const QString &key, double value);
    bool setString(const QString &key, const QString &value);
    bool setStringList(const QString &key, const QStringList &value);
    bool remove(const QString &key);

Q_SIGNALS:
    // Emitted after a write through this object, and for keys another process
    // changed, once a read here notices the file moved on.
    void valueChanged(const QString &key);
    // The settings file couldn't be read; `sentence` says so and where the
    // file was kept. Emitted once per file set aside.
    void problemFound(const QString &sentence);
    // A write of `key` failed; `sentence` is for the place it was changed.
    void writeFailed(const QString &key, const QString &sentence);

private:
    struct Entry
    {
        Type type;
        QVariant value;
        bool operator==(const Entry &) const = default;
    };

    std::optional<Entry> entry(const QString &key) const;
    bool write(const QString &key, const std::optional<Entry> &entry);
    // `document`, when given, receives the file as parsed, with what this
    // version doesn't understand.
    NBEResult<QHash<QString, Entry>> load(QJsonObject *document = nullptr) const;
    // The values on disk; a file that can't be read is moved aside first.
    // Fails when it can't be moved, so nothing writes over it.
    // `setAside` is set when a broken file was moved aside.
    NBEResult<QHash<QString, Entry>> loadOrSetAsideLocked(QJsonObject *document = nullptr,
                                                          bool *setAside = nullptr) const;
    static QJsonObject itemFor(const Entry &entry);
    void refreshLocked() const;
    bool failWriteAfter(QMutexLocker<QMutex> &locker, const QString &key, const QString &reason);
    void announce(const QHash<QString, Entry> &before, const QHash<QString, Entry> &after) const;

    QString m_filePath;
    mutable QMutex m_mutex;
    mutable QHash<QString, Entry> m_cache;
    struct Stamp
    {
        qint64 inode = -1, seconds = 0, nanoseconds = 0, size = -1;
        bool operator==(const Stamp &) const = default;
    };
    Stamp stamp() const;
    mutable Stamp m_stamp;
    mutable bool m_loaded = false;
    mutable std::optional<QString> m_problem;
    // A read set the broken file aside: the next write saves every value
    // the store runs with, not only its own.
    mutable bool m_runningValuesUnsaved = false;
};
