#include "NBEWorkspaceFixture.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTextCursor>
#include <QTextDocument>

#include <sys/stat.h>

using Saving = NBEWorkspaceFixture;

TEST_F(Saving, SettingsReadAtTheMomentOfUse)
{
    struct Case
    {
        const char *name;
        std::function<void(NBEDefaults &)> store;
        QString mode;
        double delay;
        QString indent;
    };
    const QList<Case> cases{
        {"unset", [](NBEDefaults &) {}, QStringLiteral("off"), 1.5, QStringLiteral("    ")},
        {"after delay 2.5",
         [](NBEDefaults &d) {
             d.setString(QStringLiteral("nbe.autoSaveMode"), QStringLiteral("afterDelay"));
             d.setDouble(QStringLiteral("nbe.autoSaveDelay"), 2.5);
         },
         QStringLiteral("afterDelay"), 2.5, QStringLiteral("    ")},
        {"zero delay, unknown mode, tab size 0",
         [](NBEDefaults &d) {
             d.setString(QStringLiteral("nbe.autoSaveMode"), QStringLiteral("sometimes"));
             d.setDouble(QStringLiteral("nbe.autoSaveDelay"), 0);
             d.setInt(QStringLiteral("nbe.tabSize"), 0);
         },
         QStringLiteral("off"), 1.5, QStringLiteral(" ")},
        {"negative delay, hard tabs",
         [](NBEDefaults &d) {
             d.setString(QStringLiteral("nbe.autoSaveMode"), QStringLiteral("onFocusChange"));
             d.setDouble(QStringLiteral("nbe.autoSaveDelay"), -3);
             d.setBool(QStringLiteral("nbe.useSoftTabs"), false);
         },
         QStringLiteral("onFocusChange"), 1.5, QStringLiteral("\t")},
        {"wrong types fall back",
         [](NBEDefaults &d) {
             d.setString(QStringLiteral("nbe.useSoftTabs"), QStringLiteral("no"));
             d.setString(QStringLiteral("nbe.tabSize"), QStringLiteral("2"));
             d.setInt(QStringLiteral("nbe.autoSaveDelay"), 3);
         },
         QStringLiteral("off"), 3.0, QStringLiteral("    ")},
    };
    for (const Case &c : cases) {
        for (const QString &key : settings->keys())
            settings->remove(key);
        c.store(*settings);
        EXPECT_EQ(model->preferences().autoSaveMode(), c.mode) << c.name;
        EXPECT_EQ(model->preferences().autoSaveDelay(), c.delay) << c.name;
        EXPECT_EQ(model->saving().currentIndentUnit(), c.indent) << c.name;
    }
}

TEST_F(Saving, SaveWritesTheTextWithTheFilesLineEnding)
{
    write(QStringLiteral("page.html"), "<p>\r\nold\r\n</p>\r\n");
    load();
    const NBEOpenTab tab = open(QStringLiteral("page.html"));
    EXPECT_EQ(tab.sourceFile.content(), QStringLiteral("<p>\nold\n</p>\n"));

    // Unchanged and not forced: nothing is written.
    write(QStringLiteral("page.html"), "changed elsewhere");
    EXPECT_FALSE(saveAndWait(tab.id, false));
    EXPECT_EQ(read(QStringLiteral("page.html")), "changed elsewhere");
    write(QStringLiteral("page.html"), "<p>\r\nold\r\n</p>\r\n");

    model->tabs().updateContent(QStringLiteral("<p>\nnew\n</p>\n"), tab.id);
    EXPECT_TRUE(model->tab(tab.id)->sourceFile.isDirty());
    EXPECT_TRUE(saveAndWait(tab.id, false));
    EXPECT_EQ(read(QStringLiteral("page.html")), "<p>\r\nnew\r\n</p>\r\n");
    EXPECT_FALSE(model->tab(tab.id)->sourceFile.isDirty());

    // Forced, an unchanged tab is written again.
    EXPECT_TRUE(saveAndWait(tab.id, true));
    EXPECT_EQ(read(QStringLiteral("page.html")), "<p>\r\nnew\r\n</p>\r\n");
    EXPECT_TRUE(desktop->outsideQuestions.isEmpty());
}

