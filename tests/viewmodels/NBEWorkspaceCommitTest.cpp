#include "NBEWorkspaceFixture.h"

#include "NBECommitDrafts.h"
#include "NBEFakeMessagesServer.h"
#include "NBEGitTranslation.h"
#include "NBEKeychain.h"
#include "NBESentenceTranslation.h"

#include <QElapsedTimer>

namespace {

using NBETest::textReply;

const QString commitFailed = QStringLiteral(
    "Commit failed — stage some changes first, and make sure git user.name / user.email are set.");

class NBEWorkspaceCommitTest : public NBEWorkspaceFixture
{
protected:
    NBETest::FakeMessagesServer server;
    QList<std::optional<QString>> statuses;
    static constexpr std::chrono::milliseconds flashLifetime{10000};

    void SetUp() override
    {
        NBEWorkspaceFixture::SetUp();
        model = makeModel([this](NBEWorkspaceEnvironment &environment) {
            environment.aiBaseURL = server.baseURL();
            environment.timings.syncStatusDuration = flashLifetime;
        });
        QObject::connect(&model->workspaceGit(), &NBEWorkspaceGit::syncStatusChanged,
                         [this] { statuses.append(model->workspaceGit().syncStatus()); });
        ASSERT_TRUE(NBETest::await(NBEKeychain::remove(NBEKeychainKey::anthropicAPIKey)));
    }
    void TearDown() override
    {
        NBETest::await(NBEKeychain::remove(NBEKeychainKey::anthropicAPIKey));
    }

    void repository()
    {
        git({QStringLiteral("init"), QStringLiteral("-q")});
        write(QStringLiteral("index.html"), "<p>one</p>\n");
        git({QStringLiteral("add"), QStringLiteral(".")});
        git({QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"),
             QStringLiteral("First page")});
    }
    void stageEdit(const QString &file = QStringLiteral("index.html"),
                   const QByteArray &text = "<p>two</p>\n")
    {
        write(file, text);
        git({QStringLiteral("add"), file});
        NBETest::await(model->gitState().refresh());
    }
    QString headSubject() { return QString::fromUtf8(git(QStringLiteral("log -1 --pretty=%s"))); }
    int commitCount() { return git(QStringLiteral("rev-list --count HEAD")).toInt(); }
    QByteArray git(const QString &line) { return NBETest::git(root, line.split(u' ')).trimmed(); }
    using NBEWorkspaceFixture::git;

    QString draft() { return NBECommitDrafts::load(*model->gitState().snapshot().root, *settings); }
    bool hasDraft()
    {
        return settings->contains(NBECommitDrafts::key(*model->gitState().snapshot().root));
    }
    void storeKey()
    {
        ASSERT_TRUE(NBETest::await(
            NBEKeychain::set(QStringLiteral("sk-test"), NBEKeychainKey::anthropicAPIKey)));
    }
};

} // namespace

TEST_F(NBEWorkspaceCommitTest, CommitAndAmendClearTheBoxAndDraftAndFlash)
{
    repository();
    load();
    stageEdit();
    model->commitBox().setCommitMessage(QStringLiteral("  Second page\n\n"));
    model->commitBox().persistCommitDraft();
    ASSERT_TRUE(hasDraft());

    QElapsedTimer sinceFirstFlash;
    EXPECT_TRUE(NBETest::await(model->commitBox().commit(false)));
    sinceFirstFlash.start();
    EXPECT_EQ(headSubject(), QStringLiteral("Second page"));
    EXPECT_EQ(model->commitBox().commitMessage(), QString());
    EXPECT_FALSE(hasDraft());
    EXPECT_EQ(model->workspaceGit().syncStatus(), QStringLiteral("Committed to main"));
    EXPECT_FALSE(model->gitState().hasStagedChanges()); // refreshed before the future ended
    EXPECT_FALSE(model->errorMessage().has_value());

    // The amend comes within the first flash's lifetime; that flash's end
    // must not clear the newer text.
    model->commitBox().setCommitMessage(QStringLiteral("Second page, reworded"));
    EXPECT_TRUE(NBETest::await(model->commitBox().commit(true)));
    EXPECT_EQ(commitCount(), 2);
    EXPECT_EQ(headSubject(), QStringLiteral("Second page, reworded"));
    EXPECT_EQ(model->workspaceGit().syncStatus(), QStringLiteral("Amended last commit"));
    // Only an amend that came within the first text's lifetime shows whether
    // that text's end leaves the newer one alone; a very slow machine can't.
    const bool amendedInTime = sinceFirstFlash.elapsed() < flashLifetime.count();
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return !model->workspaceGit().syncStatus().has_value(); }));
    EXPECT_EQ(statuses.last(), std::nullopt);
    if (amendedInTime) {
        const QList<std::optional<QString>> expected{QStringLiteral("Committed to main"),
                                                     QStringLiteral("Amended last commit"),
                                                     std::nullopt};
        EXPECT_EQ(statuses, expected);
    }
}

