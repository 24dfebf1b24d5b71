#include "NBEFileTreeNode.h"

#include <QCollator>
#include <QHash>
#include <QRandomGenerator>

#include <algorithm>
#include <vector>

namespace {

const QCollator &nameCollator()
{
    // QCollator is not safe to share between threads; one per thread.
    thread_local const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(false);
        return c;
    }();
    return collator;
}

// A random (version 4) id without a system call per node: a large tree
// needs tens of thousands of them at once.
QUuid freshId()
{
    thread_local QRandomGenerator64 generator = [] {
        quint32 seed[8];
        QRandomGenerator::system()->fillRange(seed);
        return QRandomGenerator64(seed, 8);
    }();
    const quint64 high = generator.generate64();
    const quint64 low = generator.generate64();
    uchar bytes[16];
    for (int i = 0; i < 8; ++i) {
        bytes[i] = uchar(high >> (8 * i));
        bytes[8 + i] = uchar(low >> (8 * i));
    }
    bytes[6] = (bytes[6] & 0x0f) | 0x40;
    bytes[8] = (bytes[8] & 0x3f) | 0x80;
    return QUuid::fromRfc4122(QByteArrayView(reinterpret_cast<const char *>(bytes), 16));
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Compares two runs of ASCII digits by value: fewer significant digits is smaller.
int compareNumbers(QStringView a, QStringView b)
{
    auto significant = [](QStringView run) {
        qsizetype zeros = 0;
        while (zeros + 1 < run.size() && run[zeros] == QLatin1Char('0'))
            ++zeros;
        return run.mid(zeros);
    };
    const QStringView x = significant(a);
    const QStringView y = significant(b);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    const int c = x.compare(y);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

NBEFileTreeNode::NBEFileTreeNode(const QUrl &url, bool isDirectory, QList<NBEFileTreeNode> children)
    : NBEFileTreeNode(url, url.fileName(), isDirectory, std::move(children))
{}

NBEFileTreeNode::NBEFileTreeNode(const QUrl &url, const QString &name, bool isDirectory,
                                 QList<NBEFileTreeNode> children)
    : id(freshId())
    , url(url)
    , name(name)
    , isDirectory(isDirectory)
    , children(std::move(children))
{
    sortIntoTreeOrder(this->children);
}

bool NBEFileTreeNode::precedes(const NBEFileTreeNode &a, const NBEFileTreeNode &b)
{
    if (a.isDirectory != b.isDirectory)
        return a.isDirectory;
    return compareNames(a.name, b.name) < 0;
}

namespace {

QCollatorSortKey runKey(QStringView run)
{
    return nameCollator().sortKey(run.toString().toCaseFolded());
}

// The name's runs, with the collation keys `keyOf` gives.
template <typename KeyOf> NBEFileTreeNode::NameKey keyWith(const QString &name, KeyOf keyOf)
{
    NBEFileTreeNode::NameKey key;
    key.name = name;
    qsizetype i = 0;
    while (i < name.size()) {
        const bool digits = isDigit(name[i]);
        qsizetype end = i;
        while (end < name.size() && isDigit(name[end]) == digits)
            ++end;
        std::optional<QCollatorSortKey> text;
        if (!digits || i == 0)
            text = keyOf(QStringView(name).mid(i, end - i));
        key.runs.push_back({digits, i, end - i, std::move(text)});
        i = end;
    }
    return key;
}

QStringView runText(const NBEFileTreeNode::NameKey &key, const NBEFileTreeNode::NameKey::Run &run)
{
    return QStringView(key.name).mid(run.start, run.length);
}

int compareRuns(const NBEFileTreeNode::NameKey &a, const NBEFileTreeNode::NameKey::Run &x,
                const NBEFileTreeNode::NameKey &b, const NBEFileTreeNode::NameKey::Run &y)
{
    if (x.digits && y.digits)
        return compareNumbers(runText(a, x), runText(b, y));
    const int c = x.text && y.text ? x.text->compare(*y.text)
                                   : runKey(runText(a, x)).compare(runKey(runText(b, y)));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

NBEFileTreeNode::NameKey NBEFileTreeNode::nameKey(const QString &name)
{
    return keyWith(name, runKey);
}

std::vector<NBEFileTreeNode::NameKey> NBEFileTreeNode::nameKeys(const QStringList &names)
{
    // Views into `names`, which outlive the loop.
    QHash<QStringView, QCollatorSortKey> known;
    const auto keyOf = [&](QStringView run) {
        auto found = known.constFind(run);
        if (found == known.cend())
            found = known.insert(run, runKey(run));
        return *found;
    };
    std::vector<NameKey> keys;
    keys.reserve(size_t(names.size()));
    for (const QString &name : names)
        keys.push_back(keyWith(name, keyOf));
    return keys;
}

int NBEFileTreeNode::compareNameKeys(const NameKey &a, const NameKey &b)
{
    const size_t common = std::min(a.runs.size(), b.runs.size());
    for (size_t i = 0; i < common; ++i) {
        if (const int c = compareRuns(a, a.runs[i], b, b.runs[i]))
            return c;
    }
    if (a.runs.size() == b.runs.size())
        return 0;
    return a.runs.size() < b.runs.size() ? -1 : 1;
}

std::vector<qsizetype> NBEFileTreeNode::nameOrder(std::span<const NameKey *const> keys)
{
    // Each run as numbers: a digit run's value (when it fits), and the rank
    // of its collation key among the distinct run texts of all the names.
    struct Run
    {
        quint64 value = 0;
        quint32 rank = 0;
        bool digits = false;
        bool fits = false;
        bool ranked = false;
    };
    std::vector<Run> runs;
    std::vector<size_t> firstRun;
    firstRun.reserve(keys.size() + 1);
    std::vector<qsizetype> textOf;
    QHash<QStringView, qsizetype> textIds;
    std::vector<const QCollatorSortKey *> texts;
    for (const NameKey *key : keys) {
        firstRun.push_back(runs.size());
        for (const NameKey::Run &run : key->runs) {
            Run number;
            number.digits = run.digits;
            if (run.digits) {
                QStringView digits = runText(*key, run);
                while (digits.size() > 1 && digits.front() == u'0')
                    digits = digits.sliced(1);
                // 19 digits always fit in 64 bits.
                number.fits = digits.size() <= 19;
                for (qsizetype i = 0; number.fits && i < digits.size(); ++i)
                    number.value = number.value * 10 + quint64(digits[i].unicode() - u'0');
            }
            qsizetype text = -1;
            if (run.text) {
                auto found = textIds.constFind(runText(*key, run));
                if (found == textIds.cend()) {
                    found = textIds.insert(runText(*key, run), qsizetype(texts.size()));
                    texts.push_back(&*run.text);
                }
                text = *found;
                number.ranked = true;
            }
            textOf.push_back(text);
            runs.push_back(number);
        }
    }
    firstRun.push_back(runs.size());
    // Texts whose keys compare equal ("New" and "new") share a rank.
    std::vector<qsizetype> byKey(texts.size());
    for (size_t i = 0; i < byKey.size(); ++i)
        byKey[i] = qsizetype(i);
    std::sort(byKey.begin(), byKey.end(),
              [&](qsizetype a, qsizetype b) { return texts[a]->compare(*texts[b]) < 0; });
    std::vector<quint32> rankOf(texts.size());
    quint32 rank = 0;
    for (size_t i = 0; i < byKey.size(); ++i) {
        if (i > 0 && texts[byKey[i - 1]]->compare(*texts[byKey[i]]) != 0)
            ++rank;
        rankOf[byKey[i]] = rank;
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        if (textOf[i] >= 0)
            runs[i].rank = rankOf[textOf[i]];
    }
    std::vector<qsizetype> order(keys.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = qsizetype(i);
    // Stable, and merging never leaves the list whatever the comparisons
    // say: another script's digits among ASCII ones make the name order
    // itself disagree with itself.
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const size_t aFirst = firstRun[a];
        const size_t bFirst = firstRun[b];
        const size_t aCount = firstRun[a + 1] - aFirst;
        const size_t bCount = firstRun[b + 1] - bFirst;
        for (size_t i = 0; i < std::min(aCount, bCount); ++i) {
            const Run &x = runs[aFirst + i];
            const Run &y = runs[bFirst + i];
            int c = 0;
            if (x.digits && y.digits && x.fits && y.fits)
                c = x.value < y.value ? -1 : (x.value > y.value ? 1 : 0);
            else if (!(x.digits && y.digits) && x.ranked && y.ranked)
                c = x.rank < y.rank ? -1 : (x.rank > y.rank ? 1 : 0);
            else
                c = compareRuns(*keys[a], keys[a]->runs[i], *keys[b], keys[b]->runs[i]);
            if (c != 0)
                return c < 0;
        }
        return aCount < bCount;
    });
    return order;
}

int NBEFileTreeNode::compareNames(const QString &a, const QString &b)
{
    return compareNameKeys(nameKey(a), nameKey(b));
}

void NBEFileTreeNode::sortIntoTreeOrder(QList<NBEFileTreeNode> &nodes)
{
    if (nodes.size() < 2)
        return;
    // Keys once per node instead of once per comparison.
    std::vector<NameKey> keys;
    keys.reserve(size_t(nodes.size()));
    for (const NBEFileTreeNode &node : nodes)
        keys.push_back(nameKey(node.name));
    std::vector<qsizetype> order(size_t(nodes.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = qsizetype(i);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        if (nodes[a].isDirectory != nodes[b].isDirectory)
            return nodes[a].isDirectory;
        return compareNameKeys(keys[size_t(a)], keys[size_t(b)]) < 0;
    });
    QList<NBEFileTreeNode> sorted;
    sorted.reserve(nodes.size());
    for (qsizetype index : order)
        sorted.append(std::move(nodes[index]));
    nodes = std::move(sorted);
}

QList<const NBEFileTreeNode *> NBEFileTreeNode::unreadableFolders() const
{
    QList<const NBEFileTreeNode *> found;
    for (const NBEFileTreeNode &child : children) {
        if (child.isUnreadable())
            found.append(&child);
        found.append(child.unreadableFolders());
    }
    return found;
}
