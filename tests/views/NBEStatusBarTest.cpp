#include "NBEStatusBar.h"
#include "../viewmodels/NBEWorkspaceFixture.h"
#include "NBECodeTextEdit.h"
#include "NBEDiagnosticsListView.h"
#include "NBEMainView.h"
#include "NBESourceEditor.h"
#include "NBETextEditorView.h"

#include <QAbstractButton>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {

const QString octagon = QStringLiteral("xmark.octagon.fill");
const QString triangle = QStringLiteral("exclamationmark.triangle.fill");

class NBEStatusBarTest : public NBEWorkspaceFixture
{
protected:
    std::unique_ptr<NBEStatusBar> bar;

    void makeBar()
    {
        bar = std::make_unique<NBEStatusBar>(model->tabs(), model->diagnosticsStore(),
                                             model->languageServers(), model->navigation());
        bar->resize(600, NBEStatusBar::barHeight);
        bar->show();
    }

    // The texts the bar shows, left to right; hidden items are left out.
    QStringList shown() const
    {
        QStringList texts;
        if (bar->languageLabel()->isVisibleTo(bar.get()))
            texts.append(bar->languageLabel()->text());
        if (bar->issueButton()->isVisibleTo(bar.get()))
            for (const NBEStatusBarIssue &issue : bar->issues())
                texts.append(issue.count);
        if (bar->caretLabel()->isVisibleTo(bar.get()))
            texts.append(bar->caretLabel()->text());
        texts.append(bar->encodingLabel()->text());
        return texts;
    }

    bool hasDiagnostics(const QString &relative)
    {
        return NBETest::waitUntil(
            [&] { return !model->diagnosticsStore().forFile(url(relative)).isEmpty(); });
    }

    void clickRow(QListView *list, int row)
    {
        const QRect rect = list->visualRect(list->model()->index(row, 0));
        // Right of the text: the row's empty part chooses it too.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(rect.right() - 4, rect.center().y()));
    }
};

} // namespace

TEST_F(NBEStatusBarTest, TextsFollowTheActiveTabAndItsCaret)
{
    write(QStringLiteral("style.css"), "p { color: red; }\n");
    write(QStringLiteral("notes.xyz"), "plain\n");
    makeBar();
    // Before the folder has loaded: nothing but the encoding.
    EXPECT_EQ(shown(), QStringList{QStringLiteral("UTF-8")});

    load();
    const NBEOpenTab css = open(QStringLiteral("style.css"));
    ASSERT_TRUE(css.language.has_value());
    EXPECT_EQ(shown(), (QStringList{css.language->name, QStringLiteral("Ln 1, Col 1"),
                                    QStringLiteral("UTF-8")}));

    // The caret is shown as stored, never shifted.
    model->tabs().updateCursorPosition(12, 40, css.id);
    EXPECT_EQ(bar->caretLabel()->text(), QStringLiteral("Ln 12, Col 40"));

    // A file no language claims: no name, but the caret.
    const NBEOpenTab plain = open(QStringLiteral("notes.xyz"));
    EXPECT_FALSE(plain.language.has_value());
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("Ln 1, Col 1"), QStringLiteral("UTF-8")}));

    // Back to the first tab: its own caret again.
    model->navigation().activateTab(css.id);
    EXPECT_EQ(shown(), (QStringList{css.language->name, QStringLiteral("Ln 12, Col 40"),
                                    QStringLiteral("UTF-8")}));
}

TEST_F(NBEStatusBarTest, ACaretMoveShowsItsPlaceWithoutLayingTheBarOutAgain)
{
    write(QStringLiteral("style.css"), "p { color: red; }\n");
    makeBar();
    load();
    const NBEOpenTab css = open(QStringLiteral("style.css"));
    model->tabs().updateCursorPosition(12, 40, css.id);
    QTest::qWait(20);
    struct LayoutRequests : QObject
    {
        int count = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            count += event->type() == QEvent::LayoutRequest;
            return false;
        }
    } requests;
    bar->installEventFilter(&requests);
    QLabel *caret = bar->caretLabel();
    const auto fits = [&] { return caret->width() >= caret->sizeHint().width(); };

    model->tabs().updateCursorPosition(12, 41, css.id);
    QTest::qWait(20);
    EXPECT_EQ(caret->text(), QStringLiteral("Ln 12, Col 41"));
    EXPECT_EQ(requests.count, 0);
    EXPECT_TRUE(fits());

    // A longer place widens the label.
    model->tabs().updateCursorPosition(123456, 41, css.id);
    QTest::qWait(20);
    EXPECT_EQ(caret->text(), QStringLiteral("Ln 123456, Col 41"));
    EXPECT_TRUE(fits());
}