TEST_F(NBEWorkspaceCommitTest, CommitWithoutBranchNameSaysHead)
{
    git({QStringLiteral("init"), QStringLiteral("-q")});
    write(QStringLiteral("a.css"), "a{}\n");
    load();
    stageEdit(QStringLiteral("a.css"), "a{}\n");
    ASSERT_FALSE(model->gitState().snapshot().branch.has_value());
    model->commitBox().setCommitMessage(QStringLiteral("Start"));
    EXPECT_TRUE(NBETest::await(model->commitBox().commit(false)));
    EXPECT_EQ(model->workspaceGit().syncStatus(), QStringLiteral("Committed to HEAD"));
}

TEST_F(NBEWorkspaceCommitTest, RefusedCommitsKeepMessageAndDraft)
{
    // Outside a repository nothing happens at all.
    load();
    model->commitBox().setCommitMessage(QStringLiteral("Anything"));
    EXPECT_FALSE(NBETest::await(model->commitBox().commit(false)));
    EXPECT_FALSE(model->errorMessage().has_value());

    repository();
    NBETest::await(model->gitState().refresh());
    stageEdit();
    for (const QString &blank : {QString(), QStringLiteral("  \n\t \n")}) {
        model->commitBox().setCommitMessage(blank);
        EXPECT_FALSE(NBETest::await(model->commitBox().commit(false)));
        EXPECT_FALSE(model->errorMessage().has_value());
        EXPECT_EQ(commitCount(), 1);
    }

    git(QStringLiteral("reset -q"));
    NBETest::await(model->gitState().refresh());
    model->commitBox().setCommitMessage(QStringLiteral("Nothing staged"));
    model->commitBox().persistCommitDraft();
    EXPECT_FALSE(NBETest::await(model->commitBox().commit(false)));
    EXPECT_EQ(model->errorMessage(), commitFailed);
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Nothing staged"));
    EXPECT_EQ(draft(), QStringLiteral("Nothing staged"));
    EXPECT_FALSE(model->workspaceGit().syncStatus().has_value());
    EXPECT_EQ(commitCount(), 1);
}

