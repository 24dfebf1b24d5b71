// The tabs' owner on its own, against a real temporary folder: what each
// operation does to the tabs and the disk, and which signal says so.
#include "NBEDiagnosticsStore.h"
#include "NBEEditorDocument.h"
#include "NBEGitState.h"
#include "NBEHTMLValidation.h"
#include "NBEWorkspaceFixture.h"
#include "NBEWorkspaceLanguageServers.h"
#include "NBEWorkspaceSaving.h"
#include "NBEWorkspaceTabs.h"

#include <QRegularExpression>

using namespace std::chrono_literals;

namespace {

class WorkspaceTabs : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    NBEDefaults settings{dir.filePath(QStringLiteral("settings.json"))};
    NBEPreferences preferences{settings};
    std::shared_ptr<NBETestDesktop> desktop = std::make_shared<NBETestDesktop>();
    NBEFileService files;
    NBEWorkspaceLanguageServers servers{[](const QString &) { return std::nullopt; }, std::nullopt};
    NBEDiagnosticsStore diagnostics;
    NBEHTMLValidation validation{diagnostics, 20ms};
    NBEGitService gitService;
    NBEGitState git{gitService};
    int gitRefreshes = 0;
    std::unique_ptr<NBEWorkspaceTabs> tabs;
    std::unique_ptr<NBEWorkspaceSaving> saving;

    // What the owner announced, in order: the signal's name and the tab it
    // names, if any.
    QStringList heard;

    void SetUp() override
    {
        NBEWorkspaceTimings timings;
        timings.autoSaveDelayScale = 0.1;
        QObject::connect(&git, &NBEGitState::refreshed, [this] { ++gitRefreshes; });
        tabs = std::make_unique<NBEWorkspaceTabs>(files, desktop, preferences, servers, diagnostics,
                                                  validation);
        saving = std::make_unique<NBEWorkspaceSaving>(*tabs, files, desktop, preferences, servers,
                                                      git, timings);
        tabs->setFolderOpen(true);
        auto note = [this](const char *name) {
            return [this, name](const QUuid &id) {
                heard.append(QLatin1String(name) + u' ' + this->name(id));
            };
        };
        QObject::connect(tabs.get(), &NBEWorkspaceTabs::tabsChanged,
                         [this] { heard.append(QStringLiteral("tabs")); });
        QObject::connect(tabs.get(), &NBEWorkspaceTabs::tabContentChanged, note("content"));
        QObject::connect(tabs.get(), &NBEWorkspaceTabs::cursorPositionChanged, note("cursor"));
        QObject::connect(tabs.get(), &NBEWorkspaceTabs::failed, [this](const QString &message) {
            heard.append(QStringLiteral("failed ") + message);
        });
        QObject::connect(tabs.get(), &NBEWorkspaceTabs::noticed, [this](const QString &message) {
            heard.append(QStringLiteral("noticed ") + message);
        });
        QObject::connect(saving.get(), &NBEWorkspaceSaving::failed, [this](const QString &message) {
            heard.append(QStringLiteral("failed ") + message);
        });
        QObject::connect(
            saving.get(), &NBEWorkspaceSaving::noticed,
            [this](const QString &message) { heard.append(QStringLiteral("noticed ") + message); });
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    QUrl url(const QString &name) const { return QUrl::fromLocalFile(path(name)); }
    void write(const QString &name, const QByteArray &bytes)
    {
        NBETest::writeFile(path(name), bytes);
    }
    QString name(const QUuid &id) const
    {
        const NBEOpenTab *tab = tabs->find(id);
        return tab ? tab->sourceFile.url.fileName() : QStringLiteral("?");
    }
    QUuid openFile(const QString &name, bool asPreview = false)
    {
        NBETest::await(tabs->openFile(url(name), asPreview));
        return tabs->activeTabID().value_or(QUuid());
    }
    QStringList order() const
    {
        QStringList names;
        for (const NBEOpenTab &tab : tabs->tabs())
            names.append(tab.sourceFile.url.fileName());
        return names;
    }
    QStringList take() { return std::exchange(heard, {}); }
};

} // namespace

