#include "NBEFileTreeNode.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// Names built from pieces that each challenge the order: case, accents and
// scripts beyond Latin-1 (a surrogate pair too), ASCII and other digits,
// leading zeros, numbers too long for 64 bits, dots, blanks and the empty
// name git gives a nested repository's folder. A language's collation puts
// another script's digit among ASCII ones, which compare by value, so
// "7" = "007" < "\u0663" < "7": no order agrees with that, and such a
// digit is left out there (`otherDigits`).
QStringList randomNames(int count, quint32 seed, bool otherDigits = true)
{
    QStringList pieces =
        QStringLiteral("a|A|b|file|File|.|.html| |-|_|0|7|007|10|2|99999999999999999999|"
                       "100000000000000000000|\u00e9|\u00c9t\u00e9|\u00df|ss|\u0663|\u03a9mega|"
                       "\u4e2d\u6587|\U0001F600|\uFF21|z")
            .split(u'|');
    if (!otherDigits)
        pieces.removeAll(QStringLiteral("\u0663"));
    QRandomGenerator random(seed);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QString name;
        const int length = int(random.bounded(5));
        for (int p = 0; p < length; ++p)
            name += pieces[random.bounded(pieces.size())];
        names.append(name);
    }
    return names;
}

// The order of many names at once equals sorting them one comparison at a
// time, equal names in their places' order; the keys made together compare
// as the names do.
void expectOrderOfManyEqualsComparisons(const QStringList &names)
{
    std::vector<qsizetype> expected(size_t(names.size()));
    for (size_t i = 0; i < expected.size(); ++i)
        expected[i] = qsizetype(i);
    std::stable_sort(expected.begin(), expected.end(), [&](qsizetype a, qsizetype b) {
        return NBEFileTreeNode::compareNames(names[a], names[b]) < 0;
    });
    const std::vector<NBEFileTreeNode::NameKey> keys = NBEFileTreeNode::nameKeys(names);
    std::vector<const NBEFileTreeNode::NameKey *> pointers;
    for (const NBEFileTreeNode::NameKey &key : keys)
        pointers.push_back(&key);
    const std::vector<qsizetype> order = NBEFileTreeNode::nameOrder(pointers);
    ASSERT_EQ(order.size(), expected.size());
    for (size_t i = 0; i < order.size(); ++i)
        ASSERT_EQ(order[i], expected[i]) << i << ": " << names[order[i]].toStdString() << " / "
                                         << names[expected[i]].toStdString();
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        ASSERT_EQ(NBEFileTreeNode::compareNameKeys(keys[size_t(i)], keys[size_t(i + 1)]),
                  NBEFileTreeNode::compareNames(names[i], names[i + 1]))
            << names[i].toStdString() << " / " << names[i + 1].toStdString();
    }
}

} // namespace

TEST(FileTreeNode, OrderOfManyNamesEqualsOneComparisonAtATime)
{
    for (quint32 seed = 1; seed <= 6; ++seed)
        expectOrderOfManyEqualsComparisons(randomNames(3000, seed));
}

// A language's collation (not the C one) puts accents and case beside
// their letters; the order of many still equals the comparisons.
TEST(FileTreeNode, OrderOfManyNamesEqualsComparisonsInALanguagesCollation)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // A new thread makes its collator with that locale.
    QThread *thread = QThread::create([] {
        EXPECT_LT(
            NBEFileTreeNode::compareNames(QStringLiteral("\u00e9t\u00e9"), QStringLiteral("f")), 0);
        for (quint32 seed = 11; seed <= 13; ++seed)
            expectOrderOfManyEqualsComparisons(randomNames(3000, seed, false));
    });
    thread->start();
    thread->wait();
    delete thread;
    QLocale::setDefault(before);
}