TEST_F(NBEStatusBarTest, IssueCountsFollowTheDiagnostics)
{
    write(QStringLiteral("page.html"), "<div>\n<span>\n");
    load();
    makeBar();
    EXPECT_TRUE(bar->issueButton()->isHidden());

    const QUuid id = open(QStringLiteral("page.html")).id;
    ASSERT_TRUE(hasDiagnostics(QStringLiteral("page.html")));
    const NBEDiagnosticSummary summary = model->diagnosticsStore().summary();
    ASSERT_GT(summary.errors, 0);
    EXPECT_FALSE(bar->issueButton()->isHidden());
    ASSERT_FALSE(bar->issues().isEmpty());
    EXPECT_EQ(bar->issues().first(),
              (NBEStatusBarIssue{octagon, QString::number(summary.errors), true}));
    EXPECT_EQ(bar->issueButton()->toolTip(), QStringLiteral("Show issues"));

    // The button toggles the list.
    QTest::mouseClick(bar->issueButton(), Qt::LeftButton);
    ASSERT_TRUE(bar->isShowingDiagnostics());
    EXPECT_EQ(bar->diagnosticsList()->size(), NBEDiagnosticsListView::panelSize);
    bar->issueButton()->click();
    ASSERT_TRUE(NBETest::waitUntil([&] { return !bar->isShowingDiagnostics(); }));

    // Fixing the page clears the counts, and with them the button and list.
    bar->setShowDiagnostics(true);
    ASSERT_TRUE(bar->isShowingDiagnostics());
    model->tabs().updateContent(QStringLiteral("<div></div>\n"), id);
    ASSERT_TRUE(
        NBETest::waitUntil([&] { return model->diagnosticsStore().summary().errors == 0; }));
    EXPECT_TRUE(bar->issueButton()->isHidden());
    EXPECT_TRUE(bar->issues().isEmpty());
    ASSERT_TRUE(NBETest::waitUntil([&] { return !bar->isShowingDiagnostics(); }));
    bar->setShowDiagnostics(true);
    EXPECT_FALSE(bar->isShowingDiagnostics());
}

TEST_F(NBEStatusBarTest, SaysWhenALanguagesCheckingStopped)
{
    qputenv("NBE_FAKE_LSP_PUBLISH", "1");
    model = makeModel([](NBEWorkspaceEnvironment &environment) {
        environment.swiftServerOverride = NBETest::toolPath(QStringLiteral("nbe_fake_lsp"));
    });
    write(QStringLiteral("main.swift"), "print(1)\n");
    load();
    makeBar();
    open(QStringLiteral("main.swift"));
    ASSERT_TRUE(hasDiagnostics(QStringLiteral("main.swift")));
    EXPECT_FALSE(bar->checkingLabel()->isVisibleTo(bar.get()));

    const qint64 server = NBETest::childProcess("nbe_fake_lsp");
    ASSERT_GT(server, 0);
    ASSERT_EQ(::kill(pid_t(server), SIGKILL), 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return bar->checkingLabel()->isVisibleTo(bar.get()); }));
    EXPECT_EQ(bar->checkingLabel()->text(),
              QStringLiteral("Swift checking stopped: its language server quit."));
    EXPECT_TRUE(bar->issueButton()->isHidden());
    model->shutdownLSP();
    qunsetenv("NBE_FAKE_LSP_PUBLISH");
    EXPECT_FALSE(bar->checkingLabel()->isVisibleTo(bar.get()));
}

