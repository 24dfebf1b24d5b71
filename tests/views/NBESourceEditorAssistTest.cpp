// Completion and hover in the editor host with the real HTML and CSS
// servers from Vendor/web-lsp, found the way the application finds them.
#include "../viewmodels/NBEWorkspaceFixture.h"
#include "NBECodeTextEdit.h"
#include "NBECompletionController.h"
#include "NBEDefaultThemes.h"
#include "NBEHoverController.h"
#include "NBEQtPrinters.h"
#include "NBESourceEditor.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"
#include "NBEWebLSPServers.h"

#include <QTextBlock>

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace std::chrono_literals;

namespace {

class NBESourceEditorAssist : public NBEWorkspaceFixture
{
protected:
    QUuid id;
    std::unique_ptr<QWidget> window;
    NBESourceEditor *host = nullptr;

    void SetUp() override
    {
        NBEWorkspaceFixture::SetUp();
        for (const char *language : {"html", "css"})
            ASSERT_TRUE(NBEWebLSPServers::launch(QString::fromLatin1(language)))
                << language << " server or Node.js missing: run scripts/setup";
        model = makeModel([](NBEWorkspaceEnvironment &environment) {
            environment.webServerLaunch = [](const QString &language) {
                return NBEWebLSPServers::launch(language);
            };
        });
    }

    void TearDown() override
    {
        window.reset();
        if (model && model->files().workspace())
            model->shutdownLSP();
    }

    // The file opened in an editor host in a shown window, once its server
    // answers requests.
    void openServed(const QString &name, const QByteArray &content)
    {
        write(name, content);
        load();
        id = open(name).id;
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        host = new NBESourceEditor(NBESourceEditorOwners::of(model.get()), id,
                                   NBEDefaultThemes::light(), nullptr, window.get());
        layout->addWidget(host);
        window->resize(900, 600);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit()->setFocus();
        ASSERT_TRUE(NBETest::waitUntil(
            [&] {
                return NBETest::await(model->languageServers().completion(url(name), 0, 0))
                    .has_value();
            },
            90s))
            << "the server never answered";
    }

    NBECodeTextEdit *edit() const { return host->editor()->textView(); }
    NBECompletionController *completion() const
    {
        return host->editor()->coordinator()->completion();
    }
    QStringList rows() const
    {
        return completion()->isVisible() ? completion()->model()->items() : QStringList();
    }
    void setCaret(int offset)
    {
        QTextCursor cursor = edit()->textCursor();
        cursor.setPosition(offset);
        edit()->setTextCursor(cursor);
    }
    // Types the keys and waits for the server's answer to the last one.
    bool typeAndAwaitServer(const QString &keys)
    {
        QSignalSpy answered(completion(), &NBECompletionController::completionAnswered);
        QTest::keyClicks(edit(), keys);
        return NBETest::waitUntil(
            [&] {
                return !answered.isEmpty() && answered.last().first().toBool() &&
                       completion()->activeLSPItems().has_value();
            },
            60s);
    }
    void moveMouseTo(int offset)
    {
        QTextCursor cursor(edit()->document());
        cursor.setPosition(offset);
        const QPoint point = edit()->cursorRect(cursor).center() +
                             QPoint(edit()->fontMetrics().averageCharWidth() / 2, 0);
        QMouseEvent move(QEvent::MouseMove, point, edit()->viewport()->mapToGlobal(point),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(edit()->viewport(), &move);
    }
};

} // namespace

TEST_F(NBESourceEditorAssist, CSSServerItemsAreShownInItsOrderAndReturnInsertsOne)
{
    openServed(QStringLiteral("style.css"), "a {\n  \n}\n");
    setCaret(6);
    ASSERT_TRUE(typeAndAwaitServer(QStringLiteral("col")));
    const QStringList labels = rows();
    const qsizetype color = labels.indexOf(QStringLiteral("color"));
    ASSERT_GE(color, 0) << labels.join(u' ').toStdString();
    for (qsizetype i = 0; i < color; ++i)
        QTest::keyClick(edit(), Qt::Key_Down);
    QTest::keyClick(edit(), Qt::Key_Return);
    const QString line = edit()->document()->findBlockByNumber(1).text();
    EXPECT_TRUE(line.startsWith(QStringLiteral("  color:"))) << line.toStdString();
    // The accepted text reached the tab.
    EXPECT_EQ(model->tab(id)->sourceFile.content(), edit()->text());
}

TEST_F(NBESourceEditorAssist, CSSReturnAfterABraceIsALineBreakAndTypedWordsNarrowTheList)
{
    openServed(QStringLiteral("style.css"), "\n");
    setCaret(0);
    QTest::keyClicks(edit(), QStringLiteral(".a {"));
    QTest::keyClick(edit(), Qt::Key_Return);
    QTest::qWait(500);
    EXPECT_FALSE(completion()->isVisible());
    EXPECT_EQ(edit()->text(), QStringLiteral(".a {\n\n"));

    // "tom" leaves tomato, which Return takes.
    QTest::keyClicks(edit(), QStringLiteral("color: tom"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return rows().contains(QStringLiteral("tomato")); }, 60s))
        << rows().join(u' ').toStdString();
    for (const QString &row : rows())
        EXPECT_TRUE(row.startsWith(QStringLiteral("tom"), Qt::CaseInsensitive))
            << row.toStdString();
    ASSERT_EQ(rows().first(), QStringLiteral("tomato"));
    QTest::keyClick(edit(), Qt::Key_Return);
    EXPECT_EQ(edit()->document()->findBlockByNumber(1).text(), QStringLiteral("color: tomato"));
    EXPECT_FALSE(completion()->isVisible());

