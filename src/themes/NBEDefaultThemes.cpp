#include "NBEDefaultThemes.h"

#include "NBEColor.h"

namespace {

struct Palette
{
    const char16_t *editorBackground;
    const char16_t *editorText;
    const char16_t *selectionBackground;
    const char16_t *currentLineHighlight;
    const char16_t *gutterBackground;
    const char16_t *gutterText;
    const char16_t *gutterSeparator;
    // In ordinal order of NBETokenType.
    const char16_t *tokens[NBETokenTypes::count];
};

NBETheme make(const QString &id, const QString &name, bool isDark, const Palette &p)
{
    NBETheme theme;
    theme.id = id;
    theme.name = name;
    theme.isDark = isDark;
    theme.editorBackground = NBEColor::hex(p.editorBackground);
    theme.editorText = NBEColor::hex(p.editorText);
    theme.selectionBackground = NBEColor::hex(p.selectionBackground);
    theme.currentLineHighlight = NBEColor::hex(p.currentLineHighlight);
    theme.gutterBackground = NBEColor::hex(p.gutterBackground);
    theme.gutterText = NBEColor::hex(p.gutterText);
    theme.gutterSeparator = NBEColor::hex(p.gutterSeparator);
    for (NBETokenType type : NBETokenTypes::allCases())
        theme.tokenColors.insert(type, NBEColor::hex(p.tokens[NBETokenTypes::ordinal(type)]));
    return theme;
}

} // namespace

const NBETheme &NBEDefaultThemes::light()
{
    static const NBETheme theme =
        make(QStringLiteral("light-default"), QStringLiteral("Nabri Light"), false,
             {u"#FFFFFF",
              u"#1E1E1E",
              u"#FEF3C7",
              u"#F5F5F5",
              u"#F0F0F0",
              u"#999999",
              u"#E0E0E0",
              {
                  u"#AF00DB", // keyword
                  u"#A31515", // string
                  u"#008000", // comment
                  u"#098658", // number
                  u"#1E1E1E", // operator
                  u"#267F99", // type
                  u"#795E26", // function
                  u"#001080", // property
                  u"#800000", // tag
                  u"#E50000", // attribute
                  u"#1E1E1E", // punctuation
                  u"#AF00DB", // preprocessor
                  u"#1E1E1E", // plain
              }});
    return theme;
}

const NBETheme &NBEDefaultThemes::dark()
{
    static const NBETheme theme =
        make(QStringLiteral("dark-default"), QStringLiteral("Nabri Dark"), true,
             {u"#1E1E1E",
              u"#D4D4D4",
              u"#4D3319",
              u"#2A2A2A",
              u"#1E1E1E",
              u"#858585",
              u"#333333",
              {
                  u"#C586C0", // keyword
                  u"#CE9178", // string
                  u"#6A9955", // comment
                  u"#B5CEA8", // number
                  u"#D4D4D4", // operator
                  u"#4EC9B0", // type
                  u"#DCDCAA", // function
                  u"#9CDCFE", // property
                  u"#569CD6", // tag
                  u"#9CDCFE", // attribute
                  u"#D4D4D4", // punctuation
                  u"#C586C0", // preprocessor
                  u"#D4D4D4", // plain
              }});
    return theme;
}
