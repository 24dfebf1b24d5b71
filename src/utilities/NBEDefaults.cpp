#include "NBEDefaults.h"

#include "NBEReplaceFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QMetaObject>
#include <QStandardPaths>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every scalar is stored as text with its type tag: JSON numbers can't tell an
// integer from a double, nor hold NaN, and 64-bit integers lose precision.
QString typeName(NBEDefaults::Type type)
{
    switch (type) {
    case NBEDefaults::Type::Bool:
        return QStringLiteral("bool");
    case NBEDefaults::Type::Int:
        return QStringLiteral("int");
    case NBEDefaults::Type::Double:
        return QStringLiteral("double");
    case NBEDefaults::Type::String:
        return QStringLiteral("string");
    case NBEDefaults::Type::StringList:
        return QStringLiteral("stringList");
    }
    return {};
}

QString doubleText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return QString::number(value, 'g', 17);
}

std::optional<double> parseDouble(const QString &text)
{
    if (text == QLatin1String("nan"))
        return std::nan("");
    if (text == QLatin1String("inf"))
        return INFINITY;
    if (text == QLatin1String("-inf"))
        return -INFINITY;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

QString reasonFor(int error)
{
    return lowerFirst(QString::fromLocal8Bit(std::strerror(error)));
}

QString lockFailure(QLockFile::LockError error)
{
    switch (error) {
    case QLockFile::LockFailedError:
        return QStringLiteral("another process kept the settings file locked");
    case QLockFile::PermissionError:
        return QStringLiteral("the settings folder can't be written");
    default:
        return QStringLiteral("the settings file's lock couldn't be taken");
    }
}

} // namespace