    // After a new rule's brace, a word, Down and Return take the chosen row.
    for (const char *line : {";", "}", ".b {"}) {
        QTest::keyClick(edit(), Qt::Key_End);
        QTest::keyClicks(edit(), QString::fromLatin1(line));
        QTest::keyClick(edit(), Qt::Key_Return);
    }
    EXPECT_FALSE(completion()->isVisible());
    ASSERT_TRUE(typeAndAwaitServer(QStringLiteral("b")));
    ASSERT_TRUE(NBETest::waitUntil([&] { return rows().size() >= 2; }, 60s));
    const QString second = rows()[1];
    QTest::keyClick(edit(), Qt::Key_Down);
    QTest::keyClick(edit(), Qt::Key_Return);
    const QString line = edit()->textCursor().block().text();
    EXPECT_TRUE(line.startsWith(second)) << line.toStdString() << " / " << second.toStdString();

    // Backspace to an empty word closes the panel; a paste never opens it.
    QTest::keyClick(edit(), Qt::Key_End);
    QTest::keyClick(edit(), Qt::Key_Return);
    ASSERT_TRUE(typeAndAwaitServer(QStringLiteral("m")));
    ASSERT_TRUE(NBETest::waitUntil([&] { return completion()->isVisible(); }, 60s));
    QTest::keyClick(edit(), Qt::Key_Backspace);
    EXPECT_FALSE(completion()->isVisible());
    QSignalSpy answered(completion(), &NBECompletionController::completionAnswered);
    QApplication::clipboard()->setText(QStringLiteral("margin"));
    QTest::keyClick(edit(), Qt::Key_V, Qt::ControlModifier);
    QTest::qWait(500);
    EXPECT_FALSE(completion()->isVisible());
    EXPECT_TRUE(answered.isEmpty());
}

TEST_F(NBESourceEditorAssist, HTMLServerAttributesLeaveTheCaretInTheirQuotesForAPath)
{
    write(QStringLiteral("about.html"), "");
    openServed(QStringLiteral("index.html"), "<!DOCTYPE html>\n<html><body>\n\n</body></html>\n");
    setCaret(29);
    ASSERT_TRUE(typeAndAwaitServer(QStringLiteral("<a hr")));
    ASSERT_TRUE(rows().contains(QStringLiteral("href"))) << rows().join(u' ').toStdString();
    while (completion()->model()->items().value(completion()->model()->selected()) !=
           QStringLiteral("href"))
        QTest::keyClick(edit(), Qt::Key_Down);
    QTest::keyClick(edit(), Qt::Key_Return);
    const auto lineWithCaret = [&] {
        QString line = edit()->textCursor().block().text();
        line.insert(edit()->textCursor().positionInBlock(), u'|');
        return line;
    };
    EXPECT_EQ(lineWithCaret(), QStringLiteral("<a href=\"|\""));
    EXPECT_EQ(model->tab(id)->sourceFile.content(), edit()->text());

    // A path typed there completes inside the quotes.
    QSignalSpy listed(completion(), &NBECompletionController::pathsListed);
    QTest::keyClicks(edit(), QStringLiteral("ab"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return rows() == QStringList({"about.html"}); }, 20s))
        << rows().join(u' ').toStdString();
    QTest::keyClick(edit(), Qt::Key_Return);
    EXPECT_EQ(lineWithCaret(), QStringLiteral("<a href=\"about.html|\""));
}

TEST_F(NBESourceEditorAssist, HoverShowsTheServersTextAndHidesOnTypingAndScrolling)
{
    QByteArray css = "a {\n  color: red;\n}\n";
    for (int i = 0; i < 80; ++i)
        css += ".c" + QByteArray::number(i) + " { margin: 0; }\n";
    openServed(QStringLiteral("style.css"), css);
    NBEHoverController *hover = host->editor()->coordinator()->hover();

    QSignalSpy answered(hover, &NBEHoverController::hoverAnswered);
    moveMouseTo(8); // inside "color"
    ASSERT_TRUE(NBETest::waitUntil([&] { return hover->isVisible(); }, 60s));
    EXPECT_TRUE(hover->panel()->text().contains(QStringLiteral("color"), Qt::CaseInsensitive))
        << hover->panel()->text().toStdString();
    // Moving within the same character asks nothing new.
    const qsizetype asked = answered.size();
    moveMouseTo(8);
    QTest::qWait(NBEHoverController::delayMs + 100);
    EXPECT_EQ(answered.size(), asked);
    EXPECT_TRUE(hover->isVisible());

    QTest::keyClick(edit(), Qt::Key_X);
    EXPECT_FALSE(hover->isVisible());

    moveMouseTo(9); // "color", after the typed letter
    ASSERT_TRUE(NBETest::waitUntil([&] { return hover->isVisible(); }, 60s));
    edit()->verticalScrollBar()->setValue(edit()->verticalScrollBar()->value() + 3);
    EXPECT_FALSE(hover->isVisible());

    // Past the end of a line there is no character to ask about.
    QSignalSpy late(hover, &NBEHoverController::hoverAnswered);
    QTextCursor end(edit()->document());
    end.setPosition(3);
    const QPoint beyond = edit()->cursorRect(end).center() + QPoint(200, 0);
    QMouseEvent move(QEvent::MouseMove, beyond, edit()->viewport()->mapToGlobal(beyond),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(edit()->viewport(), &move);
    QTest::qWait(NBEHoverController::delayMs + 100);
    EXPECT_TRUE(late.isEmpty());
    EXPECT_FALSE(hover->hoverOffset().has_value());
}
