#include "NBEBrand.h"
#include "NBEColor.h"
#include "NBEDefaultThemes.h"

#include <gtest/gtest.h>

TEST(NBEColor, FromHexAcceptsSixDigitsOnly)
{
    const QColor expected = QColor::fromRgb(0xD9, 0x77, 0x06);
    for (const char *text : {"#D97706", "#d97706", "  #d97706\n", "D97706", "\td97706 "})
        EXPECT_EQ(NBEColor::fromHex(QString::fromLatin1(text)), expected) << text;

    for (const char *text : {"", "#", "#FFF", "#FFFFFFFF", "#12345G", "##123456", "0x1234",
                             "+12345", "12 345", "#1234567"})
        EXPECT_EQ(NBEColor::fromHex(QString::fromLatin1(text)), std::nullopt) << text;

    const QColor color = *NBEColor::fromHex(u"#4D3319");
    EXPECT_EQ(color.spec(), QColor::Rgb);
    EXPECT_EQ(color.alpha(), 255);
    EXPECT_EQ(qRgb(77, 51, 25), color.rgb());
}

TEST(NBETheme, BuiltInThemes)
{
    const NBETheme &light = NBEDefaultThemes::light();
    const NBETheme &dark = NBEDefaultThemes::dark();
    EXPECT_EQ(light.id, QStringLiteral("light-default"));
    EXPECT_EQ(light.name, QStringLiteral("Nabri Light"));
    EXPECT_FALSE(light.isDark);
    EXPECT_EQ(dark.id, QStringLiteral("dark-default"));
    EXPECT_EQ(dark.name, QStringLiteral("Nabri Dark"));
    EXPECT_TRUE(dark.isDark);
    EXPECT_NE(light, dark);

    EXPECT_EQ(light.selectionBackground, QColor(254, 243, 199));
    EXPECT_EQ(light.gutterSeparator, QColor(224, 224, 224));
    EXPECT_EQ(dark.selectionBackground, QColor(77, 51, 25));
    EXPECT_EQ(dark.gutterText, QColor(133, 133, 133));
    EXPECT_EQ(light.tokenColors.value(NBETokenType::attribute), QColor(229, 0, 0));
    EXPECT_EQ(dark.tokenColors.value(NBETokenType::tag), QColor(86, 156, 214));

    for (const NBETheme *theme : {&light, &dark}) {
        EXPECT_EQ(theme->tokenColors.size(), NBETokenTypes::count);
        for (NBETokenType type :
             {NBETokenType::operator_, NBETokenType::punctuation, NBETokenType::plain})
            EXPECT_EQ(theme->tokenColors.value(type), theme->editorText);
        EXPECT_EQ(theme->tokenColors.value(NBETokenType::preprocessor),
                  theme->tokenColors.value(NBETokenType::keyword));
    }
}

TEST(NBETheme, EqualityIsByIdAndMissingColoursFallBack)
{
    NBETheme other = NBEDefaultThemes::light();
    other.editorText = Qt::red;
    other.tokenColors.remove(NBETokenType::string);
    EXPECT_EQ(other, NBEDefaultThemes::light());
    EXPECT_EQ(other.colorFor(NBETokenType::string), QColor(Qt::red));
    EXPECT_EQ(other.colorFor(NBETokenType::comment), QColor(0, 128, 0));
}

TEST(NBEBrand, Colours)
{
    EXPECT_EQ(NBEBrand::amber(), QColor(217, 119, 6));
    EXPECT_EQ(NBEBrand::amberTint(), QColor(254, 243, 199));
    EXPECT_EQ(NBEBrand::amberText(), QColor(122, 77, 15));
    EXPECT_EQ(NBEBrand::amberDarkBG(), QColor(61, 40, 8));
    EXPECT_EQ(NBEBrand::amberDarkText(), QColor(251, 191, 36));
}