TEST_F(WorkspaceTabs, EachStepAnnouncesTabsOnlyWhenTheyChanged)
{
    write(QStringLiteral("a.txt"), "a");
    write(QStringLiteral("b.txt"), "b");
    write(QStringLiteral("c.txt"), "c");
    const QUuid a = openFile(QStringLiteral("a.txt"));
    EXPECT_EQ(take(), QStringList{QStringLiteral("tabs")});
    const QUuid b = openFile(QStringLiteral("b.txt"));
    openFile(QStringLiteral("c.txt"));
    take();

    struct Step
    {
        const char *name;
        std::function<void()> apply;
        QStringList order;
        QString active;
        int announcements;
    };
    const QList<Step> steps{
        {"open the active file again",
         [&] { openFile(QStringLiteral("c.txt")); },
         {"a.txt", "b.txt", "c.txt"},
         "c.txt",
         0},
        {"activate another",
         [&] { tabs->setActiveTab(a); },
         {"a.txt", "b.txt", "c.txt"},
         "a.txt",
         1},
        {"activate it again",
         [&] { tabs->setActiveTab(a); },
         {"a.txt", "b.txt", "c.txt"},
         "a.txt",
         0},
        {"move", [&] { tabs->moveTab(0, 2); }, {"b.txt", "c.txt", "a.txt"}, "a.txt", 1},
        {"move out of range",
         [&] { tabs->moveTab(5, 0); },
         {"b.txt", "c.txt", "a.txt"},
         "a.txt",
         0},
        {"close the active one",
         [&] { NBETest::await(tabs->closeTab(a)); },
         {"b.txt", "c.txt"},
         "c.txt",
         1},
        {"close an unknown one",
         [&] { NBETest::await(tabs->closeTab(QUuid::createUuid())); },
         {"b.txt", "c.txt"},
         "c.txt",
         0},
        {"close the others",
         [&] { NBETest::await(tabs->closeOtherTabs(b)); },
         {"b.txt"},
         "b.txt",
         1},
        {"close all", [&] { NBETest::await(tabs->closeAllTabs()); }, {}, {}, 1},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        step.apply();
        EXPECT_EQ(order(), step.order);
        EXPECT_EQ(tabs->activeTab() ? tabs->activeTab()->sourceFile.url.fileName() : QString(),
                  step.active);
        EXPECT_EQ(take().count(QStringLiteral("tabs")), step.announcements);
    }
    EXPECT_FALSE(tabs->clear());
    openFile(QStringLiteral("a.txt"));
    take();
    EXPECT_TRUE(tabs->clear());
    EXPECT_EQ(take(), QStringList{QStringLiteral("tabs")});

    // Without a folder nothing opens.
    tabs->setFolderOpen(false);
    openFile(QStringLiteral("a.txt"));
    EXPECT_TRUE(tabs->tabs().isEmpty());
    EXPECT_TRUE(take().isEmpty());
}

TEST_F(WorkspaceTabs, EditsAndCaretsNameTheirTabAndAPreviewTypedIntoIsKept)
{
    write(QStringLiteral("a.txt"), "a");
    write(QStringLiteral("b.txt"), "b");
    const QUuid a = openFile(QStringLiteral("a.txt"));
    const QUuid b = openFile(QStringLiteral("b.txt"), true);
    ASSERT_TRUE(tabs->find(b)->isEphemeral);
    take();

    tabs->updateContent(QStringLiteral("b2"), b);
    // Kept, then edited; then dirty.
    EXPECT_EQ(take(), (QStringList{QStringLiteral("tabs"), QStringLiteral("content b.txt"),
                                   QStringLiteral("tabs")}));
    EXPECT_FALSE(tabs->find(b)->isEphemeral);
    tabs->updateContent(QStringLiteral("b2"), b);
    EXPECT_TRUE(take().isEmpty());
    tabs->updateCursorPosition(3, 4, a);
    tabs->updateCursorPosition(3, 4, a);
    EXPECT_EQ(take(),
              (QStringList{QStringLiteral("cursor a.txt"), QStringLiteral("cursor a.txt")}));
    EXPECT_EQ(tabs->document(a)->caret(), (NBECursorPosition{3, 4}));

    // A preview open replaces the preview in place, keeping its id.
    write(QStringLiteral("c.txt"), "c");
    const QUuid c = openFile(QStringLiteral("c.txt"), true);
    const QUuid d = openFile(QStringLiteral("a.txt"), true);
    EXPECT_EQ(d, a);
    write(QStringLiteral("e.txt"), "e");
    EXPECT_EQ(openFile(QStringLiteral("e.txt"), true), c);
    EXPECT_EQ(order(), (QStringList{"a.txt", "b.txt", "e.txt"}));
}

