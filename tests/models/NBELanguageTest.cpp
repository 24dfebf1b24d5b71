#include "NBELanguage.h"
#include "NBETokenType.h"

#include <gtest/gtest.h>

TEST(NBETokenType, RawValuesRoundTripAndAreCaseSensitive)
{
    const auto &all = NBETokenTypes::allCases();
    ASSERT_EQ(all.size(), 13u);
    EXPECT_EQ(all.front(), NBETokenType::keyword);
    EXPECT_EQ(all.back(), NBETokenType::plain);
    for (NBETokenType type : all)
        EXPECT_EQ(NBETokenTypes::fromRawValue(NBETokenTypes::rawValue(type)), type);

    EXPECT_EQ(NBETokenTypes::rawValue(NBETokenType::operator_), QStringLiteral("operator"));
    EXPECT_EQ(NBETokenTypes::fromRawValue(QStringLiteral("operator")), NBETokenType::operator_);
    EXPECT_EQ(NBETokenTypes::fromRawValue(QStringLiteral("keyword")), NBETokenType::keyword);
    EXPECT_EQ(NBETokenTypes::fromRawValue(QStringLiteral("Keyword")), std::nullopt);
    EXPECT_EQ(NBETokenTypes::fromRawValue(QStringLiteral("operator_")), std::nullopt);
    EXPECT_EQ(NBETokenTypes::fromRawValue(QString()), std::nullopt);
}

TEST(NBELanguage, EqualityComparesEveryField)
{
    const NBELanguage base{
        .id = QStringLiteral("x"),
        .name = QStringLiteral("X"),
        .fileExtensions = {QStringLiteral("x")},
        .fileNames = {},
        .tokenRules = {{QStringLiteral("a+"), NBETokenType::keyword}},
        .indentationRules = {QStringLiteral("\\{$"), std::nullopt},
        .bracketPairs = {{u'(', u')'}},
        .lineCommentPrefix = std::nullopt,
        .blockCommentStart = std::nullopt,
        .blockCommentEnd = std::nullopt,
    };
    EXPECT_EQ(base, base);

    const std::vector<std::pair<const char *, std::function<void(NBELanguage &)>>> changes = {
        {"rule type", [](NBELanguage &l) { l.tokenRules[0].tokenType = NBETokenType::string; }},
        {"rule pattern", [](NBELanguage &l) { l.tokenRules[0].pattern = QStringLiteral("a*"); }},
        {"empty line comment", [](NBELanguage &l) { l.lineCommentPrefix = QString(); }},
        {"file name", [](NBELanguage &l) { l.fileNames = {QStringLiteral("X")}; }},
        {"decrease pattern",
         [](NBELanguage &l) { l.indentationRules.decreasePattern = QString(); }},
        {"bracket", [](NBELanguage &l) { l.bracketPairs[0].close = u']'; }},
        {"block end", [](NBELanguage &l) { l.blockCommentEnd = QStringLiteral("*/"); }},
    };
    for (const auto &[label, change] : changes) {
        NBELanguage other = base;
        change(other);
        EXPECT_NE(base, other) << label;
    }
}