// Another program wrote the file after the tab read it: a save never
// replaces that silently.
TEST_F(Saving, ASaveOverAnOutsideChangeAsksFirst)
{
    const struct
    {
        const char *name;
        NBEOutsideChangeChoice answer;
        QByteArray onDisk;
        QString inTab;
        bool dirty;
        // The user's Cancel is an answer, not an error; only a question
        // nobody could answer is told.
        bool told;
    } cases[] = {
        {"cancel", NBEOutsideChangeChoice::Cancel, "outside", QStringLiteral("mine"), true, false},
        {"unanswered", NBEOutsideChangeChoice::Unanswered, "outside", QStringLiteral("mine"), true,
         true},
        {"overwrite", NBEOutsideChangeChoice::Overwrite, "mine", QStringLiteral("mine"), false,
         false},
        {"reload", NBEOutsideChangeChoice::ReloadFromDisk, "outside", QStringLiteral("outside"),
         false, false},
    };
    for (const auto &c : cases)
        write(QString::fromLatin1(c.name) + QStringLiteral(".css"), "first");
    load();
    for (const auto &c : cases) {
        const QString name = QString::fromLatin1(c.name) + QStringLiteral(".css");
        const QUuid id = open(name).id;
        model->tabs().updateContent(QStringLiteral("mine"), id);
        write(name, "outside");
        desktop->outsideAnswer = c.answer;
        desktop->outsideQuestions.clear();
        model->clearErrorMessage();

        EXPECT_EQ(saveAndWait(id, true), c.answer == NBEOutsideChangeChoice::Overwrite) << c.name;
        EXPECT_EQ(desktop->outsideQuestions, QStringList{name}) << c.name;
        EXPECT_EQ(read(name), c.onDisk) << c.name;
        EXPECT_EQ(model->tab(id)->sourceFile.content(), c.inTab) << c.name;
        EXPECT_EQ(model->tab(id)->sourceFile.isDirty(), c.dirty) << c.name;
        EXPECT_EQ(model->errorMessage().has_value(), c.told) << c.name;
    }

    // Flushing before a hunk action asks the same way.
    const QUuid id = open(QStringLiteral("overwrite.css")).id;
    model->tabs().updateContent(QStringLiteral("mine again"), id);
    write(QStringLiteral("overwrite.css"), "outside again");
    desktop->outsideAnswer = NBEOutsideChangeChoice::Cancel;
    desktop->outsideQuestions.clear();
    EXPECT_FALSE(NBETest::await(model->saving().flushTab(id)));
    EXPECT_EQ(desktop->outsideQuestions.size(), 1);
    EXPECT_EQ(read(QStringLiteral("overwrite.css")), "outside again");
}

TEST_F(Saving, AutoSaveSkipsAnOutsideChangeAndSaysSoOnce)
{
    const QUuid id = loadAndEdit(QStringLiteral("a.css"), "first", QStringLiteral("mine"));
    write(QStringLiteral("a.css"), "outside");
    EXPECT_FALSE(saveAndWait(id, false));
    EXPECT_TRUE(desktop->outsideQuestions.isEmpty());
    EXPECT_EQ(read(QStringLiteral("a.css")), "outside");
    ASSERT_TRUE(model->notice().has_value());
    EXPECT_TRUE(model->notice()->contains(QStringLiteral("a.css")));
    EXPECT_FALSE(model->errorMessage().has_value());
    model->clearNotice();
    model->tabs().updateContent(QStringLiteral("mine, more"), id);
    EXPECT_FALSE(saveAndWait(id, false));
    EXPECT_FALSE(model->notice().has_value());
    EXPECT_EQ(read(QStringLiteral("a.css")), "outside");

    // A vanished file isn't brought back by an automatic save either.
    QFile::remove(path(QStringLiteral("a.css")));
    model->clearNotice();
    desktop->outsideAnswer = NBEOutsideChangeChoice::Overwrite;
    EXPECT_FALSE(saveAndWait(id, false));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("a.css"))));
    // The Save command asks, and Overwrite writes it again.
    EXPECT_TRUE(saveAndWait(id, true));
    EXPECT_EQ(desktop->outsideQuestions, QStringList{QStringLiteral("a.css (vanished)")});
    EXPECT_EQ(read(QStringLiteral("a.css")), "mine, more");
}