// The commit's confirmation and a hook's refusal are each one sentence to
// translate, with the branch or git's words in their place holders.
TEST_F(NBEWorkspaceCommitTest, ItsTextsAreWholeSentencesToTranslate)
{
    repository();
    load();
    stageEdit();
    const NBETest::SentenceTranslation translation({"NBEWorkspaceCommit"});
    model->commitBox().setCommitMessage(QStringLiteral("Second page"));
    EXPECT_TRUE(NBETest::await(model->commitBox().commit(false)));
    EXPECT_EQ(model->workspaceGit().syncStatus(), u"\u00ABCommitted to main\u00BB"_qs);

    stageEdit(QStringLiteral("index.html"), "<p>three</p>\n");
    const QString hook = path(QStringLiteral(".git/hooks/pre-commit"));
    NBETest::writeFile(hook, "#!/bin/sh\necho 'lint: 1 problem' >&2\nexit 1\n");
    QFile::setPermissions(hook, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    model->commitBox().setCommitMessage(QStringLiteral("Third page"));
    EXPECT_FALSE(NBETest::await(model->commitBox().commit(false)));
    EXPECT_EQ(model->errorMessage(), u"\u00ABCommit failed: Lint: 1 problem.\u00BB"_qs);
}

// A project's own hook that stops the commit says why; the fixed sentence
// about staging and identity is for git's own refusals.
TEST_F(NBEWorkspaceCommitTest, AHookThatStopsTheCommitSaysWhy)
{
    repository();
    load();
    stageEdit();
    const QString hook = path(QStringLiteral(".git/hooks/pre-commit"));
    auto installHook = [&](const QByteArray &body) {
        NBETest::writeFile(hook, "#!/bin/sh\n" + body + "exit 1\n");
        QFile::setPermissions(hook, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    installHook("echo 'lint: 2 problems in app.js' >&2\necho 'run npm run lint' >&2\n");
    model->commitBox().setCommitMessage(QStringLiteral("Style the header"));
    EXPECT_FALSE(NBETest::await(model->commitBox().commit(false)));
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Commit failed: Lint: 2 problems in app.js."));
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Style the header"));
    EXPECT_EQ(commitCount(), 1);

    // A hook that fails without a word leaves only the fixed sentence.
    model->clearErrorMessage();
    installHook({});
    EXPECT_FALSE(NBETest::await(model->commitBox().commit(false)));
    EXPECT_EQ(model->errorMessage(), commitFailed);

    // A missing identity is git's own refusal.
    QFile::remove(hook);
    model->clearErrorMessage();
    git({QStringLiteral("config"), QStringLiteral("user.name"), QString()});
    EXPECT_FALSE(NBETest::await(model->commitBox().commit(false)));
    EXPECT_EQ(model->errorMessage(), commitFailed);
}

// git's silence is known by the result, not by the runner's English words.
TEST_F(NBEWorkspaceCommitTest, TranslatedSilenceOfGitStillGetsTheFixedSentence)
{
    const NBETest::GitTranslation translation;
    repository();
    load();
    model->commitBox().setCommitMessage(QStringLiteral("Nothing staged"));
    EXPECT_FALSE(NBETest::await(model->commitBox().commit(false)));
    EXPECT_EQ(model->errorMessage(), commitFailed);
}

// A hook that hangs holds the commit until it is cancelled, or the window
// closes: either ends git, the hook and what the hook started.
TEST_F(NBEWorkspaceCommitTest, AHangingHookEndsWithItsCommitOnCancelOrClose)
{
    repository();
    load();
    stageEdit();
    NBETest::installHangingHook(root);
    model->commitBox().setCommitMessage(QStringLiteral("Slow"));
    QFuture<bool> done = model->commitBox().commit(false);
    auto hook = NBETest::hangingHookProcesses(root);
    ASSERT_TRUE(hook);
    EXPECT_TRUE(NBETest::isRunning(hook->first));
    EXPECT_TRUE(NBETest::isRunning(hook->second));
    EXPECT_TRUE(model->commitBox().isCommitting());
    model->commitBox().cancelCommit();
    EXPECT_FALSE(NBETest::await(done));
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return !NBETest::isRunning(hook->first) && !NBETest::isRunning(hook->second); }));
    EXPECT_FALSE(model->commitBox().isCommitting());
    EXPECT_FALSE(model->errorMessage());
    EXPECT_EQ(statuses.value(statuses.size() - 1), QStringLiteral("Commit cancelled"));
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Slow"));
    EXPECT_EQ(commitCount(), 1);

    QFile::remove(path(QStringLiteral(".git/hook-pids")));
    done = model->commitBox().commit(false);
    hook = NBETest::hangingHookProcesses(root);
    ASSERT_TRUE(hook);
    model.reset();
    EXPECT_TRUE(NBETest::waitUntil(
        [&] { return !NBETest::isRunning(hook->first) && !NBETest::isRunning(hook->second); }));
    EXPECT_EQ(commitCount(), 1);
}

