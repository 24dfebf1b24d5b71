#include "../viewmodels/NBEWorkspaceFixture.h"
#include "NBEChangeMarkers.h"
#include "NBECodeTextEdit.h"
#include "NBEDefaultThemes.h"
#include "NBEQtPrinters.h"
#include "NBESourceEditor.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"

#include <QSignalSpy>

#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString head = QStringLiteral("a\nb\nc\n");

// While it is in force the process can open no new file, so saving fails
// (for root too) and the file on disk stays as it was.
class NoNewFiles
{
public:
    NoNewFiles()
    {
        getrlimit(RLIMIT_NOFILE, &m_old);
        // The lowest free descriptor is the next one open() would take.
        const int next = dup(0);
        close(next);
        rlimit limit = m_old;
        limit.rlim_cur = rlim_t(next);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    ~NoNewFiles() { lift(); }
    void lift()
    {
        if (!std::exchange(m_lifted, true))
            setrlimit(RLIMIT_NOFILE, &m_old);
    }

private:
    rlimit m_old{};
    bool m_lifted = false;
};

class NBESourceEditorHunks : public NBEWorkspaceFixture
{
protected:
    QUuid id;
    std::unique_ptr<NBESourceEditor> host;

    // A committed file, opened in an editor host, with `edit` typed and not
    // saved.
    void openEdited(const QString &edit)
    {
        git({QStringLiteral("init"), QStringLiteral("-q")});
        write(QStringLiteral("index.html"), head.toUtf8());
        git({QStringLiteral("add"), QStringLiteral(".")});
        git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("first")});
        load();
        id = open(QStringLiteral("index.html")).id;
        host = std::make_unique<NBESourceEditor>(NBESourceEditorOwners::of(model.get()), id,
                                                 NBEDefaultThemes::light());
        model->tabs().updateContent(edit, id);
    }

    QByteArray staged()
    {
        return NBETest::git(root, {QStringLiteral("diff"), QStringLiteral("--cached")});
    }
    NBEDiffHunk hunk(const QString &buffer, int index = 0)
    {
        return NBELineDiff::hunks(head, buffer).value(index);
    }
    bool dirty() { return model->tab(id)->sourceFile.isDirty(); }
};

} // namespace

TEST_F(NBESourceEditorHunks, StagingWritesTheBufferFirstAndUnstagingWritesNothing)
{
    const QString edited = QStringLiteral("a\nB\nc\nd\n");
    openEdited(edited);
    const NBEDiffHunk changed = hunk(edited);
    ASSERT_EQ(changed.newLines, QStringList{QStringLiteral("B")});

    EXPECT_TRUE(NBETest::await(host->stageHunk(changed)));
    EXPECT_EQ(read(QStringLiteral("index.html")), edited.toUtf8());
    EXPECT_FALSE(dirty());
    const QByteArray index = staged();
    EXPECT_TRUE(index.contains("+B")) << index.constData();
    EXPECT_FALSE(index.contains("+d")) << index.constData();
    EXPECT_TRUE(NBETest::await(host->session()->hunkActions().isStaged(changed)));

    const QString later = edited + QStringLiteral("e\n");
    model->tabs().updateContent(later, id);
    NBETest::await(host->unstageHunk(changed));
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_EQ(read(QStringLiteral("index.html")), edited.toUtf8());
    EXPECT_TRUE(dirty());
    EXPECT_FALSE(NBETest::await(host->session()->hunkActions().isStaged(changed)));
}

TEST_F(NBESourceEditorHunks, StagingIsSkippedWhenWritingTheBufferFails)
{
    // The change to stage is on disk already; the buffer has more that can't
    // be written. Git could stage the hunk from the file, but the buffer
    // wasn't written, so nothing is staged.
    const QString saved = QStringLiteral("a\nB\nc\n");
    openEdited(saved);
    ASSERT_TRUE(saveAndWait(id, true));
    const QString edited = saved + QStringLiteral("d\n");
    model->tabs().updateContent(edited, id);

    NoNewFiles limit;
    // Git runs without the limit once the write has failed.
    QObject::connect(model.get(), &NBEWorkspaceViewModel::errorMessageChanged, model.get(), [&] {
        if (model->errorMessage())
            limit.lift();
    });
    EXPECT_FALSE(NBETest::await(host->stageHunk(hunk(edited))));
    limit.lift();
    EXPECT_TRUE(model->errorMessage().has_value());
    EXPECT_EQ(read(QStringLiteral("index.html")), saved.toUtf8());
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_TRUE(dirty());

    // A directory where the file was: the same.
    blockWrites(QStringLiteral("index.html"));
    EXPECT_FALSE(NBETest::await(host->stageHunk(hunk(edited))));
    EXPECT_TRUE(staged().isEmpty());
}

TEST_F(NBESourceEditorHunks, DiscardInTheEditorWritesTheFileAndLeavesTheIndex)
{
    const QString edited = QStringLiteral("a\nB\nc\n");
    openEdited(edited);
    ASSERT_TRUE(NBETest::await(host->stageHunk(hunk(edited))));
    ASSERT_FALSE(staged().isEmpty());
    host->render();
    NBETextEditorCoordinator *coordinator = host->editor()->coordinator();
    // The host loads the HEAD text, the editor compares against it.
    ASSERT_TRUE(NBETest::waitUntil([&] {
        host->render();
        return coordinator->changeMarkers()->hunkForLine(2).has_value();
    }));

    coordinator->changeMarkers()->discardHunk(*coordinator->changeMarkers()->hunkForLine(2));
    EXPECT_EQ(model->tab(id)->sourceFile.content(), head);
    const QUrl file = url(QStringLiteral("index.html"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return !model->gitState().status(file).has_value(); }));
    EXPECT_EQ(read(QStringLiteral("index.html")), head.toUtf8());
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_FALSE(dirty());
}
