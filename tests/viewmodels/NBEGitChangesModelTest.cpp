// The changes list as a model, following the git state of real
// repositories.
#include "NBEGitChangesModel.h"
#include "NBEGitState.h"
#include "NBETestSupport.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class GitChangesModel : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("repo"));
    NBEGitService service;
    NBEGitState state{service};

    void SetUp() override { QDir().mkpath(root); }
    void git(const QStringList &args) { NBETest::git(root, args); }
    void write(const QString &name, const QByteArray &text)
    {
        NBETest::writeFile(QDir(root).filePath(name), text);
    }
    void refresh() { NBETest::await(NBETest::refreshIn(state, QUrl::fromLocalFile(root))); }

    // Each row as "<section title>" or "<S|C> folder/name <letter>".
    static QStringList listed(const NBEGitChangesModel &model)
    {
        QStringList lines;
        for (int i = 0; i < model.rowCount(); ++i) {
            const NBEGitChangeRow row = model.row(i);
            const QString shown = model.data(model.index(i), Qt::DisplayRole).toString();
            if (!row.isFile()) {
                lines.append(shown + u' ' + QString::number(row.count));
                continue;
            }
            const QString side =
                row.kind == NBEGitChangeRow::Kind::stagedFile ? QStringLiteral("S") : u"C"_qs;
            const QString path = row.folder.isEmpty() ? shown : row.folder + u'/' + shown;
            lines.append(side + u' ' + path + u' ' + QString::number(int(row.status)));
        }
        return lines;
    }
};

QString status(NBEGitStatus status)
{
    return QString::number(int(status));
}

} // namespace

TEST_F(GitChangesModel, ListsEachSideUnderItsSectionAndFollowsTheState)
{
    NBEGitChangesModel model(state);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 0);

    git({"init", "-q", "-b", "main"});
    write(QStringLiteral("a.html"), "a\n");
    write(QStringLiteral("css/b.css"), "b\n");
    git({"add", "."});
    git({"commit", "-q", "-m", "first"});
    write(QStringLiteral("a.html"), "staged\n");
    git({"add", "a.html"});
    write(QStringLiteral("a.html"), "and more\n");
    write(QStringLiteral("css/b.css"), "changed\n");
    write(QStringLiteral("new.js"), "new\n");

    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    refresh();
    EXPECT_EQ(inserts.size(), 1);
    EXPECT_EQ(listed(model), (QStringList{
                                 u"Staged Changes 1"_qs,
                                 u"S a.html "_qs + status(NBEGitStatus::modified),
                                 u"Changes 3"_qs,
                                 u"C a.html "_qs + status(NBEGitStatus::modified),
                                 u"C css/b.css "_qs + status(NBEGitStatus::modified),
                                 u"C new.js "_qs + status(NBEGitStatus::untracked),
                             }));
    EXPECT_EQ(model.data(model.index(1), Qt::ToolTipRole).toString(),
              QDir(root).filePath(QStringLiteral("a.html")));
    EXPECT_EQ(model.data(model.index(0), Qt::ToolTipRole).toString(), QString());
    EXPECT_EQ(model.row(0).actions(), QList{NBEGitChangeRow::Action::unstageAll});
    EXPECT_EQ(model.row(3).actions(),
              (QList{NBEGitChangeRow::Action::stage, NBEGitChangeRow::Action::discard}));

    // A refresh that finds the same changes leaves the rows alone.
    QSignalSpy any(&model, &QAbstractItemModel::dataChanged);
    refresh();
    EXPECT_EQ(inserts.size(), 1);
    EXPECT_TRUE(any.isEmpty());

    git({"add", "-A"});
    refresh();
    EXPECT_EQ(listed(model), (QStringList{
                                 u"Staged Changes 3"_qs,
                                 u"S a.html "_qs + status(NBEGitStatus::modified),
                                 u"S css/b.css "_qs + status(NBEGitStatus::modified),
                                 u"S new.js "_qs + status(NBEGitStatus::added),
                             }));

    git({"commit", "-q", "-m", "second"});
    refresh();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.row(5), NBEGitChangeRow());
}

TEST_F(GitChangesModel, ConflictsComeFirst)
{
    git({"init", "-q", "-b", "main"});
    write(QStringLiteral("page.html"), "one\n");
    git({"add", "."});
    git({"commit", "-q", "-m", "first"});
    write(QStringLiteral("notes.txt"), "notes\n");
    git({"add", "."});
    git({"commit", "-q", "-m", "notes"});
    NBETest::startConflictingMerge(root, QStringLiteral("page.html"));
    write(QStringLiteral("notes.txt"), "edited\n");
    refresh();

    NBEGitChangesModel model(state);
    EXPECT_EQ(listed(model), (QStringList{
                                 u"Merge Changes 1"_qs,
                                 u"C page.html "_qs + status(NBEGitStatus::conflicted),
                                 u"Changes 1"_qs,
                                 u"C notes.txt "_qs + status(NBEGitStatus::modified),
                             }));
    EXPECT_TRUE(model.row(0).actions().isEmpty());
}