// With format on save the question comes first: Cancel leaves the text as
// typed, Overwrite writes it formatted.
TEST_F(Saving, FormatOnSaveWaitsForTheOutsideChangeQuestion)
{
    settings->setBool(QStringLiteral("nbe.formatOnSave"), true);
    const struct
    {
        const char *name;
        NBEOutsideChangeChoice answer;
        bool formatted;
    } cases[] = {{"cancel", NBEOutsideChangeChoice::Cancel, false},
                 {"overwrite", NBEOutsideChangeChoice::Overwrite, true}};
    for (const auto &c : cases)
        write(QString::fromLatin1(c.name) + QStringLiteral(".css"), "first");
    load();
    const QString typed = QStringLiteral("a{color:red}");
    for (const auto &c : cases) {
        const QString name = QString::fromLatin1(c.name) + QStringLiteral(".css");
        const QUuid id = open(name).id;
        model->tabs().updateContent(typed, id);
        write(name, "outside");
        desktop->outsideAnswer = c.answer;
        desktop->outsideQuestions.clear();

        EXPECT_EQ(saveAndWait(id, true), c.formatted) << c.name;
        EXPECT_EQ(desktop->outsideQuestions, QStringList{name}) << c.name;
        const QString content = model->tab(id)->sourceFile.content();
        EXPECT_EQ(content != typed, c.formatted) << c.name;
        EXPECT_EQ(read(name), c.formatted ? content.toUtf8() : QByteArray("outside")) << c.name;
    }
}

// Nothing changed in the text: a touched file, or one whose mixed line
// endings the tab normalised, saves without a question.
TEST_F(Saving, AnEqualTextOnDiskIsNoOutsideChange)
{
    const QUuid mixed =
        loadAndEdit(QStringLiteral("mixed.css"), "a\r\nb\nc\r\n", QStringLiteral("edited\n"));
    EXPECT_TRUE(saveAndWait(mixed, false));
    EXPECT_EQ(read(QStringLiteral("mixed.css")), "edited\r\n");

    write(QStringLiteral("t.css"), "same");
    const QUuid touched = open(QStringLiteral("t.css")).id;
    model->tabs().updateContent(QStringLiteral("new"), touched);
    QFile file(path(QStringLiteral("t.css")));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime);
    file.close();
    EXPECT_TRUE(saveAndWait(touched, false));
    EXPECT_EQ(read(QStringLiteral("t.css")), "new");
    EXPECT_TRUE(desktop->outsideQuestions.isEmpty());
}

// A tool converted a file's line ends or its mark: the text reads the same,
// but the file is not as the tab knew it. A clean tab takes the new form and
// keeps it when saved; one with edits asks before its save converts back.
TEST_F(Saving, AFileConvertedOutsideIsSavedInItsNewForm)
{
    const QByteArray mark = "\xEF\xBB\xBF";
    const struct
    {
        const char *name;
        QByteArray before;
        QByteArray converted;
        bool edited;
        QByteArray saved;
    } cases[] = {
        {"to-lf.css", "a\r\nb\r\n", "a\nb\n", false, "a\nb\nc\n"},
        {"to-crlf.css", "a\nb\n", "a\r\nb\r\n", false, "a\r\nb\r\nc\r\n"},
        {"mark-removed.css", mark + "a\nb\n", "a\nb\n", false, "a\nb\nc\n"},
        {"mark-added.css", "a\nb\n", mark + "a\nb\n", false, mark + "a\nb\nc\n"},
        {"edited.css", "a\r\nb\r\n", "a\nb\n", true, "a\nb\n"},
    };
    for (const auto &c : cases)
        write(QString::fromLatin1(c.name), c.before);
    load();
    QList<QUuid> ids;
    for (const auto &c : cases) {
        ids.append(open(QString::fromLatin1(c.name)).id);
        if (c.edited)
            model->tabs().updateContent(QStringLiteral("a\nb\nc\n"), ids.last());
        write(QString::fromLatin1(c.name), c.converted);
    }
    NBETest::await(model->saving().followDisk({}));
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const auto &c = cases[i];
        // The reload that follows the check reads the file again.
        ASSERT_TRUE(NBETest::waitUntil(
            [&] {
                const NBESourceFile file = model->tab(ids[i])->sourceFile;
                return c.edited ||
                       (file.byteOrderMark == c.converted.startsWith(mark) &&
                        (file.lineEnding == NBELineEnding::CRLF) == c.converted.contains("\r\n"));
            },
            std::chrono::seconds(5)))
            << c.name;
        model->tabs().updateContent(QStringLiteral("a\nb\nc\n"), ids[i]);
        desktop->outsideQuestions.clear();
        EXPECT_EQ(saveAndWait(ids[i], true), !c.edited) << c.name;
        EXPECT_EQ(read(QString::fromLatin1(c.name)), c.edited ? c.converted : c.saved) << c.name;
        EXPECT_EQ(desktop->outsideQuestions.size(), c.edited ? 1 : 0) << c.name;
    }
}