TEST_F(NBEWorkspaceCommitTest, TextTypedWhileCommittingIsKept)
{
    repository();
    load();
    stageEdit();
    model->commitBox().setCommitMessage(QStringLiteral("Second page"));
    const QFuture<bool> done = model->commitBox().commit(false);
    model->commitBox().setCommitMessage(QStringLiteral("Next idea"));
    model->commitBox().persistCommitDraft();
    EXPECT_TRUE(NBETest::await(done));
    EXPECT_EQ(headSubject(), QStringLiteral("Second page"));
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Next idea"));
    EXPECT_EQ(draft(), QStringLiteral("Next idea"));
}

TEST_F(NBEWorkspaceCommitTest, DraftIsSharedByTheRepositoryAndLoadedWithIt)
{
    repository();
    write(QStringLiteral("css/site.css"), "a{}\n");
    NBECommitDrafts::save(QStringLiteral("Half-written"), QUrl::fromLocalFile(root), *settings);
    model->commitBox().setCommitMessage(QStringLiteral("from before"));
    load();
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Half-written"));

    // A window on a subfolder of the same repository sees the same draft.
    auto other = makeModel();
    NBETest::await(other->loadWorkspace(url(QStringLiteral("css"))));
    EXPECT_EQ(other->commitBox().commitMessage(), QStringLiteral("Half-written"));

    // Closing the folder keeps the box and the draft.
    EXPECT_TRUE(NBETest::await(model->closeWorkspace()));
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Half-written"));
}

TEST_F(NBEWorkspaceCommitTest, LastCommitMessageIsHeadsWholeMessage)
{
    EXPECT_FALSE(NBETest::await(model->commitBox().lastCommitMessage()).has_value());
    repository();
    write(QStringLiteral("b.js"), "1\n");
    git({QStringLiteral("add"), QStringLiteral("b.js")});
    git({QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"),
         QStringLiteral("Subject\n\n- body line\n")});
    load();
    EXPECT_EQ(NBETest::await(model->commitBox().lastCommitMessage()),
              QStringLiteral("Subject\n\n- body line"));
}

TEST_F(NBEWorkspaceCommitTest, GenerationChecksSettingThenKey)
{
    repository();
    load();
    stageEdit();
    QList<bool> flags;
    QObject::connect(&model->commitBox(), &NBEWorkspaceCommit::isGeneratingCommitMessageChanged,
                     [&] { flags.append(model->commitBox().isGeneratingCommitMessage()); });

    settings->setBool(QStringLiteral("nbe.ai.enabled"), false);
    NBETest::await(model->commitBox().generateCommitMessage());
    EXPECT_EQ(model->errorMessage(),
              QStringLiteral("AI features are turned off. Enable them in Settings → AI."));
    EXPECT_FALSE(NBETest::await(model->commitBox().isAIConfigured()));

    settings->remove(QStringLiteral("nbe.ai.enabled"));
    NBETest::await(model->commitBox().generateCommitMessage());
    EXPECT_EQ(
        model->errorMessage(),
        QStringLiteral("Add your Anthropic API key in Settings → AI to generate commit messages."));
    EXPECT_FALSE(NBETest::await(model->commitBox().isAIConfigured()));
    EXPECT_TRUE(flags.isEmpty());
    EXPECT_TRUE(server.requests.isEmpty());

    storeKey();
    settings->setBool(QStringLiteral("nbe.ai.enabled"), false);
    EXPECT_FALSE(NBETest::await(model->commitBox().isAIConfigured()));
    settings->setBool(QStringLiteral("nbe.ai.enabled"), true);
    EXPECT_TRUE(NBETest::await(model->commitBox().isAIConfigured()));
}