// A repository of its own inside the project comes as one folder entry:
// its row is named after the folder, so no question about it names nothing.
TEST_F(GitChangesModel, ANestedRepositoryIsListedByItsFolderName)
{
    git({"init", "-q", "-b", "main"});
    write(QStringLiteral("page.html"), "one\n");
    git({"add", "."});
    git({"commit", "-q", "-m", "first"});
    const QString nested = QDir(root).filePath(QStringLiteral("lib/vendor"));
    QDir().mkpath(nested);
    NBETest::git(nested, {"init", "-q"});
    NBETest::writeFile(nested + QStringLiteral("/x.js"), "x\n");
    NBETest::git(nested, {"add", "."});
    NBETest::git(nested, {"commit", "-q", "-m", "x"});
    refresh();

    NBEGitChangesModel model(state);
    EXPECT_EQ(listed(model), (QStringList{
                                 u"Changes 1"_qs,
                                 u"C lib/vendor "_qs + status(NBEGitStatus::untracked),
                             }));
}

// Bursts of changes from outside, refreshed while earlier refreshes still
// run: the rows a view follows through the model's signals, and the model's
// own, always equal those of a fresh read.
TEST_F(GitChangesModel, FollowsBurstsOfChangesLikeAFreshRead)
{
    git({"init", "-q", "-b", "main"});
    for (int i = 0; i < 40; ++i)
        write(QStringLiteral("f%1.txt").arg(i, 2, 10, QChar(u'0')), "a\n");
    git({"add", "."});
    git({"commit", "-q", "-m", "first"});
    NBEGitChangesModel model(state);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QStringList mirror;
    const auto shown = [&](int i) {
        const NBEGitChangeRow row = model.row(i);
        return row.name + u' ' + row.folder + u' ' + QString::number(int(row.kind)) + u' ' +
               QString::number(int(row.status)) + u' ' + QString::number(row.count);
    };
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &model,
                     [&](const QModelIndex &, int first, int last) {
                         for (int i = first; i <= last; ++i)
                             mirror.insert(i, shown(i));
                     });
    QObject::connect(
        &model, &QAbstractItemModel::rowsRemoved, &model,
        [&](const QModelIndex &, int first, int last) { mirror.remove(first, last - first + 1); });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &model,
                     [&](const QModelIndex &from, const QModelIndex &to) {
                         for (int i = from.row(); i <= to.row(); ++i)
                             mirror[i] = shown(i);
                     });
    QObject::connect(&model, &QAbstractItemModel::modelReset, &model, [&] {
        mirror.clear();
        for (int i = 0; i < model.rowCount(); ++i)
            mirror.append(shown(i));
    });

    QRandomGenerator random(11);
    for (int burst = 0; burst < 12; ++burst) {
        QList<QFuture<void>> refreshes;
        for (int change = random.bounded(1, 6); change > 0; --change) {
            const QString name =
                QStringLiteral("f%1.txt").arg(random.bounded(50), 2, 10, QChar(u'0'));
            switch (random.bounded(4)) {
            case 0:
                write(name, QByteArray::number(random.generate()) + "\n");
                break;
            case 1:
                QFile::remove(QDir(root).filePath(name));
                break;
            case 2:
                NBETest::run(QStringLiteral("/usr/bin/git"), {"add", "-A", "--", name}, root);
                break;
            default:
                NBETest::run(QStringLiteral("/usr/bin/git"), {"reset", "-q", "--", name}, root);
            }
            refreshes.append(NBETest::refreshIn(state, QUrl::fromLocalFile(root)));
        }
        for (const QFuture<void> &refreshed : refreshes)
            NBETest::await(refreshed);
        NBEGitService freshService;
        NBEGitState fresh(freshService);
        NBETest::await(NBETest::refreshIn(fresh, QUrl::fromLocalFile(root)));
        NBEGitChangesModel freshModel(fresh);
        ASSERT_EQ(model.rows(), freshModel.rows()) << "burst " << burst;
        QStringList rows;
        for (int i = 0; i < model.rowCount(); ++i)
            rows.append(shown(i));
        ASSERT_EQ(mirror, rows) << "burst " << burst;
    }
}