// A long file's buffer and stamp are made off the main thread, side by side:
// the stamp still knows the text read, so a touch is no change and another
// text of the same size and time is one.
TEST_F(Saving, ALongFileKnowsWhatItRead)
{
    const QByteArray page = QByteArray("<p>long</p>\n").repeated(128 * 1024);
    const struct
    {
        const char *name;
        QByteArray outside;
        bool asked;
    } cases[] = {{"touched", page, false},
                 {"rewritten", QByteArray(page).replace("long", "LONG"), true}};
    load();
    for (const auto &c : cases) {
        // Written just before it is read, so that its time can't tell.
        const QString name = QString::fromLatin1(c.name) + QStringLiteral(".html");
        write(name, page);
        const QUuid id = open(name).id;
        ASSERT_EQ(model->tab(id)->sourceFile.content().size(), page.size()) << c.name;
        QFile file(path(name));
        const QDateTime modified = QFileInfo(file).lastModified();
        write(name, c.outside);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(modified, QFileDevice::FileModificationTime);
        file.close();
        model->tabs().updateContent(QStringLiteral("mine"), id);
        desktop->outsideAnswer = NBEOutsideChangeChoice::Cancel;
        desktop->outsideQuestions.clear();
        EXPECT_EQ(saveAndWait(id, true), !c.asked) << c.name;
        EXPECT_EQ(desktop->outsideQuestions.size(), c.asked ? 1 : 0) << c.name;
        EXPECT_EQ(read(name), c.asked ? c.outside : QByteArray("mine")) << c.name;
    }
}

// One focus loss is reported by the application, by the window and by the
// view model's own hook: the three saves must leave the formatted text.
TEST_F(Saving, RepeatedSavesOfOneTabLeaveTheFormattedText)
{
    settings->setString(QStringLiteral("nbe.autoSaveMode"), QStringLiteral("onFocusChange"));
    settings->setBool(QStringLiteral("nbe.formatOnSave"), true);
    const QUuid id = loadAndEdit(QStringLiteral("a.css"), "", QStringLiteral("a{color:red}"));
    const QList<QFuture<bool>> saves{model->saving().saveTab(id, false),
                                     model->saving().saveTab(id, false),
                                     model->saving().saveTab(id, false)};
    for (const QFuture<bool> &save : saves)
        NBETest::await(save);
    const NBEOpenTab tab = *model->tab(id);
    EXPECT_NE(tab.sourceFile.content(), QStringLiteral("a{color:red}"));
    EXPECT_EQ(read(QStringLiteral("a.css")), tab.sourceFile.content().toUtf8());
    EXPECT_FALSE(tab.sourceFile.isDirty());
    EXPECT_FALSE(model->errorMessage().has_value());
}

TEST_F(Saving, TextTypedDuringTheWriteStaysUnsaved)
{
    const QUuid id = loadAndEdit(QStringLiteral("a.css"), "a", QStringLiteral("first"));
    auto saving = model->saving().saveTab(id, false);
    // Typed before the write has reported back.
    model->tabs().updateContent(QStringLiteral("first and more"), id);
    EXPECT_TRUE(NBETest::await(saving));
    EXPECT_EQ(read(QStringLiteral("a.css")), "first");
    const NBEOpenTab tab = *model->tab(id);
    EXPECT_EQ(tab.sourceFile.content(), QStringLiteral("first and more"));
    EXPECT_TRUE(tab.sourceFile.isDirty());
}

TEST_F(Saving, AFailedWriteKeepsTheEditsAndSaysWhy)
{
    const QUuid id = loadAndEdit(QStringLiteral("a.css"), "a", QStringLiteral("precious"));
    blockWrites(QStringLiteral("a.css"));

    EXPECT_FALSE(saveAndWait(id, true));
    ASSERT_TRUE(model->errorMessage().has_value());
    EXPECT_TRUE(model->errorMessage()->startsWith(QStringLiteral("Failed to save: ")));
    EXPECT_TRUE(model->errorMessage()->contains(QStringLiteral("a.css")));
    EXPECT_EQ(model->tab(id)->sourceFile.content(), QStringLiteral("precious"));
    EXPECT_TRUE(model->tab(id)->sourceFile.isDirty());

    model->clearErrorMessage();
    NBETest::await(model->saving().flushTab(id));
    EXPECT_TRUE(model->errorMessage()->startsWith(QStringLiteral("Failed to save: ")));
    EXPECT_TRUE(model->tab(id)->sourceFile.isDirty());
}