TEST_F(NBEWorkspaceCommitTest, GeneratedMessageFillsBoxAndDraft)
{
    repository();
    git({QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("--allow-empty"),
         QStringLiteral("-m"), QStringLiteral("Tidy styles")});
    load();
    stageEdit();
    storeKey();
    server.answer(200, textReply(QStringLiteral("Reword the page")));
    model->commitBox().setCommitMessage(QStringLiteral("old"));

    QList<bool> flags;
    QObject::connect(&model->commitBox(), &NBEWorkspaceCommit::isGeneratingCommitMessageChanged,
                     [&] { flags.append(model->commitBox().isGeneratingCommitMessage()); });
    NBETest::await(model->commitBox().generateCommitMessage());
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Reword the page"));
    EXPECT_EQ(draft(), QStringLiteral("Reword the page"));
    EXPECT_EQ(flags, (QList<bool>{true, false}));
    EXPECT_FALSE(model->errorMessage().has_value());

    const QString content = server.lastContent();
    EXPECT_TRUE(content.contains(
        QStringLiteral("Recent commit subjects (match this style):\n- Tidy styles\n- First page")))
        << content.toStdString();
    EXPECT_TRUE(content.contains(QStringLiteral("Files changed:\nM  index.html\n")));
    EXPECT_TRUE(content.contains(QStringLiteral("+<p>two</p>")));
}

TEST_F(NBEWorkspaceCommitTest, DiffFallsBackToWorkingTreeThenToSummaryAlone)
{
    repository();
    load();
    storeKey();
    server.answer(200, textReply(QStringLiteral("Message")));

    // Nothing staged: the working tree's diff against HEAD goes out, git's
    // own even when a diff program of the user's is set up.
    const QString program = dir.filePath(QStringLiteral("difft"));
    NBETest::writeFile(program, "#!/bin/sh\necho side by side\n");
    QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);
    git({QStringLiteral("config"), QStringLiteral("diff.external"), program});
    write(QStringLiteral("index.html"), "<p>working</p>\n");
    NBETest::await(model->gitState().refresh());
    NBETest::await(model->commitBox().generateCommitMessage());
    EXPECT_TRUE(server.lastContent().contains(QStringLiteral("+<p>working</p>")));
    stageEdit();
    NBETest::await(model->commitBox().generateCommitMessage());
    EXPECT_TRUE(server.lastContent().contains(QStringLiteral("+<p>two</p>")));
    git({QStringLiteral("reset"), QStringLiteral("-q")});

    // Only an untracked file: no diff, but the summary names it.
    git({QStringLiteral("checkout"), QStringLiteral("-q"), QStringLiteral("--"),
         QStringLiteral("index.html")});
    write(QStringLiteral("new.css"), "b{}\n");
    NBETest::await(model->gitState().refresh());
    NBETest::await(model->commitBox().generateCommitMessage());
    ASSERT_EQ(server.requests.size(), 3);
    EXPECT_TRUE(server.lastContent().contains(
        QStringLiteral("Files changed:\nU  new.css\n\nDiff:\n(no textual diff available)")));
}

TEST_F(NBEWorkspaceCommitTest, FailedGenerationKeepsMessageAndClearsFlag)
{
    repository();
    load();
    storeKey();
    model->commitBox().setCommitMessage(QStringLiteral("mine"));

    // Nothing to describe: the AI client's sentence, no request.
    NBETest::await(model->commitBox().generateCommitMessage());
    EXPECT_EQ(model->errorMessage(),
              QStringLiteral("There are no changes to describe — stage some changes first."));
    EXPECT_TRUE(server.requests.isEmpty());

    stageEdit();
    model->clearErrorMessage();
    server.answer(500, R"({"type":"error","error":{"type":"api_error","message":"Overloaded"}})");
    NBETest::await(model->commitBox().generateCommitMessage());
    ASSERT_TRUE(model->errorMessage().has_value());
    EXPECT_TRUE(model->errorMessage()->contains(QStringLiteral("Overloaded")))
        << model->errorMessage()->toStdString();
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("mine"));
    EXPECT_FALSE(model->commitBox().isGeneratingCommitMessage());
    EXPECT_FALSE(hasDraft());
}