TEST_F(WorkspaceTabs, SavingWritesTheDiskRefreshesGitAndSaysWhatFailed)
{
    write(QStringLiteral("a.txt"), "a");
    const QUuid a = openFile(QStringLiteral("a.txt"));
    tabs->updateContent(QStringLiteral("a2"), a);
    take();
    EXPECT_TRUE(NBETest::await(saving->saveTab(a, true)));
    EXPECT_EQ(NBETest::readFile(path(QStringLiteral("a.txt"))), "a2");
    EXPECT_FALSE(tabs->find(a)->sourceFile.isDirty());
    EXPECT_EQ(gitRefreshes, 1);
    EXPECT_EQ(take(), QStringList{QStringLiteral("tabs")});
    // Nothing to save: nothing written, nothing refreshed.
    EXPECT_FALSE(NBETest::await(saving->saveTab(a, false)));
    EXPECT_EQ(gitRefreshes, 1);

    tabs->updateContent(QStringLiteral("a3"), a);
    QFile::remove(path(QStringLiteral("a.txt")));
    QDir().mkpath(path(QStringLiteral("a.txt")));
    take();
    EXPECT_FALSE(NBETest::await(saving->saveTab(a, true)));
    const QStringList failure = take();
    ASSERT_EQ(failure.size(), 1);
    EXPECT_TRUE(failure.first().startsWith(QStringLiteral("failed Failed to save: ")));
    EXPECT_TRUE(tabs->find(a)->sourceFile.isDirty());
    EXPECT_EQ(tabs->unsavedTexts().size(), 1);
}

TEST_F(WorkspaceTabs, AfterDelayAutoSaveWritesOnceTheEditsRest)
{
    settings.setString(QStringLiteral("nbe.autoSaveMode"), QStringLiteral("afterDelay"));
    settings.setDouble(QStringLiteral("nbe.autoSaveDelay"), 0.5);
    write(QStringLiteral("a.txt"), "a");
    const QUuid a = openFile(QStringLiteral("a.txt"));
    tabs->updateContent(QStringLiteral("a1"), a);
    tabs->updateContent(QStringLiteral("a2"), a);
    ASSERT_TRUE(NBETest::waitUntil([&] { return !tabs->find(a)->sourceFile.isDirty(); }));
    EXPECT_EQ(NBETest::readFile(path(QStringLiteral("a.txt"))), "a2");
    EXPECT_EQ(gitRefreshes, 1);
}

TEST_F(WorkspaceTabs, FilesChangedOnDiskAreFollowedUnlessEditsWait)
{
    write(QStringLiteral("clean.txt"), "old");
    write(QStringLiteral("edited.txt"), "old");
    write(QStringLiteral("gone.txt"), "old");
    const QUuid clean = openFile(QStringLiteral("clean.txt"));
    const QUuid edited = openFile(QStringLiteral("edited.txt"));
    const QUuid gone = openFile(QStringLiteral("gone.txt"));
    tabs->updateContent(QStringLiteral("mine"), edited);
    QThread::msleep(20);
    write(QStringLiteral("clean.txt"), "new");
    write(QStringLiteral("edited.txt"), "theirs");
    QFile::remove(path(QStringLiteral("gone.txt")));
    take();

    NBETest::await(saving->followDisk({}));
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return tabs->find(clean)->sourceFile.content() == QStringLiteral("new"); }));
    EXPECT_FALSE(tabs->find(clean)->sourceFile.isDirty());
    EXPECT_EQ(tabs->find(edited)->sourceFile.content(), QStringLiteral("mine"));
    EXPECT_TRUE(tabs->find(gone)->sourceFile.isMissingOnDisk);
    EXPECT_TRUE(take().contains(QStringLiteral("content clean.txt")));

    // An automatic save skips the newer file and says so once.
    EXPECT_FALSE(NBETest::await(saving->saveTab(edited, false)));
    EXPECT_FALSE(NBETest::await(saving->saveTab(edited, false)));
    EXPECT_EQ(take(),
              QStringList{QStringLiteral(
                  "noticed “edited.txt” changed on disk, so it wasn't saved automatically.")});
    EXPECT_EQ(NBETest::readFile(path(QStringLiteral("edited.txt"))), "theirs");
}

// A clean tab can't follow a file that is no longer UTF-8 text: it keeps its
// text and says why, once until it shows the file again.
TEST_F(WorkspaceTabs, AFileThatCanNoLongerBeReadIsSaidOnce)
{
    write(QStringLiteral("page.html"), "cafe");
    const QUuid id = openFile(QStringLiteral("page.html"));
    // Not as a failure: it comes while the user may be typing elsewhere.
    const QString said = QStringLiteral("noticed Failed to read file: The file “page.html” "
                                        "couldn't be opened because it isn't valid UTF-8 text.");
    // Checks the disk, then gives the reload after the check until `done`.
    const auto follow = [&](const std::function<bool()> &done) {
        NBETest::await(saving->followDisk({}));
        NBETest::waitUntil(done, 2s);
        return take().filter(QRegularExpression(QStringLiteral("^(failed|noticed) ")));
    };
    const auto told = [&] { return !heard.filter(QStringLiteral("noticed")).isEmpty(); };
    const auto content = [&] { return tabs->find(id)->sourceFile.content(); };
    take();

    write(QStringLiteral("page.html"), "caf\xe9");
    EXPECT_EQ(follow(told), QStringList{said});
    EXPECT_EQ(content(), QStringLiteral("cafe"));
    EXPECT_TRUE(follow([] { return false; }).isEmpty());

    write(QStringLiteral("page.html"), "caf\xc3\xa9");
    EXPECT_TRUE(follow([&] { return content() == QStringLiteral("café"); }).isEmpty());
    EXPECT_EQ(content(), QStringLiteral("café"));
    write(QStringLiteral("page.html"), "caf\xe9!");
    EXPECT_EQ(follow(told), QStringList{said});
}

