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

// Every token type has a colour, and the types drawn as plain text get the
// text colour, so a theme never leaves a token in a stray default.
TEST(NBETheme, BuiltInThemesColourEveryTokenType)
{
    const NBETheme &light = NBEDefaultThemes::light();
    const NBETheme &dark = NBEDefaultThemes::dark();
    EXPECT_FALSE(light.isDark);
    EXPECT_TRUE(dark.isDark);
    EXPECT_NE(light, dark);

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