// The box belongs to the user while the service writes: a message typed
// meanwhile stays, and an answer for a folder since closed goes nowhere.
TEST_F(NBEWorkspaceCommitTest, AMessageArrivingLateNeverReplacesWhatWasTypedMeanwhile)
{
    repository();
    load();
    stageEdit();
    storeKey();
    server.answer(200, textReply(QStringLiteral("Reword the page")));
    server.behaviour = NBETest::FakeMessagesServer::Behaviour::silent;

    QFuture<void> generating = model->commitBox().generateCommitMessage();
    ASSERT_TRUE(NBETest::waitUntil([&] { return server.requests.size() == 1; }));
    model->commitBox().setCommitMessage(QStringLiteral("Fix the header by hand"));
    server.answerHeld();
    NBETest::await(generating);
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Fix the header by hand"));
    EXPECT_FALSE(model->commitBox().isGeneratingCommitMessage());
    EXPECT_FALSE(model->errorMessage().has_value());

    // Untouched, the box takes the answer.
    generating = model->commitBox().generateCommitMessage();
    ASSERT_TRUE(NBETest::waitUntil([&] { return server.requests.size() == 2; }));
    server.answerHeld();
    NBETest::await(generating);
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Reword the page"));

    // Another repository opened in the window keeps its own draft.
    const QString other = dir.filePath(QStringLiteral("other"));
    QDir().mkpath(other);
    NBETest::git(other, {QStringLiteral("init"), QStringLiteral("-q")});
    NBECommitDrafts::save(QStringLiteral("Other draft"), QUrl::fromLocalFile(other), *settings);
    generating = model->commitBox().generateCommitMessage();
    ASSERT_TRUE(NBETest::waitUntil([&] { return server.requests.size() == 3; }));
    NBETest::await(model->loadWorkspace(QUrl::fromLocalFile(other)));
    ASSERT_EQ(model->commitBox().commitMessage(), QStringLiteral("Other draft"));
    server.answerHeld();
    NBETest::await(generating);
    EXPECT_EQ(model->commitBox().commitMessage(), QStringLiteral("Other draft"));
    EXPECT_EQ(NBECommitDrafts::load(QUrl::fromLocalFile(other), *settings),
              QStringLiteral("Other draft"));
}

TEST_F(NBEWorkspaceCommitTest, LargeChangesAreBoundedInTheRequest)
{
    repository();
    QByteArray big(70000, 'x');
    big += '\n';
    write(QStringLiteral("index.html"), big);
    for (int i = 0; i < 60; ++i)
        write(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')), "1\n");
    git({QStringLiteral("add"), QStringLiteral(".")});
    load();
    storeKey();
    server.answer(200, textReply(QStringLiteral("Message")));
    NBETest::await(model->commitBox().generateCommitMessage());

    const QString content = server.lastContent();
    const qsizetype diffStart = content.indexOf(QStringLiteral("\n\nDiff:\n")) + 8;
    const QString sent = content.mid(diffStart);
    EXPECT_EQ(sent.size(), 60000 + 18);
    EXPECT_TRUE(sent.endsWith(QStringLiteral("\n\n[diff truncated]")));

    const qsizetype filesStart = content.indexOf(QStringLiteral("Files changed:\n")) + 15;
    const QStringList lines = content.mid(filesStart, diffStart - 8 - filesStart).split(u'\n');
    ASSERT_EQ(lines.size(), 50);
    EXPECT_EQ(lines.first(), QStringLiteral("A  f00.txt"));
    EXPECT_EQ(lines.last(), QStringLiteral("A  f49.txt"));
}

TEST(NBEWorkspaceTruncatedDiff, CountsUserPerceivedCharacters)
{
    const QString marker = QStringLiteral("\n\n[diff truncated]");
    const QString exact(60000, u'a');
    EXPECT_EQ(NBEWorkspaceCommit::truncatedDiff(exact, 60000), exact);
    EXPECT_EQ(NBEWorkspaceCommit::truncatedDiff(exact + u'b', 60000), exact + marker);

    // "e" with a combining accent is one character of two UTF-16 units.
    const QString accented = QStringLiteral("e\u0301");
    EXPECT_EQ(NBEWorkspaceCommit::truncatedDiff(accented.repeated(3), 3), accented.repeated(3));
    EXPECT_EQ(NBEWorkspaceCommit::truncatedDiff(accented.repeated(4), 3),
              accented.repeated(3) + marker);
    EXPECT_EQ(NBEWorkspaceCommit::truncatedDiff(QString(), 3), QString());
}