QJsonObject NBEDefaults::itemFor(const Entry &entry)
{
    QJsonObject item;
    item.insert(QStringLiteral("type"), typeName(entry.type));
    switch (entry.type) {
    case Type::Bool:
        item.insert(QStringLiteral("value"),
                    entry.value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        break;
    case Type::Int:
        item.insert(QStringLiteral("value"), QString::number(entry.value.toLongLong()));
        break;
    case Type::Double:
        item.insert(QStringLiteral("value"), doubleText(entry.value.toDouble()));
        break;
    case Type::String:
        item.insert(QStringLiteral("value"), entry.value.toString());
        break;
    case Type::StringList:
        item.insert(QStringLiteral("value"),
                    QJsonArray::fromStringList(entry.value.toStringList()));
        break;
    }
    return item;
}

NBEDefaults::Stamp NBEDefaults::stamp() const
{
    // Every write replaces the file, so a new inode or time means new content.
    struct stat info;
    if (::stat(QFile::encodeName(m_filePath).constData(), &info) != 0)
        return {};
    return {static_cast<qint64>(info.st_ino), static_cast<qint64>(info.st_mtim.tv_sec),
            static_cast<qint64>(info.st_mtim.tv_nsec), static_cast<qint64>(info.st_size)};
}

NBEDefaults &NBEDefaults::shared()
{
    static NBEDefaults *store = [] {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
        auto *defaults = new NBEDefaults(folder + QStringLiteral("/settings.json"));
        if (auto *app = QCoreApplication::instance())
            defaults->moveToThread(app->thread());
        return defaults;
    }();
    return *store;
}

NBEDefaults::NBEDefaults(const QString &filePath, QObject *parent)
    : QObject(parent)
    , m_filePath(filePath)
{}

NBEResult<QHash<QString, NBEDefaults::Entry>> NBEDefaults::load(QJsonObject *document) const
{
    QHash<QString, Entry> result;
    const QByteArray native = QFile::encodeName(m_filePath);
    struct stat info;
    if (::stat(native.constData(), &info) != 0) {
        if (errno == ENOENT)
            return result;
        return nbeFailure(reasonFor(errno));
    }
    if (S_ISDIR(info.st_mode))
        return nbeFailure(reasonFor(EISDIR));
    // A pipe or device would hold the read, and with it the editor's start,
    // for as long as nobody writes to it.
    if (!S_ISREG(info.st_mode))
        return nbeFailure(QStringLiteral("it isn't a regular file"));
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return nbeFailure(lowerFirst(file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return nbeFailure(lowerFirst(file.errorString()));
    // A file cut to nothing held nothing to keep.
    if (bytes.trimmed().isEmpty())
        return result;
    QJsonParseError parsed;
    const QJsonDocument parsedDocument = QJsonDocument::fromJson(bytes, &parsed);
    if (parsed.error != QJsonParseError::NoError)
        return nbeFailure(
            tr("it isn't valid JSON: %1 at byte %2").arg(parsed.errorString()).arg(parsed.offset));
    const QJsonValue valuesValue = parsedDocument.object().value(QStringLiteral("values"));
    if (!parsedDocument.isObject() || !(valuesValue.isObject() || valuesValue.isUndefined()))
        return nbeFailure(tr("it doesn't hold settings"));
    if (document)
        *document = parsedDocument.object();
    const QJsonObject values = valuesValue.toObject();
    for (auto it = values.begin(); it != values.end(); ++it) {
        const QJsonObject item = it.value().toObject();
        const QString type = item.value(QStringLiteral("type")).toString();
        const QJsonValue raw = item.value(QStringLiteral("value"));
        if (type == QLatin1String("bool") && raw.isString()) {
            result.insert(it.key(), {Type::Bool, raw.toString() == QLatin1String("true")});
        } else if (type == QLatin1String("int") && raw.isString()) {
            bool ok = false;
            const qint64 value = raw.toString().toLongLong(&ok);
            if (ok)
                result.insert(it.key(), {Type::Int, value});
        } else if (type == QLatin1String("double") && raw.isString()) {
            if (auto value = parseDouble(raw.toString()))
                result.insert(it.key(), {Type::Double, *value});
        } else if (type == QLatin1String("string") && raw.isString()) {
            result.insert(it.key(), {Type::String, raw.toString()});
        } else if (type == QLatin1String("stringList") && raw.isArray()) {
            QStringList list;
            for (const QJsonValue &element : raw.toArray())
                list.append(element.toString());
            result.insert(it.key(), {Type::StringList, list});
        }
    }
    return result;
}

NBEResult<QHash<QString, NBEDefaults::Entry>>
NBEDefaults::loadOrSetAsideLocked(QJsonObject *document, bool *setAside) const
{
    auto loaded = load(document);
    if (loaded)
        return loaded;
    const QString name = QFileInfo(m_filePath).fileName();
    const QString why = loaded.error().description;
    // Kept under a name that says what it is, never overwriting an older one.
    const QString stem = QFileInfo(m_filePath).completeBaseName();
    const QString suffix = QFileInfo(m_filePath).suffix();
    const QString when =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh.mm.ss"));
    int error = EEXIST;
    QString aside;
    for (int n = 1; error == EEXIST && n < 100; ++n) {
        aside = QFileInfo(m_filePath)
                    .dir()
                    .filePath(QStringLiteral("%1 (unreadable %2%3)%4")
                                  .arg(stem, when, n > 1 ? QStringLiteral(" %1").arg(n) : QString(),
                                       suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));
        error = nbeRenameNoReplace(m_filePath, aside);
    }
    // Another process moved it first: what is there now is what counts.
    if (error == ENOENT)
        return load(document);
    QString sentence;
    if (error == 0 && m_loaded) {
        // Broken while the editor ran: what it runs with is what the next
        // write saves.
        sentence = tr("The settings file couldn't be read (%1), so the editor keeps "
                      "the settings it is running with and saves them anew; the file "
                      "was kept as “%2”.")
                       .arg(why, QFileInfo(aside).fileName());
    } else if (error == 0) {
        sentence = tr("The settings file couldn't be read (%1), so the editor is using "
                      "the default settings; the file was kept as “%2”.")
                       .arg(why, QFileInfo(aside).fileName());
    } else {
        sentence = tr("The settings file “%1” couldn't be read (%2) nor moved aside "
                      "(%3), so the editor is using the default settings and won't "
                      "save changes to them.")
                       .arg(name, why, reasonFor(error));
    }
    if (sentence != m_problem) {
        m_problem = sentence;
        auto *self = const_cast<NBEDefaults *>(this);
        QMetaObject::invokeMethod(
            self, [self, sentence] { Q_EMIT self->problemFound(sentence); }, Qt::QueuedConnection);
    }
    if (error == 0) {
        if (setAside)
            *setAside = true;
        return QHash<QString, Entry>();
    }
    return nbeFailure(tr("the settings file “%1” couldn't be read (%2)").arg(name, why));
}

std::optional<QString> NBEDefaults::problem() const
{
    QMutexLocker locker(&m_mutex);
    refreshLocked();
    return m_problem;
}

void NBEDefaults::refreshLocked() const
{
    const Stamp current = stamp();
    if (m_loaded && current == m_stamp)
        return;
    bool setAside = false;
    auto loaded = loadOrSetAsideLocked(nullptr, &setAside);
    // A file set aside is gone; a broken one left in place is not read again
    // until it changes. Either way what was known is kept.
    m_stamp = stamp();
    const bool wasLoaded = std::exchange(m_loaded, true);
    if (setAside && wasLoaded)
        m_runningValuesUnsaved = true;
    if (!loaded || (setAside && wasLoaded))
        return;
    const QHash<QString, Entry> before = m_cache;
    m_cache = std::move(*loaded);
    if (wasLoaded)
        announce(before, m_cache);
}

void NBEDefaults::announce(const QHash<QString, Entry> &before,
                           const QHash<QString, Entry> &after) const
{
    QStringList changed;
    for (auto it = after.begin(); it != after.end(); ++it) {
        if (!before.contains(it.key()) || !(before.value(it.key()) == it.value()))
            changed.append(it.key());
    }
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            changed.append(it.key());
    }
    // Signals go out from the object's thread, after the lock is released.
    auto *self = const_cast<NBEDefaults *>(this);
    for (const QString &key : changed) {
        QMetaObject::invokeMethod(
            self, [self, key] { Q_EMIT self->valueChanged(key); }, Qt::QueuedConnection);
    }
}

std::optional<NBEDefaults::Entry> NBEDefaults::entry(const QString &key) const
{
    QMutexLocker locker(&m_mutex);
    refreshLocked();
    const auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd())
        return std::nullopt;
    return *it;
}

bool NBEDefaults::failWriteAfter(QMutexLocker<QMutex> &locker, const QString &key,
                                 const QString &reason)
{
    // The signal goes out once the mutex is released: a listener may read back.
    locker.unlock();
    Q_EMIT writeFailed(key, tr("The setting couldn't be saved: %1.").arg(reason));
    return false;
}

bool NBEDefaults::write(const QString &key, const std::optional<Entry> &newEntry)
{
    {
        QMutexLocker locker(&m_mutex);
        const QFileInfo info(m_filePath);
        if (!QDir().mkpath(info.absolutePath()))
            return failWriteAfter(
                locker, key,
                tr("the settings folder “%1” couldn't be made").arg(info.absolutePath()));
        // The lock keeps two processes from losing each other's writes.
        QLockFile lock(m_filePath + QStringLiteral(".lock"));
        lock.setStaleLockTime(10000);
        if (!lock.tryLock(5000))
            return failWriteAfter(locker, key, lockFailure(lock.error()));

        // The file is changed in place: entries and fields this version
        // doesn't know (a newer one wrote them) are written back as found.
        QJsonObject root;
        bool setAside = false;
        auto loaded = loadOrSetAsideLocked(&root, &setAside);
        if (!loaded)
            return failWriteAfter(locker, key, loaded.error().description);
        QHash<QString, Entry> values = std::move(*loaded);
        QJsonObject object = root.value(QStringLiteral("values")).toObject();
        // The file broke while the editor ran: it writes the values it runs
        // with, not an empty set.
        if ((setAside && m_loaded) || m_runningValuesUnsaved) {
            values.insert(m_cache);
            for (auto it = values.cbegin(); it != values.cend(); ++it)
                object.insert(it.key(), itemFor(it.value()));
        }
        if (newEntry) {
            values.insert(key, *newEntry);
            object.insert(key, itemFor(*newEntry));
        } else {
            values.remove(key);
            object.remove(key);
        }
        if (!root.contains(QStringLiteral("version")))
            root.insert(QStringLiteral("version"), 1);
        root.insert(QStringLiteral("values"), object);

        // A settings file made read-only is the user's way of keeping it
        // as it is: the replacement below would need only the folder.
        if (::access(QFile::encodeName(m_filePath).constData(), W_OK) != 0 && errno == EACCES)
            return failWriteAfter(locker, key,
                                  tr("“%1” is not writable").arg(QFileInfo(m_filePath).fileName()));
        if (auto replaced =
                nbeReplaceFile(m_filePath, QJsonDocument(root).toJson(QJsonDocument::Indented));
            !replaced)
            return failWriteAfter(locker, key, replaced.error().description);

        // Take in what other processes wrote meanwhile and announce those keys;
        // our own key is announced at once, below.
        QHash<QString, Entry> before = m_cache;
        const bool changed = !m_loaded || before.contains(key) != values.contains(key) ||
                             !(before.value(key) == values.value(key));
        before.remove(key);
        QHash<QString, Entry> othersAfter = values;
        othersAfter.remove(key);
        if (m_loaded)
            announce(before, othersAfter);
        m_cache = values;
        m_stamp = stamp();
        m_loaded = true;
        m_runningValuesUnsaved = false;
        if (!changed)
            return true;
    }
    Q_EMIT valueChanged(key);
    return true;
}

std::optional<bool> NBEDefaults::boolValue(const QString &key) const
{
    const auto e = entry(key);
    return e && e->type == Type::Bool ? std::optional<bool>(e->value.toBool()) : std::nullopt;
}

std::optional<qint64> NBEDefaults::intValue(const QString &key) const
{
    const auto e = entry(key);
    return e && e->type == Type::Int ? std::optional<qint64>(e->value.toLongLong()) : std::nullopt;
}

std::optional<double> NBEDefaults::doubleValue(const QString &key) const
{
    const auto e = entry(key);
    return e && e->type == Type::Double ? std::optional<double>(e->value.toDouble()) : std::nullopt;
}

std::optional<QString> NBEDefaults::stringValue(const QString &key) const
{
    const auto e = entry(key);
    return e && e->type == Type::String ? std::optional<QString>(e->value.toString())
                                        : std::nullopt;
}

std::optional<QStringList> NBEDefaults::stringListValue(const QString &key) const
{
    const auto e = entry(key);
    return e && e->type == Type::StringList ? std::optional<QStringList>(e->value.toStringList())
                                            : std::nullopt;
}

bool NBEDefaults::boolValue(const QString &key, bool fallback) const
{
    return boolValue(key).value_or(fallback);
}

qint64 NBEDefaults::intValue(const QString &key, qint64 fallback) const
{
    return intValue(key).value_or(fallback);
}

double NBEDefaults::doubleValue(const QString &key, double fallback) const
{
    return doubleValue(key).value_or(fallback);
}

QString NBEDefaults::stringValue(const QString &key, const QString &fallback) const
{
    return stringValue(key).value_or(fallback);
}

QStringList NBEDefaults::stringListValue(const QString &key, const QStringList &fallback) const
{
    return stringListValue(key).value_or(fallback);
}

bool NBEDefaults::contains(const QString &key) const
{
    return entry(key).has_value();
}

QStringList NBEDefaults::keys() const
{
    QMutexLocker locker(&m_mutex);
    refreshLocked();
    QStringList result = m_cache.keys();
    result.sort();
    return result;
}

bool NBEDefaults::setBool(const QString &key, bool value)
{
    return write(key, Entry{Type::Bool, value});
}

bool NBEDefaults::setInt(const QString &key, qint64 value)
{
    return write(key, Entry{Type::Int, value});
}

bool NBEDefaults::setDouble(const QString &key, double value)
{
    return write(key, Entry{Type::Double, value});
}

bool NBEDefaults::setString(const QString &key, const QString &value)
{
    return write(key, Entry{Type::String, value});
}

bool NBEDefaults::setStringList(const QString &key, const QStringList &value)
{
    return write(key, Entry{Type::StringList, value});
}

bool NBEDefaults::remove(const QString &key)
{
    return write(key, std::nullopt);
}
