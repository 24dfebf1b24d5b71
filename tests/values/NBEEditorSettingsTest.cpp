#include "NBEEditorSettings.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

TEST(NBEEditorSettings, IndentUnit)
{
    NBEEditorSettings settings;
    settings.tabSize = 4;
    EXPECT_EQ(settings.indentUnit(), QStringLiteral("    "));

    settings.tabSize = 0;
    EXPECT_EQ(settings.indentUnit(), QStringLiteral(" "));
    settings.tabSize = -3;
    EXPECT_EQ(settings.indentUnit(), QStringLiteral(" "));
    settings.tabSize = 2000000000;
    EXPECT_EQ(settings.indentUnit(), QString(8, u' '));
    settings.useSoftTabs = false;
    settings.tabSize = 8;
    EXPECT_EQ(settings.indentUnit(), QStringLiteral("\t"));
}

TEST(NBEEditorSettings, CodingRoundTripAndStrictDecoding)
{
    NBEEditorSettings settings;
    settings.tabSize = 2;
    settings.fontSize = 14.5;
    settings.showInvisibles = true;
    const auto decoded = NBEEditorSettings::fromJson(settings.toJson());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, settings);

    QJsonObject lacking = settings.toJson();
    lacking.remove(QStringLiteral("showInvisibles"));
    EXPECT_FALSE(NBEEditorSettings::fromJson(lacking).has_value());

    QJsonObject wrongType = settings.toJson();
    wrongType.insert(QStringLiteral("wordWrap"), QStringLiteral("yes"));
    EXPECT_FALSE(NBEEditorSettings::fromJson(wrongType).has_value());

    QJsonObject fractionalTab = settings.toJson();
    fractionalTab.insert(QStringLiteral("tabSize"), 2.5);
    EXPECT_FALSE(NBEEditorSettings::fromJson(fractionalTab).has_value());
}
