#include "NBEWorkspaceFixture.h"

using Validation = NBEWorkspaceFixture;

using HTMLValidation = NBEWorkspaceFixture;

TEST_F(HTMLValidation, OpeningAndEditingValidatesOnceTheTextRests)
{
    write(QStringLiteral("page.html"), "<div>\n");
    load();
    int stores = 0;
    QObject::connect(&model->diagnosticsStore(), &NBEDiagnosticsStore::changed, [&] { ++stores; });
    const QUuid id = open(QStringLiteral("page.html")).id;
    ASSERT_TRUE(NBETest::waitUntil([&] { return stores == 1; }));
    EXPECT_FALSE(model->diagnosticsStore().forFile(url(QStringLiteral("page.html"))).isEmpty());

    // Five quick edits: one check, of the final text.
    const QStringList edits{QStringLiteral("<div>"), QStringLiteral("<div></"),
                            QStringLiteral("<div></d"), QStringLiteral("<div></di"),
                            QStringLiteral("<div></div>")};
    for (const QString &text : edits) {
        model->tabs().updateContent(text, id);
        NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(15));
    }
    ASSERT_TRUE(NBETest::waitUntil([&] { return stores == 2; }));
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(stores, 2);
    // A clean result replaces the earlier findings with an empty list.
    EXPECT_TRUE(model->diagnosticsStore().all().contains(path(QStringLiteral("page.html"))));
    EXPECT_TRUE(model->diagnosticsStore().forFile(url(QStringLiteral("page.html"))).isEmpty());
    EXPECT_EQ(model->diagnosticsStore().summary(), (NBEDiagnosticSummary{0, 0}));
}

TEST_F(HTMLValidation, ClosingTheTabDropsItsDiagnosticsAndPendingCheck)
{
    write(QStringLiteral("a.html"), "<p>\n");
    write(QStringLiteral("b.html"), "<span>\n");
    load();
    const QUuid a = open(QStringLiteral("a.html")).id;
    const QUuid b = open(QStringLiteral("b.html")).id;
    ASSERT_TRUE(NBETest::waitUntil([&] { return model->diagnosticsStore().all().size() == 2; }));
    EXPECT_GE(model->diagnosticsStore().summary().errors +
                  model->diagnosticsStore().summary().warnings,
              2);
    ASSERT_GE(model->diagnosticsStore().sorted().size(), 2);
    EXPECT_EQ(model->diagnosticsStore().sorted().first().url.fileName(), QStringLiteral("a.html"));

    model->tabs().updateContent(QStringLiteral("<em>"), a);
    desktop->answer = NBEUnsavedChangesChoice::DontSave;
    EXPECT_TRUE(NBETest::await(model->tabs().closeTab(a)));
    EXPECT_FALSE(model->diagnosticsStore().all().contains(path(QStringLiteral("a.html"))));
    // The counts kept as lists came and went are those of what is left.
    EXPECT_EQ(model->diagnosticsStore().summary(),
              NBEFileDiagnostics::summary(model->diagnosticsStore().all()));
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(250));
    EXPECT_FALSE(model->diagnosticsStore().all().contains(path(QStringLiteral("a.html"))));

    // Closing all tabs at once leaves the findings listed.
    EXPECT_TRUE(NBETest::await(model->tabs().closeAllTabs()));
    EXPECT_FALSE(model->tab(b).has_value());
    EXPECT_TRUE(model->diagnosticsStore().all().contains(path(QStringLiteral("b.html"))));
}

TEST_F(Validation, OtherLanguagesAreNotChecked)
{
    write(QStringLiteral("notes.md"), "<div>\n");
    load();
    const QUuid id = open(QStringLiteral("notes.md")).id;
    model->tabs().updateContent(QStringLiteral("<span>"), id);
    NBETest::waitUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_TRUE(model->diagnosticsStore().all().isEmpty());
}