TEST_F(Saving, AFullDiskKeepsEveryFileAndTheEdits)
{
    NBETest::SmallDisk disk(root);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    // Below and above the save file's 16 KiB buffer.
    const QList<QPair<QString, QByteArray>> files{
        {QStringLiteral("small.css"), QByteArray(1024, 'a')},
        {QStringLiteral("large.js"), QByteArray(20 * 1024, 'b')}};
    for (const auto &[name, bytes] : files)
        write(name, bytes);
    load();
    QList<QUuid> ids;
    for (const auto &[name, bytes] : files) {
        ids.append(open(name).id);
        model->tabs().updateContent(QStringLiteral("edited ") + name, ids.last());
    }
    disk.fill();

    // An automatic save comes in a typing pause: it says why as a notice,
    // never as an error the window shows as an alert.
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString &name = files[i].first;
        model->clearNotice();
        EXPECT_FALSE(saveAndWait(ids[i], false)) << name.toStdString();
        EXPECT_EQ(read(name), files[i].second) << name.toStdString();
        EXPECT_TRUE(model->tab(ids[i])->sourceFile.isDirty()) << name.toStdString();
        EXPECT_EQ(
            model->notice().value_or(QString()),
            QStringLiteral("Failed to save: Couldn't save “%1”: the disk is full.").arg(name));
        EXPECT_FALSE(model->errorMessage().has_value());
    }

    // Later pauses fail the same way and say nothing more.
    model->clearNotice();
    for (int pause = 0; pause < 3; ++pause) {
        model->tabs().updateContent(QStringLiteral("edited again %1").arg(pause), ids[0]);
        EXPECT_FALSE(saveAndWait(ids[0], false));
    }
    EXPECT_FALSE(model->notice().has_value());
    EXPECT_FALSE(model->errorMessage().has_value());
    // The Save command always says why.
    EXPECT_FALSE(saveAndWait(ids[0], true));
    EXPECT_TRUE(model->errorMessage().has_value());
    model->tabs().updateContent(QStringLiteral("edited ") + files[0].first, ids[0]);

    // Once there is room again the same tabs save.
    disk.empty();
    for (qsizetype i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(saveAndWait(ids[i], false));
        EXPECT_EQ(read(files[i].first), "edited " + files[i].first.toUtf8());
    }
}

TEST_F(Saving, FormatOnSaveOnlyForFormattableLanguagesAndTheRightSaves)
{
    settings->setBool(QStringLiteral("nbe.formatOnSave"), true);
    settings->setInt(QStringLiteral("nbe.tabSize"), 2);
    write(QStringLiteral("a.css"), "a{color:red}");
    write(QStringLiteral("b.json"), "{\"a\":1}");
    load();
    const QUuid css = open(QStringLiteral("a.css")).id;
    const QUuid json = open(QStringLiteral("b.json")).id;

    // The Save command (forced) formats CSS.
    EXPECT_TRUE(saveAndWait(css, true));
    const QByteArray formatted = read(QStringLiteral("a.css"));
    EXPECT_NE(formatted, "a{color:red}");
    EXPECT_TRUE(formatted.contains("  color")) << formatted.toStdString();
    EXPECT_EQ(model->tab(css)->sourceFile.content(), QString::fromUtf8(formatted));
    EXPECT_FALSE(model->tab(css)->sourceFile.isDirty());

    // Formatting that changes nothing leaves the buffer alone.
    int changes = 0;
    auto connection =
        QObject::connect(&model->files(), &NBEWorkspaceFiles::workspaceChanged, [&] { ++changes; });
    EXPECT_TRUE(saveAndWait(css, true));
    EXPECT_EQ(changes, 0);
    QObject::disconnect(connection);

    // JSON has no built-in formatter: written as it is.
    model->tabs().updateContent(QStringLiteral("{\"a\":2}"), json);
    EXPECT_TRUE(saveAndWait(json, true));
    EXPECT_EQ(read(QStringLiteral("b.json")), "{\"a\":2}");

    // An unforced save outside the focus-change mode doesn't format.
    model->tabs().updateContent(QStringLiteral("b{color:blue}"), css);
    EXPECT_TRUE(saveAndWait(css, false));
    EXPECT_EQ(read(QStringLiteral("a.css")), "b{color:blue}");

    // In the focus-change mode every save formats.
    settings->setString(QStringLiteral("nbe.autoSaveMode"), QStringLiteral("onFocusChange"));
    model->tabs().updateContent(QStringLiteral("c{color:green}"), css);
    EXPECT_TRUE(saveAndWait(css, false));
    EXPECT_NE(read(QStringLiteral("a.css")), "c{color:green}");
}

