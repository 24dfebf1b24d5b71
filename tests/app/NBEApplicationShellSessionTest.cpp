#include "NBEApplicationShell.h"
#include "NBEMainView.h"
#include "NBEPreferences.h"
#include "NBERecoveredEdits.h"
#include "NBESettingsWindow.h"
#include "NBETestSupport.h"
#include "NBEWorkspaceViewModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>

using namespace std::chrono_literals;

namespace {

// Answers message boxes as they show, in order: each answer names the box's
// title and the button to click; the texts of the boxes answered are kept.
class Answerer
{
public:
    struct Answer
    {
        QString title;
        QString button;
    };

    explicit Answerer(QList<Answer> answers)
        : m_answers(std::move(answers))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start(10);
    }

    bool done() const { return m_answers.isEmpty(); }
    const QStringList &texts() const { return m_texts; }
    // The titles of the boxes shown at each answer, the one answered aside.
    const QList<QStringList> &alsoShown() const { return m_alsoShown; }

private:
    void answer()
    {
        if (m_answers.isEmpty())
            return;
        QMessageBox *box = nullptr;
        QStringList others;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *shown = qobject_cast<QMessageBox *>(widget);
            if (!shown || !shown->isVisible())
                continue;
            if (!box && shown->windowTitle() == m_answers.first().title)
                box = shown;
            else
                others.append(shown->windowTitle());
        }
        if (!box)
            return;
        const Answer answer = m_answers.takeFirst();
        m_texts.append(box->text());
        m_alsoShown.append(others);
        // Later, so a question the click leads to doesn't hold this timer.
        for (QAbstractButton *button : box->buttons())
            if (button->text() == answer.button)
                QTimer::singleShot(0, button, &QAbstractButton::click);
    }

    QList<Answer> m_answers;
    QStringList m_texts;
    QList<QStringList> m_alsoShown;
    QTimer m_timer;
};

const QString unsavedChanges = QStringLiteral("Unsaved Changes");

// Runs the application's event loop as the program does until it quits;
// false when it didn't within the time.
bool runUntilQuit(const std::function<void()> &start)
{
    QTimer::singleShot(0, start);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    limit.start(30000);
    return QApplication::exec() == 0;
}

struct Project
{
    QTemporaryDir dir;
    QPointer<NBEProjectWindow> window;
    NBEWorkspaceViewModel *viewModel = nullptr;

    // A window on a folder whose a.css holds "old" and shows `text`; the
    // folder given, or a new one.
    bool open(NBEApplicationShell &shell, const QString &text = QStringLiteral("unsaved"),
              const QString &given = {})
    {
        const QString folder = given.isEmpty() ? dir.path() : given;
        if (given.isEmpty())
            NBETest::writeFile(dir.filePath(QStringLiteral("a.css")), "old");
        window = shell.openProject(QUrl::fromLocalFile(QDir::cleanPath(folder)));
        viewModel = window->mainView()->viewModel();
        if (!NBETest::waitUntil([&] { return viewModel->files().isOpen(); }))
            return false;
        NBETest::await(viewModel->navigation().openFile(
            QUrl::fromLocalFile(QDir::cleanPath(folder + QStringLiteral("/a.css"))), false));
        viewModel->tabs().updateContent(text, viewModel->tabs().activeTab()->id);
        return viewModel->tabs().activeTab()->sourceFile.isDirty();
    }
    QByteArray onDisk() const { return NBETest::readFile(dir.filePath(QStringLiteral("a.css"))); }
};

} // namespace

// After the end of a session was cancelled, the copy goes once its edits are
// settled, and a quit afterwards leaves nothing to announce.
TEST(NBEApplicationShellSession, ACopyGoesOnceItsEditsAreSettled)
{
    for (const QString &settle : {QStringLiteral("Save"), QStringLiteral("Don't Save")}) {
        QTemporaryDir places;
        NBEApplicationShell shell;
        shell.setRecoveryPlaces({places.path()});
        shell.handleSessionEnd();
        Project project;
        ASSERT_TRUE(project.open(shell));

        Answerer cancel({{unsavedChanges, QStringLiteral("Cancel")}});
        ASSERT_EQ(std::raise(SIGTERM), 0);
        ASSERT_TRUE(NBETest::waitUntil([&] { return cancel.done(); }));
        NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(100));
        const QString kept = shell.keptEdits();
        ASSERT_FALSE(kept.isEmpty());
        ASSERT_TRUE(QFileInfo(kept).isDir());

        if (settle == QLatin1String("Save")) {
            project.viewModel->saveActiveFile();
            EXPECT_TRUE(NBETest::waitUntil([&] { return !QFileInfo::exists(kept); }));
            EXPECT_TRUE(runUntilQuit([] { NBEProjectWindow::quitApplication(); }));
            EXPECT_EQ(project.onDisk(), "unsaved");
        } else {
            Answerer dontSave({{unsavedChanges, settle}});
            EXPECT_TRUE(runUntilQuit([] { NBEProjectWindow::quitApplication(); }));
            EXPECT_TRUE(dontSave.done());
            EXPECT_EQ(project.onDisk(), "old");
        }
        EXPECT_TRUE(shell.keptEdits().isEmpty()) << settle.toStdString();
        EXPECT_TRUE(NBERecoveredEdits::unannounced({places.path()}).isEmpty())
            << settle.toStdString();
    }
}

