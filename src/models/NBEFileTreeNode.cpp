#include "NBEFileTreeNode.h"

#include <QCollator>
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

NBEFileTreeNode::NameKey NBEFileTreeNode::nameKey(const QString &name)
{
    const QCollator &collator = nameCollator();
    NameKey key;
    key.name = name;
    qsizetype i = 0;
    while (i < name.size()) {
        const bool digits = isDigit(name[i]);
        qsizetype end = i;
        while (end < name.size() && isDigit(name[end]) == digits)
            ++end;
        const QStringView run = QStringView(name).mid(i, end - i);
        key.runs.push_back({digits, i, end - i, collator.sortKey(run.toString().toCaseFolded())});
        i = end;
    }
    return key;
}

int NBEFileTreeNode::compareNameKeys(const NameKey &a, const NameKey &b)
{
    const size_t common = std::min(a.runs.size(), b.runs.size());
    for (size_t i = 0; i < common; ++i) {
        const NameKey::Run &x = a.runs[i];
        const NameKey::Run &y = b.runs[i];
        const int c = x.digits && y.digits
                          ? compareNumbers(QStringView(a.name).mid(x.start, x.length),
                                           QStringView(b.name).mid(y.start, y.length))
                          : x.text.compare(y.text);
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    if (a.runs.size() == b.runs.size())
        return 0;
    return a.runs.size() < b.runs.size() ? -1 : 1;
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
