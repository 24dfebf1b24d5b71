#include "NBEGitOutput.h"

#include "NBEFileService.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

constexpr QChar unitSeparator(0x1F);
constexpr QChar recordSeparator(0x1E);

} // namespace

QList<NBEGitFileChange> NBEGitOutput::parseStatus(const QString &porcelain, const QUrl &root)
{
    QString rootPath = root.toLocalFile();
    if (!rootPath.endsWith(u'/'))
        rootPath += u'/';
    QList<NBEGitFileChange> changes;
    const QList<QStringView> pieces = QStringView(porcelain).split(QChar(0), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < pieces.size();) {
        const QStringView piece = pieces[i];
        if (piece.size() < 3) {
            ++i;
            continue;
        }
        // "XY path": the letters and the blank are single bytes, so the path
        // starts at the fourth code unit whatever it begins with.
        const QChar index = piece[0];
        changes.append(NBEGitFileChange{QUrl::fromLocalFile(rootPath + piece.mid(3).toString()),
                                        index, piece[1]});
        i += (index == u'R' || index == u'C') ? 2 : 1;
    }
    return changes;
}

namespace {

// A record of "status --porcelain=v2 -z" output. A rename's record is
// followed by its source path, which is skipped like an empty record.
struct StatusRecord
{
    enum Kind { header, change, skipped };
    QByteArrayView bytes;
    qsizetype start = 0;
    Kind kind = header;
};

// Calls `visit` with each record, cut in place: a repository may list
// 50,000 of them.
template <typename Visit> void forEachRecord(QByteArrayView porcelain, Visit visit)
{
    bool sourcePathNext = false;
    for (qsizetype at = 0; at < porcelain.size();) {
        qsizetype end = porcelain.indexOf('\0', at);
        if (end < 0)
            end = porcelain.size();
        StatusRecord record{porcelain.sliced(at, end - at), at};
        at = end + 1;
        if (std::exchange(sourcePathNext, false) || record.bytes.isEmpty())
            record.kind = StatusRecord::skipped;
        else if (!record.bytes.startsWith("# "))
            record.kind = StatusRecord::change;
        sourcePathNext = record.kind == StatusRecord::change && record.bytes[0] == '2';
        visit(record);
    }
}

void readHeader(QByteArrayView record, NBEGitWorkingState &state, bool &initial)
{
    const qsizetype space = record.indexOf(' ', 2);
    const QByteArrayView key = record.sliced(2, (space < 0 ? record.size() : space) - 2);
    const QByteArrayView value = space < 0 ? QByteArrayView() : record.sliced(space + 1);
    if (key == "branch.oid") {
        initial = value == "(initial)";
        if (!initial)
            state.headSHA = QString::fromLatin1(value);
    } else if (key == "branch.head") {
        state.branch = QString::fromUtf8(value);
    } else if (key == "branch.ab") {
        const QList<QByteArray> counts = value.toByteArray().split(' ');
        bool aheadOK = false;
        bool behindOK = false;
        const int ahead = counts.value(0).mid(1).toInt(&aheadOK);
        const int behind = counts.value(1).mid(1).toInt(&behindOK);
        if (counts.size() == 2 && aheadOK && behindOK && ahead >= 0 && behind >= 0)
            state.aheadBehind = NBEGitAheadBehind{ahead, behind};
    }
}

// Where a changed file's record has its path; nothing when the record isn't
// one git writes.
std::optional<qsizetype> pathStart(QByteArrayView record)
{
    // The fields before the path: "1 XY sub mH mI mW hH hI path", "2 ...
    // Xscore path", "u XY sub m1 m2 m3 mW h1 h2 h3 path", "? path".
    int fields = 0;
    switch (record[0]) {
    case '1':
        fields = 8;
        break;
    case '2':
        fields = 9;
        break;
    case 'u':
        fields = 10;
        break;
    case '?':
        fields = 1;
        break;
    default:
        return std::nullopt;
    }
    qsizetype start = 0;
    for (int field = 0; field < fields && start >= 0; ++field) {
        start = record.indexOf(' ', start);
        if (start >= 0)
            ++start;
    }
    if (start <= 0 || start >= record.size())
        return std::nullopt;
    return start;
}

// The key path (NBEFileService::keyPath) of `absolute`, which is `path` as
// git printed it below the root. `rootPath` and `rootKey` end in "/".
QString keyOf(QByteArrayView path, const QString &absolute, const QString &rootPath,
              const QString &rootKey)
{
    // git writes clean relative paths, but for a nested repository's folder
    // ("dir/") and anything unusual the file service's own rule decides.
    bool plain = path.front() != '.' && path.back() != '/';
    for (qsizetype slash = path.indexOf('/'); plain && slash >= 0;
         slash = path.indexOf('/', slash + 1))
        plain = path[slash + 1] != '.' && path[slash + 1] != '/';
    if (!plain)
        return NBEFileService::keyPath(QUrl::fromLocalFile(absolute));
    return rootKey == rootPath ? absolute : rootKey + absolute.mid(rootPath.size());
}

struct ReadChange
{
    NBEGitFileChange change;
    QString key;
};

std::optional<ReadChange> readChange(QByteArrayView record, const QString &rootPath,
                                     const QString &rootKey)
{
    const std::optional<qsizetype> start = pathStart(record);
    if (!start)
        return std::nullopt;
    // Letters as the first porcelain format writes them: "." is unchanged.
    auto letter = [&](qsizetype at) {
        const char c = record.size() > at ? record[at] : '.';
        return c == '.' ? QChar(u' ') : QChar(QLatin1Char(c));
    };
    const bool untracked = record[0] == '?';
    const QByteArrayView path = record.sliced(*start);
    const QString absolute = rootPath + QString::fromUtf8(path);
    return ReadChange{{QUrl::fromLocalFile(absolute), untracked ? QChar(u'?') : letter(2),
                       untracked ? QChar(u'?') : letter(3)},
                      keyOf(path, absolute, rootPath, rootKey)};
}

// The key paths of the change records numbered [from, to).
QStringList changeKeys(QByteArrayView porcelain, qsizetype from, qsizetype to,
                       const QString &rootPath, const QString &rootKey)
{
    QStringList keys;
    qsizetype change = 0;
    forEachRecord(porcelain, [&](const StatusRecord &record) {
        if (record.kind != StatusRecord::change || change >= to || change++ < from)
            return;
        const QByteArrayView path = record.bytes.sliced(pathStart(record.bytes).value_or(0));
        keys.append(keyOf(path, rootPath + QString::fromUtf8(path), rootPath, rootKey));
    });
    return keys;
}

// The first status of a path wins.
void insertFirst(QHash<QString, NBEGitStatus> &statusByPath, const QString &key,
                 NBEGitStatus status)
{
    const qsizetype before = statusByPath.size();
    NBEGitStatus &slot = statusByPath[key];
    if (statusByPath.size() != before)
        slot = status;
}

QString withSlash(QString path)
{
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

// How many bytes two outputs share at their start and at their end. Blocks
// are compared whole first, as memcmp does it fastest.
std::pair<qsizetype, qsizetype> sharedEnds(QByteArrayView a, QByteArrayView b)
{
    constexpr qsizetype block = 4096;
    const qsizetype most = std::min(a.size(), b.size());
    qsizetype prefix = 0;
    while (prefix + block <= most && memcmp(a.data() + prefix, b.data() + prefix, block) == 0)
        prefix += block;
    while (prefix < most && a[prefix] == b[prefix])
        ++prefix;
    const char *aEnd = a.data() + a.size();
    const char *bEnd = b.data() + b.size();
    qsizetype suffix = 0;
    while (suffix + block <= most &&
           memcmp(aEnd - suffix - block, bEnd - suffix - block, block) == 0)
        suffix += block;
    while (suffix < most && aEnd[-suffix - 1] == bEnd[-suffix - 1])
        ++suffix;
    return {prefix, suffix};
}

// The records of one status run: its header, and the change records read
// afresh between those kept from the earlier run's start and end.
struct RecordsRead
{
    NBEGitWorkingState state;
    QList<NBEGitFileChange> fresh;
    QStringList freshKeys;
    qsizetype changeCount = 0;
    qsizetype keptFirst = 0;
    qsizetype keptLast = 0;
};

qsizetype countChanges(QByteArrayView porcelain)
{
    qsizetype count = 0;
    forEachRecord(porcelain, [&](const StatusRecord &record) {
        count += record.kind == StatusRecord::change;
    });
    return count;
}

// Reads the header and the changes the earlier run (when `reuse`) didn't
// print alike; nothing when a change record isn't one git writes.
std::optional<RecordsRead> readRecords(const QByteArray &porcelain, const NBEGitStatusRun &earlier,
                                       bool reuse, const QString &rootPath, const QString &rootKey)
{
    RecordsRead read;
    read.changeCount = countChanges(porcelain);
    // A change record that the earlier run printed alike, with every record
    // before it or with the ones before it that decide its kind and every
    // one after it, was read into the earlier change at the same place from
    // the start or from the end. The changes read afresh lie between those
    // kept from the start and those kept from the end.
    const auto [prefix, suffix] =
        reuse ? sharedEnds(porcelain, earlier.porcelain) : std::pair<qsizetype, qsizetype>();
    const qsizetype suffixStart = porcelain.size() - suffix;
    const qsizetype earlierCount = reuse ? earlier.changes.size() : 0;
    qsizetype previousStart = -1;
    qsizetype change = 0;
    bool initial = false;
    bool valid = true;
    // Whether a record is a change or a rename's source path depends on the
    // records before it, so one in the shared end counts as the earlier run's
    // only when that holds back to a record that can't be a rename.
    bool previousSettled = false;
    bool previousRename = false;
    forEachRecord(porcelain, [&](const StatusRecord &record) {
        const qsizetype before = std::exchange(previousStart, record.start);
        const bool settled = before > suffixStart && (!previousRename || previousSettled);
        previousSettled = settled;
        previousRename = !record.bytes.isEmpty() && record.bytes[0] == '2';
        if (record.kind == StatusRecord::header)
            readHeader(record.bytes, read.state, initial);
        if (record.kind != StatusRecord::change || !valid)
            return;
        const qsizetype fromEnd = read.changeCount - change;
        if (record.start + record.bytes.size() < prefix && change < earlierCount) {
            ++read.keptFirst;
        } else if (settled && fromEnd <= earlierCount - read.keptFirst) {
            ++read.keptLast;
        } else if (std::optional<ReadChange> fresh = readChange(record.bytes, rootPath, rootKey)) {
            read.fresh.append(std::move(fresh->change));
            read.freshKeys.append(std::move(fresh->key));
        } else {
            valid = false;
        }
        ++change;
    });
    if (!valid)
        return std::nullopt;
    // Before the first commit there is no branch to show, as for HEAD.
    if (initial)
        read.state.branch.reset();
    return read;
}

// The earlier changes kept at both ends around the fresh ones. The earlier
// list is changed in place: the caller may hand over one that nothing else
// shares.
QList<NBEGitFileChange> joinChanges(RecordsRead &read, QList<NBEGitFileChange> &earlier,
                                    qsizetype goneCount)
{
    if (read.keptFirst + read.keptLast == 0)
        return std::move(read.fresh);
    if (read.fresh.size() <= 64) {
        QList<NBEGitFileChange> changes = std::move(earlier);
        changes.remove(read.keptFirst, goneCount);
        for (qsizetype i = 0; i < read.fresh.size(); ++i)
            changes.insert(read.keptFirst + i, std::move(read.fresh[i]));
        return changes;
    }
    QList<NBEGitFileChange> changes;
    changes.reserve(read.changeCount);
    const auto kept = earlier.begin();
    const qsizetype earlierCount = earlier.size();
    std::move(kept, kept + read.keptFirst, std::back_inserter(changes));
    std::move(read.fresh.begin(), read.fresh.end(), std::back_inserter(changes));
    std::move(kept + earlierCount - read.keptLast, kept + earlierCount,
              std::back_inserter(changes));
    return changes;
}

// Moves the earlier map into `state` with the changes not kept leaving it
// and the fresh ones joining it; false (the map is then of no use) unless
// each of the earlier map's paths had one change and still has.
bool patchStatusMap(NBEGitWorkingState &state, NBEGitStatusRun &earlier, qsizetype earlierCount,
                    const RecordsRead &read, const QString &rootPath, const QString &rootKey)
{
    if (read.keptFirst + read.keptLast == 0 || earlier.statusByPath.size() != earlierCount)
        return false;
    const qsizetype goneCount = earlierCount - read.keptFirst - read.keptLast;
    state.statusByPath = std::move(earlier.statusByPath);
    const QStringList gone = goneCount > 0
                                 ? changeKeys(earlier.porcelain, read.keptFirst,
                                              read.keptFirst + goneCount, rootPath, rootKey)
                                 : QStringList();
    for (const QString &key : gone) {
        if (!state.statusByPath.remove(key))
            return false;
    }
    for (qsizetype i = 0; i < read.freshKeys.size(); ++i) {
        const QString &key = read.freshKeys[i];
        if (state.statusByPath.contains(key))
            return false;
        state.statusByPath.insert(key, state.changes[read.keptFirst + i].overallStatus());
    }
    return true;
}

// Each change's overall status by its key path, the first change of a path
// winning.
QHash<QString, NBEGitStatus> statusMap(const QList<NBEGitFileChange> &changes,
                                       const QStringList &keys)
{
    QHash<QString, NBEGitStatus> map;
    map.reserve(changes.size());
    for (qsizetype i = 0; i < changes.size(); ++i)
        insertFirst(map, keys[i], changes[i].overallStatus());
    return map;
}

} // namespace

std::optional<NBEGitWorkingState> NBEGitOutput::parseWorkingState(const QByteArray &porcelain,
                                                                  const QUrl &root,
                                                                  NBEGitStatusRun earlier)
{
    const QString rootPath = withSlash(root.toLocalFile());
    const QString rootKey = withSlash(NBEFileService::keyPath(root));
    const bool reuse = earlier.root == root && !earlier.porcelain.isEmpty();
    std::optional<RecordsRead> read = readRecords(porcelain, earlier, reuse, rootPath, rootKey);
    if (!read)
        return std::nullopt;
    NBEGitWorkingState state = std::move(read->state);
    const qsizetype earlierCount = reuse ? earlier.changes.size() : 0;
    const qsizetype goneCount = earlierCount - read->keptFirst - read->keptLast;
    if (reuse && goneCount == 0 && read->fresh.isEmpty()) {
        state.changes = std::move(earlier.changes);
        state.statusByPath = std::move(earlier.statusByPath);
        return state;
    }
    state.changes = joinChanges(*read, earlier.changes, goneCount);
    if (!patchStatusMap(state, earlier, earlierCount, *read, rootPath, rootKey))
        state.statusByPath = statusMap(
            state.changes, read->keptFirst + read->keptLast > 0
                               ? changeKeys(porcelain, 0, read->changeCount, rootPath, rootKey)
                               : read->freshKeys);
    return state;
}

std::optional<NBEGitAheadBehind> NBEGitOutput::parseAheadBehind(const QString &output)
{
    QList<int> numbers;
    static const QRegularExpression blanks(QStringLiteral("[\t ]+"));
    for (const QString &piece : output.split(blanks, Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = piece.toInt(&ok);
        // A count is never negative: "-3" is not one.
        if (ok && number >= 0)
            numbers.append(number);
    }
    if (numbers.size() != 2)
        return std::nullopt;
    return NBEGitAheadBehind{numbers[1], numbers[0]};
}

QList<NBEGitCommit> NBEGitOutput::parseLog(const QString &output)
{
    // Each record ends with 0x1E and git puts a line end between records.
    // A subject may itself hold 0x1E and 0x1F, runs of them too, but never a
    // line end, so only 0x1E before a line end (or at the end) closes a
    // record, and the subject takes every field between the two hashes and
    // the last two (author and date).
    QStringList records = output.split(recordSeparator + u'\n');
    if (!records.isEmpty() && records.last().endsWith(recordSeparator))
        records.last().chop(1);
    QList<NBEGitCommit> commits;
    for (const QString &record : records) {
        const QStringList fields = record.trimmed().split(unitSeparator);
        if (fields.size() < 5)
            continue;
        const qsizetype subjectEnd = fields.size() - 2;
        commits.append({fields[0], fields[1], fields.mid(2, subjectEnd - 2).join(unitSeparator),
                        fields[subjectEnd], fields[subjectEnd + 1]});
    }
    return commits;
}

QString NBEGitOutput::logFormat()
{
    QString format = QStringLiteral("--pretty=format:");
    const QStringList placeholders{QStringLiteral("%H"), QStringLiteral("%h"), QStringLiteral("%s"),
                                   QStringLiteral("%an"), QStringLiteral("%ar")};
    format += placeholders.join(unitSeparator);
    format += recordSeparator;
    return format;
}

QString NBEGitOutput::preparedMessage(const QString &text)
{
    QStringList kept;
    for (const QString &line : text.split(u'\n')) {
        if (!line.startsWith(u'#'))
            kept.append(line);
    }
    return kept.join(u'\n').trimmed();
}

QString NBEGitOutput::headline(const QString &error)
{
    // git's first line says what stopped it; the rest is advice.
    QString line = error.trimmed().section(u'\n', 0, 0).trimmed();
    for (const QLatin1String prefix : {QLatin1String("fatal: "), QLatin1String("error: ")}) {
        if (line.startsWith(prefix))
            line = line.mid(prefix.size());
    }
    if (!line.isEmpty())
        line[0] = line[0].toUpper();
    if (!line.isEmpty() && !line.endsWith(u'.'))
        line += u'.';
    return line;
}

std::optional<QString> NBEGitOutput::renameSource(const QString &nameStatus, const QString &path)
{
    const QStringList fields = nameStatus.split(QChar(0));
    for (qsizetype i = 0; i + 1 < fields.size();) {
        const bool renamed = fields[i].startsWith(u'R');
        const bool twoPaths = renamed || fields[i].startsWith(u'C');
        if (renamed && i + 2 < fields.size() && fields[i + 2] == path)
            return fields[i + 1];
        i += twoPaths ? 3 : 2;
    }
    return std::nullopt;
}

QStringList NBEGitOutput::entryFields(const QString &output)
{
    return output.section(u'\t', 0, 0).split(u' ', Qt::SkipEmptyParts);
}

QString NBEGitOutput::failureLine(const QByteArray &standardError, const QStringList &arguments)
{
    // An "error:" line before the "fatal:" one says only where git stumbled
    // ("bad signature 0x…"); the fatal one says what is wrong.
    const QStringList said =
        QString::fromUtf8(standardError).trimmed().split(u'\n', Qt::SkipEmptyParts);
    const auto fatal = std::find_if(said.cbegin(), said.cend(), [](const QString &line) {
        return line.startsWith(QLatin1String("fatal: "));
    });
    if (fatal != said.cend())
        return headline(*fatal);
    if (!said.isEmpty() && !said.first().trimmed().isEmpty())
        return headline(said.first());
    // The command's name: the first argument that isn't an option or the
    // value of a "-c".
    QString command = QStringLiteral("command");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("-c")) {
            ++i;
            continue;
        }
        if (!arguments[i].startsWith(u'-')) {
            command = arguments[i];
            break;
        }
    }
    return QCoreApplication::translate("NBEGitOutput", "git %1 failed.").arg(command);
}

QStringList NBEGitOutput::lines(const std::optional<QString> &output)
{
    if (!output)
        return {};
    return output->split(u'\n', Qt::SkipEmptyParts);
}

bool NBEGitOutput::mergeStoppedOnConflicts(const QString &output)
{
    return output.contains(QStringLiteral("conflict"), Qt::CaseInsensitive) ||
           output.contains(QStringLiteral("automatic merge failed"), Qt::CaseInsensitive);
}