TEST(NBEApplicationShellSession, TheSessionEndsWhileDialogsAreOpen)
{
    QTemporaryDir places;
    ASSERT_TRUE(NBERecoveredEdits::keep({{QStringLiteral("/site/a.css"), "a"}}, {places.path()}));
    NBEApplicationShell shell;
    shell.setRecoveryPlaces({places.path()});
    shell.handleSessionEnd();
    shell.announceRecoveredEdits();
    NBESettingsWindow::present(NBEPreferences::shared());
    Project project;
    ASSERT_TRUE(project.open(shell));

    Answerer dontSave({{unsavedChanges, QStringLiteral("Don't Save")}});
    EXPECT_TRUE(runUntilQuit([] { std::raise(SIGTERM); }));
    EXPECT_TRUE(dontSave.done());
    EXPECT_TRUE(shell.keptEdits().isEmpty());
    EXPECT_TRUE(NBERecoveredEdits::unannounced({places.path()}).isEmpty());
}

// When no copy could be kept the window says so before it asks, as a
// killed process would lose the edits.
TEST(NBEApplicationShellSession, AnEditNotKeptIsSaidBeforeTheQuestion)
{
    QTemporaryDir places;
    NBETest::writeFile(places.filePath(QStringLiteral("file")), "x");
    NBEApplicationShell shell;
    shell.setRecoveryPlaces(
        {places.filePath(QStringLiteral("file/one")), places.filePath(QStringLiteral("file/two"))});
    shell.handleSessionEnd();
    Project project;
    ASSERT_TRUE(project.open(shell));

    Answerer answers({{QStringLiteral("Error"), QStringLiteral("OK")},
                      {unsavedChanges, QStringLiteral("Cancel")}});
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return answers.done(); }));
    EXPECT_TRUE(answers.texts().first().contains(QStringLiteral("couldn't be kept")));
    EXPECT_EQ(answers.alsoShown().first(), QStringList());
    EXPECT_TRUE(project.window);
    EXPECT_TRUE(project.viewModel->tabs().activeTab()->sourceFile.isDirty());
}

TEST(NBEApplicationShellSession, APartialCopyIsAnnouncedWithWhatItLacks)
{
    QTemporaryDir places;
    const auto kept = NBERecoveredEdits::keep(
        {{QStringLiteral("/site/a.css"), "a"}, {QStringLiteral("/site/b.css"), "bb"}},
        {places.path()});
    ASSERT_TRUE(kept.has_value());
    QFile::remove(kept->folder + QStringLiteral("/site/b.css"));
    NBEApplicationShell shell;
    shell.setRecoveryPlaces({places.path()});
    Answerer ok({{QStringLiteral("Unsaved Edits Kept"), QStringLiteral("OK")}});
    shell.announceRecoveredEdits();
    ASSERT_TRUE(NBETest::waitUntil([&] { return ok.done(); }));
    EXPECT_TRUE(ok.texts().first().contains(QStringLiteral("“/site/b.css”")));
    EXPECT_FALSE(ok.texts().first().contains(QStringLiteral("/site/a.css")));
}

// A cancelled quit leaves every window and tab as it was, also those whose
// question was answered Don't Save before.
TEST(NBEApplicationShellSession, ACancelledQuitLeavesEveryWindowAsItWas)
{
    NBEApplicationShell shell;
    Project first;
    Project second;
    ASSERT_TRUE(first.open(shell));
    ASSERT_TRUE(second.open(shell));

    Answerer answers({{unsavedChanges, QStringLiteral("Don't Save")},
                      {unsavedChanges, QStringLiteral("Cancel")}});
    NBEProjectWindow::quitApplication();
    ASSERT_TRUE(NBETest::waitUntil([&] { return answers.done(); }));
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(200));
    for (const Project *project : {&first, &second}) {
        ASSERT_TRUE(project->window);
        EXPECT_TRUE(project->window->isVisible());
        ASSERT_EQ(project->viewModel->tabs().tabs().size(), 1);
        EXPECT_TRUE(project->viewModel->tabs().activeTab()->sourceFile.isDirty());
        EXPECT_EQ(project->onDisk(), "old");
    }
}