TEST_F(WorkspaceTabs, GitRewritesAskFirstThenShowTheFilesAsGitLeftThem)
{
    write(QStringLiteral("clean.txt"), "old");
    write(QStringLiteral("edited.txt"), "old");
    const QUuid clean = openFile(QStringLiteral("clean.txt"));
    const QUuid edited = openFile(QStringLiteral("edited.txt"));
    tabs->updateContent(QStringLiteral("mine"), edited);

    desktop->answer = NBEUnsavedChangesChoice::Cancel;
    EXPECT_FALSE(NBETest::await(saving->settleBeforeGit(std::nullopt, true)).has_value());
    EXPECT_EQ(desktop->questions.last(), QStringList{QStringLiteral("edited.txt")});

    // Keeping the edits: only the clean tab's text may be replaced.
    desktop->answer = NBEUnsavedChangesChoice::Save;
    const auto settled = NBETest::await(saving->settleBeforeGit(std::nullopt, false));
    ASSERT_TRUE(settled.has_value());
    ASSERT_EQ(settled->size(), 2);
    EXPECT_EQ(settled->at(0).replaceable, QStringLiteral("old"));
    EXPECT_FALSE(settled->at(1).replaceable.has_value());

    write(QStringLiteral("clean.txt"), "git's");
    write(QStringLiteral("edited.txt"), "git's");
    NBETest::await(saving->reloadRewritten(*settled));
    EXPECT_EQ(tabs->find(clean)->sourceFile.content(), QStringLiteral("git's"));
    EXPECT_FALSE(tabs->find(clean)->sourceFile.isDirty());
    EXPECT_EQ(tabs->find(edited)->sourceFile.content(), QStringLiteral("mine"));
    EXPECT_TRUE(tabs->find(edited)->sourceFile.isDirty());

    // A file git removed closes its untouched tab, and its findings go.
    diagnostics.set(url(QStringLiteral("clean.txt")), {NBELSPDiagnostic{}});
    take();
    saving->reloadAfterGit(url(QStringLiteral("clean.txt")),
                           NBEResult<NBETextFile>(nbeFailure(QStringLiteral("gone"))),
                           std::make_pair(clean, QStringLiteral("git's")));
    EXPECT_EQ(order(), QStringList{QStringLiteral("edited.txt")});
    EXPECT_EQ(tabs->activeTabID(), edited);
    EXPECT_TRUE(diagnostics.all().isEmpty());
    EXPECT_EQ(take(), QStringList{QStringLiteral("tabs")});
}

// A rename in the tree races the checks of the disk that follow outside
// changes: whichever lands first, the renamed tab names a file that is there,
// so it doesn't turn unsaved.
TEST_F(WorkspaceTabs, ARenamedTabIsNotMissingWhateverALookAtTheOldNameSaw)
{
    write(QStringLiteral("a.js"), "let a;\n");
    write(QStringLiteral("b.js"), "let b;\n");
    const QUuid a = openFile(QStringLiteral("a.js"));
    const QUuid b = openFile(QStringLiteral("b.js"));
    const auto renamed = [&](const QString &from, const QString &to) {
        EXPECT_TRUE(QFile::rename(path(from), path(to)));
        return [this, from, to](const QString &at) -> std::optional<QString> {
            if (at == NBEFileService::keyPath(url(from)))
                return path(to);
            return std::nullopt;
        };
    };

    // The check asked before the tab follows the rename answers after it.
    const auto moveA = renamed(QStringLiteral("a.js"), QStringLiteral("c.js"));
    const QFuture<void> checked = saving->followDisk({});
    tabs->retarget(moveA);
    NBETest::await(checked);
    EXPECT_EQ(name(a), QStringLiteral("c.js"));
    EXPECT_FALSE(tabs->find(a)->sourceFile.isDirty());

    // The check answered first and found the old name gone.
    const auto moveB = renamed(QStringLiteral("b.js"), QStringLiteral("d.js"));
    NBETest::await(saving->followDisk({}));
    ASSERT_TRUE(tabs->find(b)->sourceFile.isMissingOnDisk);
    tabs->retarget(moveB);
    EXPECT_FALSE(tabs->find(b)->sourceFile.isDirty());
}
