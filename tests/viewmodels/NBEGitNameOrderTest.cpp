#include "NBEGitNameOrder.h"
#include "NBEGitChangesModel.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <algorithm>

// An order made from the previous one equals one made afresh, whatever
// came and went: equal names stay in git's order. The rows built from it,
// reusing those of the changes that stayed, equal rows built afresh.
TEST(NBEGitNameOrder, AnUpdatedOrderEqualsAFreshOne)
{
    const QStringList names{"index.html",       "Index.html", "a2.css",  "a10.css",
                            "A1.css",           "b.txt",      "file 07", "file 7",
                            "\u00e9t\u00e9.md", "10.md",      "2.md",    "vendor/"};
    const QString letters = QStringLiteral(" M?ADU");
    QRandomGenerator random(54);
    const auto burst = [&](int count) {
        QList<NBEGitFileChange> changes;
        for (int i = 0; i < count; ++i) {
            NBEGitFileChange change;
            change.url = QUrl::fromLocalFile(QStringLiteral("/r/d%1/").arg(random.bounded(6)) +
                                             names[random.bounded(names.size())]);
            change.index = letters[random.bounded(letters.size())];
            change.worktree = change.index == u'?' ? u'?' : u'M';
            changes.append(change);
        }
        // git lists files by path (the same file once).
        std::sort(changes.begin(), changes.end(),
                  [](const auto &a, const auto &b) { return a.url.path() < b.url.path(); });
        changes.erase(std::unique(changes.begin(), changes.end(),
                                  [](const auto &a, const auto &b) { return a.url == b.url; }),
                      changes.end());
        return changes;
    };
    const QUrl root = QUrl::fromLocalFile(QStringLiteral("/r"));
    NBEGitNameOrder order = NBEGitNameOrder::of(burst(40));
    QList<NBEGitChangeRow> rows = NBEGitChangesModel::rowsFor(order.changes, root);
    for (int turn = 0; turn < 200; ++turn) {
        // Some of the last changes stay, some go, some change sides, new
        // ones come; now and then only a few change.
        const bool few = turn % 3 == 0;
        QList<NBEGitFileChange> next = burst(int(random.bounded(few ? 3 : 60)));
        for (NBEGitFileChange change : std::as_const(order.changes)) {
            if (random.bounded(few ? 20 : 3) == 0 ||
                std::any_of(next.cbegin(), next.cend(),
                            [&](const auto &other) { return other.url == change.url; }))
                continue;
            if (random.bounded(few ? 20 : 5) == 0)
                change.index = change.index == u'M' ? u' ' : u'M';
            next.append(change);
        }
        std::sort(next.begin(), next.end(),
                  [](const auto &a, const auto &b) { return a.url.path() < b.url.path(); });
        const NBEGitNameOrder fresh = NBEGitNameOrder::of(next);
        QList<NBEGitFileChange> compared = next;
        std::stable_sort(compared.begin(), compared.end(), [](const auto &a, const auto &b) {
            return NBEFileTreeNode::compareNames(a.url.fileName(), b.url.fileName()) < 0;
        });
        ASSERT_EQ(fresh.changes, compared) << turn;
        const NBEGitNameOrder previous =
            std::exchange(order, NBEGitNameOrder::updated(order, next));
        ASSERT_EQ(order.changes, fresh.changes) << turn;
        rows = NBEGitChangesModel::rowsFor(order, root, previous, rows);
        ASSERT_EQ(rows, NBEGitChangesModel::rowsFor(fresh.changes, root)) << turn;
        ASSERT_EQ(order.keys.size(), order.changes.size());
        for (qsizetype i = 0; i < order.keys.size(); ++i)
            EXPECT_EQ(order.keys[i]->name, order.changes[i].url.fileName());
    }
    EXPECT_TRUE(NBEGitNameOrder::updated(order, {}).changes.isEmpty());
}