TEST_F(Saving, AfterDelaySavesEachTabOnceItsEditsRest)
{
    settings->setString(QStringLiteral("nbe.autoSaveMode"), QStringLiteral("afterDelay"));
    settings->setDouble(QStringLiteral("nbe.autoSaveDelay"), 0.3);
    settings->setBool(QStringLiteral("nbe.formatOnSave"), true);
    write(QStringLiteral("a.css"), "a");
    write(QStringLiteral("b.css"), "b");
    load();
    const QUuid a = open(QStringLiteral("a.css")).id;
    const QUuid b = open(QStringLiteral("b.css")).id;

    model->tabs().updateContent(QStringLiteral("a{color:red}"), a);
    model->tabs().updateContent(QStringLiteral("b1"), b);
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(150));
    model->tabs().updateContent(QStringLiteral("b2"), b);
    EXPECT_EQ(read(QStringLiteral("b.css")), "b");
    ASSERT_TRUE(NBETest::waitUntil([&] { return !model->tab(a)->sourceFile.isDirty(); }));
    // Delayed saves never format.
    EXPECT_EQ(read(QStringLiteral("a.css")), "a{color:red}");
    ASSERT_TRUE(NBETest::waitUntil([&] { return !model->tab(b)->sourceFile.isDirty(); }));
    EXPECT_EQ(read(QStringLiteral("b.css")), "b2");
}

TEST_F(Saving, OffModeSavesOnlyOnCommand)
{
    settings->setDouble(QStringLiteral("nbe.autoSaveDelay"), 0.05);
    write(QStringLiteral("a.css"), "a");
    write(QStringLiteral("b.css"), "b");
    load();
    const QUuid a = open(QStringLiteral("a.css")).id;
    const QUuid b = open(QStringLiteral("b.css")).id;
    model->tabs().updateContent(QStringLiteral("edited"), a);
    model->navigation().activateTab(b);
    model->saving().autoSaveOnFocusChange();
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(read(QStringLiteral("a.css")), "a");
    EXPECT_TRUE(model->tab(a)->sourceFile.isDirty());
}

TEST_F(Saving, FocusChangeSavesTheTabLeftAndEveryDirtyTab)
{
    settings->setString(QStringLiteral("nbe.autoSaveMode"), QStringLiteral("onFocusChange"));
    for (const char *name : {"a.css", "b.css", "c.css"})
        write(QString::fromLatin1(name), name);
    load();
    const QUuid a = open(QStringLiteral("a.css")).id;
    const QUuid b = open(QStringLiteral("b.css")).id;
    const QUuid c = open(QStringLiteral("c.css")).id;

    // Opening a file activates directly: nothing is saved.
    model->tabs().updateContent(QStringLiteral("c edited"), c);
    model->navigation().activateTab(c);
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(read(QStringLiteral("c.css")), "c.css");
    model->navigation().activateTab(a);
    ASSERT_TRUE(NBETest::waitUntil([&] { return read(QStringLiteral("c.css")) == "c edited"; }));

    model->tabs().updateContent(QStringLiteral("a edited"), a);
    model->tabs().updateContent(QStringLiteral("b edited"), b);
    // The application losing focus saves every dirty tab.
    activity.setActive(false);
    ASSERT_TRUE(NBETest::waitUntil([&] {
        return !model->tab(a)->sourceFile.isDirty() && !model->tab(b)->sourceFile.isDirty();
    }));
    EXPECT_EQ(read(QStringLiteral("a.css")), "a edited");
    EXPECT_EQ(read(QStringLiteral("b.css")), "b edited");
}

TEST_F(Saving, SavingRefreshesTheGitState)
{
    write(QStringLiteral("a.css"), "a");
    git({QStringLiteral("init"), QStringLiteral("-q")});
    git({QStringLiteral("add"), QStringLiteral(".")});
    git({QStringLiteral("commit"), QStringLiteral("-qm"), QStringLiteral("first")});
    load();
    EXPECT_TRUE(model->gitState().snapshot().changes.isEmpty());
    const QUuid id = open(QStringLiteral("a.css")).id;
    model->tabs().updateContent(QStringLiteral("b"), id);
    EXPECT_TRUE(saveAndWait(id, false));
    EXPECT_EQ(model->gitState().status(url(QStringLiteral("a.css"))), NBEGitStatus::modified);
}

TEST_F(Saving, WorkInFlightWhenTheWindowGoesAway)
{
    settings->setString(QStringLiteral("nbe.autoSaveMode"), QStringLiteral("afterDelay"));
    settings->setDouble(QStringLiteral("nbe.autoSaveDelay"), 0.05);
    write(QStringLiteral("a.css"), "a");
    write(QStringLiteral("b.html"), "<p>");
    git({QStringLiteral("init"), QStringLiteral("-q")});
    load();
    const QUuid a = open(QStringLiteral("a.css")).id;
    const QUuid b = open(QStringLiteral("b.html")).id;
    model->tabs().updateContent(QStringLiteral("saved before the window closed"), a);
    model->tabs().updateContent(QStringLiteral("<div>"), b);
    model->saving().saveTab(a, false);
    model->gitState().refresh();
    model->navigation().openFile(url(QStringLiteral("b.html")), false);
    // Released with a write, a refresh, a validation and timers pending:
    // nothing runs into the released model, and the started write lands.
    model.reset();
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(read(QStringLiteral("a.css")), "saved before the window closed");
}