TEST(NBEStatusBarItems, CountsErrorsFirstAndOnlyWhenAboveZero)
{
    const NBEStatusBarIssue errors{octagon, QStringLiteral("3"), true};
    const NBEStatusBarIssue warnings{triangle, QStringLiteral("2"), false};
    const struct
    {
        NBEDiagnosticSummary summary;
        QList<NBEStatusBarIssue> items;
    } cases[] = {
        {{0, 0}, {}},
        {{3, 0}, {errors}},
        {{0, 2}, {warnings}},
        {{3, 2}, {errors, warnings}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NBEStatusBar::issueItems(c.summary), c.items)
            << c.summary.errors << " " << c.summary.warnings;
}

TEST_F(NBEStatusBarTest, IssuesListKeepsTheOrderAndRevealsTheChosenLine)
{
    // Two pages whose names differ only in case order against a third.
    write(QStringLiteral("b.html"), "<p>ok</p>\n<div>\n<section>\n");
    write(QStringLiteral("A.html"), "<span>\n");
    write(QStringLiteral("sub/b.html"), "<em>\n");
    load();
    open(QStringLiteral("b.html"));
    open(QStringLiteral("A.html"));
    open(QStringLiteral("sub/b.html"));
    ASSERT_TRUE(hasDiagnostics(QStringLiteral("b.html")));
    ASSERT_TRUE(hasDiagnostics(QStringLiteral("A.html")));
    ASSERT_TRUE(hasDiagnostics(QStringLiteral("sub/b.html")));

    NBEDiagnosticsListView list(model->diagnosticsStore(), model->navigation());
    list.show();
    EXPECT_FALSE(list.isShowingEmptyState());
    const QList<NBEFileDiagnostic> entries = model->diagnosticsStore().sorted();
    EXPECT_EQ(list.entries(), entries);
    ASSERT_GE(entries.size(), 3);
    EXPECT_EQ(entries.first().url, url(QStringLiteral("A.html")));
    EXPECT_EQ(list.listView()->model()->rowCount(), entries.size());
    for (int row = 0; row < entries.size(); ++row)
        EXPECT_EQ(list.listView()->model()->index(row, 0).data().toString(),
                  entries.at(row).diagnostic.message);

    // The last row of the top-level b.html: its file opens at its line.
    int chosen = -1;
    for (int row = 0; row < entries.size(); ++row)
        if (entries.at(row).url == url(QStringLiteral("b.html")))
            chosen = row;
    ASSERT_GE(chosen, 0);
    const NBEFileDiagnostic entry = entries.at(chosen);
    ASSERT_GT(entry.diagnostic.startLine, 0);
    QSignalSpy dismissed(&list, &NBEDiagnosticsListView::dismissRequested);
    list.listView()->scrollTo(list.listView()->model()->index(chosen, 0));
    clickRow(list.listView(), chosen);
    EXPECT_EQ(dismissed.size(), 1);
    ASSERT_TRUE(model->navigation().revealTarget().has_value());
    const NBELSPDiagnostic &issue = entry.diagnostic;
    EXPECT_EQ(
        *model->navigation().revealTarget(),
        (NBERevealTarget{entry.url, int(issue.startLine) + 1,
                         NBERevealRange{{int(issue.startLine) + 1, int(issue.startCharacter) + 1},
                                        {int(issue.endLine) + 1, int(issue.endCharacter) + 1}}}));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return model->tabs().activeTab() && model->tabs().activeTab()->sourceFile.url == entry.url;
    }));
}

TEST_F(NBEStatusBarTest, ChoosingARowInThePopoverClosesIt)
{
    write(QStringLiteral("page.html"), "<div>\n");
    write(QStringLiteral("other.css"), "p {}\n");
    load();
    open(QStringLiteral("page.html"));
    ASSERT_TRUE(hasDiagnostics(QStringLiteral("page.html")));
    open(QStringLiteral("other.css"));
    makeBar();

    bar->issueButton()->click();
    ASSERT_TRUE(bar->isShowingDiagnostics());
    clickRow(bar->diagnosticsList()->listView(), 0);
    ASSERT_TRUE(NBETest::waitUntil([&] { return !bar->isShowingDiagnostics(); }));
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return model->tabs().activeTab()->sourceFile.url == url(QStringLiteral("page.html"));
    }));
    const NBELSPDiagnostic first =
        model->diagnosticsStore().forFile(url(QStringLiteral("page.html"))).first();
    EXPECT_EQ(model->navigation().revealTarget()->line, first.startLine + 1);
}

TEST_F(NBEStatusBarTest, EmptyListSaysSo)
{
    load();
    NBEDiagnosticsListView list(model->diagnosticsStore(), model->navigation());
    EXPECT_TRUE(list.isShowingEmptyState());
    EXPECT_EQ(list.size(), NBEDiagnosticsListView::panelSize);

    // A broken page arriving while the list shows fills it at once.
    write(QStringLiteral("page.html"), "<div>\n");
    open(QStringLiteral("page.html"));
    ASSERT_TRUE(hasDiagnostics(QStringLiteral("page.html")));
    EXPECT_FALSE(list.isShowingEmptyState());
    EXPECT_EQ(list.entries(), model->diagnosticsStore().sorted());
}