// The far end of ProcessesEndedTogetherKeepTheirOwnTexts: a window with one
// unsaved tab that says when the end of its session asks about it, and
// gives the answer it was told.
TEST(NBEApplicationShellSession, DISABLED_ChildWithAnUnsavedTab)
{
    NBEApplicationShell shell;
    shell.setRecoveryPlaces({qEnvironmentVariable("NBE_RECOVERY_PLACE")});
    shell.handleSessionEnd();
    Project project;
    ASSERT_TRUE(project.open(shell, qEnvironmentVariable("NBE_UNSAVED_TEXT"),
                             qEnvironmentVariable("NBE_PROJECT")));
    const QString answer = qEnvironmentVariable("NBE_ANSWER");
    bool asked = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (asked || !box || !box->isVisible() || box->windowTitle() != unsavedChanges)
                continue;
            asked = true;
            std::printf("asked\n");
            std::fflush(stdout);
            for (QAbstractButton *button : box->buttons())
                if (button->text() == answer)
                    QTimer::singleShot(0, button, &QAbstractButton::click);
        }
    });
    watch.start(10);
    std::printf("ready\n");
    std::fflush(stdout);
    runUntilQuit([] {});
}

// A logout ends every editor process in the same second: each keeps its own
// text, also of the same file, and Don't Save in one removes its copy alone.
TEST(NBEApplicationShellSession, ProcessesEndedTogetherKeepTheirOwnTexts)
{
    QTemporaryDir places;
    QTemporaryDir project;
    NBETest::writeFile(project.filePath(QStringLiteral("a.css")), "old");
    const QString place = places.filePath(QStringLiteral("Recovered Edits"));
    struct Child
    {
        QString text;
        QString answer;
        std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    };
    std::vector<Child> children;
    children.push_back({QStringLiteral("kept by the first"), {}});
    children.push_back({QStringLiteral("kept by the second"), {}});
    children.push_back({QStringLiteral("settled by the third"), QStringLiteral("Don't Save")});
    for (Child &child : children) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("NBE_RECOVERY_PLACE"), place);
        environment.insert(QStringLiteral("NBE_PROJECT"), project.path());
        environment.insert(QStringLiteral("NBE_UNSAVED_TEXT"), child.text);
        environment.insert(QStringLiteral("NBE_ANSWER"), child.answer);
        child.process->setProcessEnvironment(environment);
        child.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.process->start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--gtest_also_run_disabled_tests"),
             QStringLiteral(
                 "--gtest_filter=NBEApplicationShellSession.DISABLED_ChildWithAnUnsavedTab")});
    }
    std::vector<QByteArray> said(children.size());
    const auto allSaid = [&](const QByteArray &word) {
        for (size_t i = 0; i < children.size(); ++i)
            said[i] += children[i].process->readAllStandardOutput();
        return std::all_of(said.cbegin(), said.cend(),
                           [&](const QByteArray &out) { return out.contains(word); });
    };
    ASSERT_TRUE(NBETest::waitUntil([&] { return allSaid("ready\n"); }, 120s));

    // Early in a second, so all three stamp their copies with the same time.
    while (QDateTime::currentMSecsSinceEpoch() % 1000 > 50)
        QThread::usleep(500);
    for (const Child &child : children)
        ASSERT_EQ(::kill(pid_t(child.process->processId()), SIGTERM), 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return allSaid("asked\n"); }, 60s));
    ASSERT_TRUE(children[2].process->waitForFinished(60000));
    // The others are killed before anyone answered them.
    for (size_t i = 0; i < 2; ++i) {
        children[i].process->kill();
        children[i].process->waitForFinished(10000);
    }

    QStringList kept;
    for (const NBEKeptEdits &copy : NBERecoveredEdits::unannounced({place})) {
        EXPECT_TRUE(copy.missing.isEmpty());
        kept.append(QString::fromUtf8(NBETest::readFile(
            copy.folder +
            NBERecoveredEdits::pathInCopy(project.filePath(QStringLiteral("a.css"))))));
    }
    kept.sort();
    EXPECT_EQ(kept, QStringList({children[0].text, children[1].text}))
        << kept.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(NBETest::readFile(project.filePath(QStringLiteral("a.css"))), "old");
}

// A copy that only the temporary folder took may be gone at the next start:
// the window says so before it asks.
TEST(NBEApplicationShellSession, ACopyInTheTemporaryFolderIsSaid)
{
    QTemporaryDir places;
    NBETest::writeFile(places.filePath(QStringLiteral("file")), "x");
    NBEApplicationShell shell;
    shell.setRecoveryPlaces(
        {places.filePath(QStringLiteral("file/data")), NBERecoveredEdits::places().constLast()});
    shell.handleSessionEnd();
    Project project;
    ASSERT_TRUE(project.open(shell));

    // Apart, so the question is answered also when nothing was said.
    Answerer said({{QStringLiteral("Error"), QStringLiteral("OK")}});
    Answerer cancel({{unsavedChanges, QStringLiteral("Cancel")}});
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return cancel.done(); }));
    ASSERT_TRUE(said.done());
    EXPECT_TRUE(said.texts().first().contains(QStringLiteral("temporary folder")))
        << said.texts().first().toStdString();
    EXPECT_TRUE(said.texts().first().contains(shell.keptEdits()));
    EXPECT_TRUE(NBERecoveredEdits::isInTemporaryFolder(shell.keptEdits()));
}