// A byte-order mark is no character of the text: typing at the very start
// goes after it, and the save writes it back first.
TEST_F(Saving, ByteOrderMarkStaysFirstWhenTypingAtTheStart)
{
    write(QStringLiteral("style.css"), "\xef\xbb\xbf"
                                       "body {}\r\n");
    load();
    const NBEOpenTab tab = open(QStringLiteral("style.css"));
    EXPECT_EQ(tab.sourceFile.content(), QStringLiteral("body {}\n"));

    QTextCursor start(tab.sourceFile.buffer->document());
    start.movePosition(QTextCursor::Start);
    start.insertText(QStringLiteral("/* header */\n"));
    EXPECT_TRUE(saveAndWait(tab.id, false));
    EXPECT_EQ(read(QStringLiteral("style.css")), "\xef\xbb\xbf/* header */\r\nbody {}\r\n");
}

namespace {

mode_t modeOf(const QString &file)
{
    struct stat info = {};
    ::stat(QFile::encodeName(file).constData(), &info);
    return info.st_mode & 07777;
}

} // namespace

// Written as an ordinary user: a read-only file is replaced only through the
// question that says it is read-only, and stays read-only.
TEST_F(Saving, AReadOnlyFileIsSavedOnlyWhenTheUserSaysSo)
{
    write(QStringLiteral("style.css"), "a{}\n");
    write(QStringLiteral("auto.css"), "a{}\n");
    NBETest::giveToNobody(dir.path());
    for (const char *name : {"style.css", "auto.css"})
        QFile::setPermissions(path(QString::fromLatin1(name)),
                              QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

    NBETest::asNobody([&] {
        remakeModel();
        load();
        const QUuid id = open(QStringLiteral("style.css")).id;
        model->tabs().updateContent(QStringLiteral("b{}\n"), id);
        const struct
        {
            NBEOutsideChangeChoice answer;
            std::optional<QString> told;
        } unwritten[] = {
            {NBEOutsideChangeChoice::Unanswered,
             QStringLiteral("Failed to save: “style.css” is not writable.")},
            {NBEOutsideChangeChoice::Cancel, std::nullopt},
        };
        for (const auto &c : unwritten) {
            desktop->readOnlyAnswer = c.answer;
            model->clearErrorMessage();
            EXPECT_FALSE(saveAndWait(id, true));
            EXPECT_EQ(model->errorMessage(), c.told);
            EXPECT_EQ(read(QStringLiteral("style.css")), "a{}\n");
            EXPECT_TRUE(model->tab(id)->sourceFile.isDirty());
        }
        EXPECT_EQ(desktop->readOnlyQuestions.size(), 2);
        desktop->readOnlyAnswer = NBEOutsideChangeChoice::Overwrite;
        EXPECT_TRUE(saveAndWait(id, true));
        EXPECT_FALSE(model->tab(id)->sourceFile.isDirty());

        // An automatic save never asks and says so once.
        desktop->readOnlyQuestions.clear();
        const QUuid automatic = open(QStringLiteral("auto.css")).id;
        model->clearNotice();
        for (int pause = 0; pause < 2; ++pause) {
            model->tabs().updateContent(QStringLiteral("b{%1}\n").arg(pause), automatic);
            EXPECT_FALSE(saveAndWait(automatic, false));
            EXPECT_EQ(model->notice(), pause == 0
                                           ? std::optional(QStringLiteral(
                                                 "Failed to save: “auto.css” is not writable."))
                                           : std::nullopt);
            EXPECT_FALSE(model->errorMessage().has_value());
            model->clearNotice();
        }
        EXPECT_TRUE(desktop->readOnlyQuestions.isEmpty());
    });
    EXPECT_EQ(read(QStringLiteral("style.css")), "b{}\n");
    EXPECT_EQ(modeOf(path(QStringLiteral("style.css"))), 0444u);
    EXPECT_EQ(read(QStringLiteral("auto.css")), "a{}\n");
    EXPECT_EQ(modeOf(path(QStringLiteral("auto.css"))), 0444u);
}

// A file made unreadable behind the tab's back: the save asks, auto-save
// skips it, and a clean tab says it can't follow it.
TEST_F(Saving, AFileTheUserCanNoLongerReadIsAChangeOnDisk)
{
    write(QStringLiteral("index.html"), "<p>old</p>\n");
    write(QStringLiteral("clean.html"), "<p>old</p>\n");
    NBETest::giveToNobody(dir.path());

    NBETest::asNobody([&] {
        remakeModel();
        load();
        const QUuid clean = open(QStringLiteral("clean.html")).id;
        const QUuid id = open(QStringLiteral("index.html")).id;
        model->tabs().updateContent(QStringLiteral("<p>mine</p>\n"), id);
        for (const char *name : {"index.html", "clean.html"}) {
            QFile file(path(QString::fromLatin1(name)));
            ASSERT_TRUE(file.open(QIODevice::Append));
            file.write("<p>theirs</p>\n");
            file.close();
            ASSERT_TRUE(file.setPermissions({}));
        }

        EXPECT_FALSE(saveAndWait(id, false));
        EXPECT_TRUE(desktop->outsideQuestions.isEmpty());
        EXPECT_EQ(
            model->notice(),
            QStringLiteral("“index.html” changed on disk, so it wasn't saved automatically."));
        desktop->outsideAnswer = NBEOutsideChangeChoice::Cancel;
        EXPECT_FALSE(saveAndWait(id, true));
        EXPECT_EQ(desktop->outsideQuestions, QStringList{QStringLiteral("index.html")});
        EXPECT_TRUE(model->tab(id)->sourceFile.isDirty());

        model->clearNotice();
        NBETest::await(model->saving().followDisk({}));
        ASSERT_TRUE(NBETest::waitUntil([&] { return model->notice().has_value(); }));
        EXPECT_TRUE(model->notice()->startsWith(QStringLiteral("Failed to read file: ")));
        EXPECT_EQ(model->tab(clean)->sourceFile.content(), QStringLiteral("<p>old</p>\n"));
    });
    EXPECT_EQ(read(QStringLiteral("index.html")), "<p>old</p>\n<p>theirs</p>\n");
    EXPECT_EQ(modeOf(path(QStringLiteral("index.html"))), 0u);
}

// The preview tab shows one file after another: each file it shows that
// can no longer be read is said, not only the first.
TEST_F(Saving, EachFileAPreviewTabShowsIsSaidWhenItCanNoLongerBeRead)
{
    write(QStringLiteral("a.html"), "<p>a</p>\n");
    write(QStringLiteral("b.html"), "<p>b</p>\n");
    NBETest::giveToNobody(dir.path());

    NBETest::asNobody([&] {
        remakeModel();
        load();
        QUuid preview;
        for (const char *name : {"a.html", "b.html"}) {
            const QString file = QString::fromLatin1(name);
            const QUuid id = open(file, true).id;
            if (preview.isNull())
                preview = id;
            ASSERT_EQ(id, preview);
            ASSERT_TRUE(QFile::setPermissions(path(file), {}));
            model->clearNotice();
            NBETest::await(model->saving().followDisk({}));
            ASSERT_TRUE(NBETest::waitUntil([&] { return model->notice().has_value(); })) << name;
            EXPECT_TRUE(model->notice()->contains(file)) << model->notice()->toStdString();
        }
    });
}

// A file whose mode alone changed (made executable) is the same text: its
// tab keeps its document, and the next save asks nothing and keeps the mode.
TEST_F(Saving, AFileWhoseModeAloneChangedKeepsItsTab)
{
    write(QStringLiteral("run.js"), "console.log(1);\n");
    load();
    const NBEOpenTab tab = open(QStringLiteral("run.js"));
    const QString file = path(QStringLiteral("run.js"));
    ASSERT_TRUE(QFile::setPermissions(file, QFile::permissions(file) | QFile::ExeOwner));
    NBETest::await(model->saving().followDisk({}));
    ASSERT_TRUE(NBETest::waitUntil(
        [&] { return (model->tab(tab.id)->sourceFile.diskStamp->mode & S_IXUSR) != 0; }));
    EXPECT_EQ(model->tab(tab.id)->sourceFile.id, tab.sourceFile.id);

    model->tabs().updateContent(QStringLiteral("console.log(2);\n"), tab.id);
    EXPECT_TRUE(saveAndWait(tab.id, true));
    EXPECT_TRUE(desktop->outsideQuestions.isEmpty());
    EXPECT_EQ(read(QStringLiteral("run.js")), "console.log(2);\n");
    EXPECT_NE(modeOf(file) & S_IXUSR, 0u);
}