TEST(NBEDiagnosticsListRows, LocationAndSymbolAndMessageLines)
{
    NBEFileDiagnostic entry{QUrl::fromLocalFile(QStringLiteral("/site/dir/index.html")), {}};
    EXPECT_EQ(NBEDiagnosticsListView::locationText(entry), QStringLiteral("index.html:1"));
    entry.diagnostic.startLine = 41;
    EXPECT_EQ(NBEDiagnosticsListView::locationText(entry), QStringLiteral("index.html:42"));

    using Severity = NBELSPDiagnosticSeverity;
    EXPECT_EQ(NBEDiagnosticsListView::symbolName(Severity::error), octagon);
    for (Severity severity : {Severity::warning, Severity::information, Severity::hint})
        EXPECT_EQ(NBEDiagnosticsListView::symbolName(severity), triangle);

    const QFont font = QApplication::font();
    EXPECT_EQ(NBEDiagnosticsListView::messageLines(QStringLiteral("Short"), font, 300),
              QStringList{QStringLiteral("Short")});
    const QString longMessage = QStringLiteral("word ").repeated(200).trimmed();
    const QStringList lines = NBEDiagnosticsListView::messageLines(longMessage, font, 300);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026)));
    for (const QString &line : lines)
        EXPECT_LE(QFontMetrics(font).horizontalAdvance(line), 300);
}

namespace {

// A window whose editor shows one file of its folder.
class NBEStatusBarInWindow : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    std::unique_ptr<NBEMainView> view;
    NBEWorkspaceViewModel *viewModel = nullptr;

    void showFile(const QString &name, const QByteArray &text)
    {
        NBETest::writeFile(dir.filePath(name), text);
        view = std::make_unique<NBEMainView>(QUrl::fromLocalFile(QDir::cleanPath(dir.path())));
        view->resize(900, 560);
        view->show();
        view->start();
        viewModel = view->viewModel();
        ASSERT_TRUE(NBETest::waitUntil([&] { return viewModel->files().isOpen(); }));
        viewModel->navigation().openFile(QUrl::fromLocalFile(QDir::cleanPath(dir.filePath(name))),
                                         false);
        ASSERT_TRUE(NBETest::waitUntil([&] { return view->sourceEditor() != nullptr; }));
    }
};

} // namespace

TEST_F(NBEStatusBarInWindow, SitsBelowTheEditorOfTheDetailColumn)
{
    showFile(QStringLiteral("index.html"), "<main>\n  <p>Hello</p>\n<div>\n");
    // Which checker reports this page's errors depends on whether the HTML
    // server is installed, so the counts are not this test's concern.
    viewModel->tabs().updateCursorPosition(2, 5, viewModel->tabs().activeTab()->id);

    NBEStatusBar *bar = view->statusBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->height(), NBEStatusBar::barHeight);
    EXPECT_EQ(bar->caretLabel()->text(), QStringLiteral("Ln 2, Col 5"));
    const QWidget *column = bar->parentWidget();
    EXPECT_EQ(bar->geometry().bottom(), column->rect().bottom());
    EXPECT_LE(view->sourceEditor()->geometry().bottom(), bar->geometry().top());

    if (const QByteArray out = qgetenv("NBE_STATUS_BAR_PNG"); !out.isEmpty()) {
        bar->setShowDiagnostics(true);
        QCoreApplication::processEvents();
        view->grab().save(QString::fromLocal8Bit(out));
        bar->diagnosticsList()->grab().save(QString::fromLocal8Bit(out) +
                                            QStringLiteral(".list.png"));
    }
}

TEST_F(NBEStatusBarInWindow, FollowsTheCaretWhenTheTabsTextIsReplaced)
{
    showFile(QStringLiteral("notes.txt"), "one\ntwo\nthree three\n");
    QPlainTextEdit *text = view->sourceEditor()->editor()->textView();
    ASSERT_TRUE(NBETest::waitUntil([&] { return text->toPlainText().startsWith("one"); }));
    text->moveCursor(QTextCursor::End);
    text->moveCursor(QTextCursor::Left);
    EXPECT_EQ(view->statusBar()->caretLabel()->text(), QStringLiteral("Ln 3, Col 12"));

    // A pull or a reload puts shorter text under the caret: the bar says
    // where the caret went.
    viewModel->tabs().updateContent(QStringLiteral("pulled\n"), viewModel->tabs().activeTab()->id);
    ASSERT_TRUE(NBETest::waitUntil([&] { return text->toPlainText() == "pulled\n"; }));
    const QTextCursor caret = text->textCursor();
    EXPECT_EQ(view->statusBar()->caretLabel()->text(),
              NBEStatusBar::caretText(caret.blockNumber() + 1, caret.positionInBlock() + 1));
    EXPECT_NE(view->statusBar()->caretLabel()->text(), QStringLiteral("Ln 3, Col 12"));
}
