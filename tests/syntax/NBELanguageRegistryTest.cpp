#include "NBELanguageRegistry.h"

#include <gtest/gtest.h>

TEST(NBELanguageRegistry, FindsTheLanguageOfAFile)
{
    struct Row
    {
        const char *path;
        const char *id; // nullptr: no language
    };
    const Row rows[] = {
        {"/p/INDEX.HTML", "html"},
        {"/p/page.htm", "html"},
        {"/p/README.Markdown", "markdown"},
        {"/p/notes.md", "markdown"},
        {"/p/app.mjs", "javascript"},
        {"/p/view.jsx", "javascript"},
        {"/p/lib.cjs", "javascript"},
        {"/p/docker-compose.yml", "yaml"},
        {"/p/config.YAML", "yaml"},
        {"/p/style.css", "css"},
        {"/p/data.json", "json"},
        {"/p/Sources/App.swift", "swift"},
        {"/p/Resources/Views/base.leaf", "leaf"},
        {"/p/deep/Package.resolved", "json"},
        {"/p/package.resolved", nullptr},
        {"/p/.env", "env"},
        {"/p/.env.local", "env"},
        {"/p/.env.production", "env"},
        {"/p/x.env", "env"},
        {"/p/X.ENV", "env"},
        {"/p/.envrc", nullptr},
        {"/p/Makefile", nullptr},
        {"/p/notes.txt", nullptr},
        {"/p/archive.tar.gz", nullptr},
        {"/p/trailing.", nullptr},
        {"/p/.yml", "yaml"},
    };
    for (const Row &row : rows) {
        const auto language =
            NBELanguageRegistry::language(QUrl::fromLocalFile(QString::fromUtf8(row.path)));
        if (row.id)
            EXPECT_EQ(language ? language->id : QStringLiteral("(none)"),
                      QString::fromLatin1(row.id))
                << row.path;
        else
            EXPECT_FALSE(language.has_value()) << row.path;
    }
}

TEST(NBELanguageRegistry, ExtensionLookupAndRecords)
{
    EXPECT_EQ(NBELanguageRegistry::language(QStringLiteral("HTM"))->id, QStringLiteral("html"));
    EXPECT_FALSE(NBELanguageRegistry::language(QString()).has_value());
    EXPECT_FALSE(NBELanguageRegistry::language(QStringLiteral(".html")).has_value());

    QStringList ids;
    int rules = 0;
    for (const NBELanguage &language : NBELanguageRegistry::all()) {
        ids << language.id;
        rules += language.tokenRules.size();
        EXPECT_EQ(NBELanguageRegistry::languageWithID(language.id), language);
    }
    EXPECT_EQ(ids.join(u','),
              QStringLiteral("html,css,javascript,json,swift,markdown,leaf,env,yaml"));
    EXPECT_EQ(rules, 74 + 7) << "leaf repeats the seven html rules";

    const NBELanguage &html = NBELanguageRegistry::html();
    const NBELanguage &leaf = NBELanguageRegistry::leaf();
    EXPECT_EQ(leaf.tokenRules.mid(3), html.tokenRules);
    EXPECT_EQ(leaf.bracketPairs, html.bracketPairs);
    EXPECT_EQ(leaf.indentationRules, html.indentationRules);
    EXPECT_EQ(html.bracketPairs.first(), (NBEBracketPair{u'<', u'>'}));
    EXPECT_EQ(NBELanguageRegistry::css().bracketPairs.size(), 3);
    EXPECT_EQ(NBELanguageRegistry::css().lineCommentPrefix, QStringLiteral("//"));
    EXPECT_FALSE(NBELanguageRegistry::json().lineCommentPrefix.has_value());
    EXPECT_EQ(NBELanguageRegistry::yaml().lineCommentPrefix, QStringLiteral("#"));
    EXPECT_FALSE(NBELanguageRegistry::yaml().indentationRules.decreasePattern.has_value());
    EXPECT_FALSE(NBELanguageRegistry::markdown().indentationRules.increasePattern.has_value());
    EXPECT_EQ(NBELanguageRegistry::env().name, QStringLiteral("Env"));
}
