#include "NBEFileTreeNode.h"

#include <QCollator>
#include <QFileInfo>

#include <algorithm>

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
    : id(QUuid::createUuid())
    , url(url)
    , name(QFileInfo(url.toLocalFile()).fileName())
    , isDirectory(isDirectory)
    , children(std::move(children))
{
    if (name.isEmpty())
        name = url.fileName();
    std::stable_sort(this->children.begin(), this->children.end(), &NBEFileTreeNode::precedes);
}

bool NBEFileTreeNode::precedes(const NBEFileTreeNode &a, const NBEFileTreeNode &b)
{
    if (a.isDirectory != b.isDirectory)
        return a.isDirectory;
    return compareNames(a.name, b.name) < 0;
}

int NBEFileTreeNode::compareNames(const QString &a, const QString &b)
{
    // Split both names into runs of digits and of other characters; digit
    // runs compare by value, other runs through the locale's collation of
    // their case-folded text (so C/POSIX still ignores case).
    const QCollator &collator = nameCollator();
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitsA = isDigit(a[i]);
        const bool digitsB = isDigit(b[j]);
        qsizetype endA = i;
        while (endA < a.size() && isDigit(a[endA]) == digitsA)
            ++endA;
        qsizetype endB = j;
        while (endB < b.size() && isDigit(b[endB]) == digitsB)
            ++endB;
        const QStringView runA = QStringView(a).mid(i, endA - i);
        const QStringView runB = QStringView(b).mid(j, endB - j);
        int c = 0;
        if (digitsA && digitsB) {
            c = compareNumbers(runA, runB);
        } else {
            c = collator.compare(runA.toString().toCaseFolded(), runB.toString().toCaseFolded());
        }
        if (c != 0)
            return c < 0 ? -1 : 1;
        i = endA;
        j = endB;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}
