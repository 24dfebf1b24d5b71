#include "NBESyntaxHighlighter.h"
#include "NBEDefaultThemes.h"
#include "NBELanguageRegistry.h"

#include <QRandomGenerator>
#include <QtConcurrent>

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Tokens as "type text" lines, so a failure reads like the source.
QStringList describe(const QString &text, const QList<NBEToken> &tokens)
{
    QStringList lines;
    for (const NBEToken &token : tokens)
        lines << NBETokenTypes::rawValue(token.type) + u' ' +
                     text.mid(token.location, token.length);
    return lines;
}

QStringList tokensOf(const QString &text, const NBELanguage &language)
{
    return describe(text, NBESyntaxHighlighter::tokenize(text, language));
}

NBELanguage custom(QList<NBETokenRule> rules)
{
    NBELanguage language;
    language.id = QStringLiteral("custom");
    language.tokenRules = std::move(rules);
    return language;
}

// The written-out forms of the rules that the registry keeps in an
// equivalent possessive/(*SKIP) form.
NBELanguage plainForm(NBELanguage language)
{
    const std::pair<const char *, const char *> plain[] = {
        {R"re("[^"\\]*+(?:\\.[^"\\]*+)*+(*SKIP)")re", R"re("(?:[^"\\]|\\.)*")re"},
        {R"re("[^"\\\n]*+(?:\\.[^"\\\n]*+)*+(*SKIP)")re", R"re("(?:[^"\\\n]|\\.)*")re"},
        {R"re('[^'\\]*+(?:\\.[^'\\]*+)*+(*SKIP)')re", R"re('(?:[^'\\]|\\.)*')re"},
        {R"re(^\s*+(*SKIP)-?\s*[A-Za-z0-9_.-]+)re", R"re(^\s*-?\s*[A-Za-z0-9_.-]+)re"},
        {R"re(^\s*+(*SKIP)-\s)re", R"re(^\s*-\s)re"},
        {R"re(^\s*+(*SKIP)[-*+]\s)re", R"re(^\s*[-*+]\s)re"},
        {R"re(^\s*+(*SKIP)\d+\.\s)re", R"re(^\s*\d+\.\s)re"},
        {R"re(^\s*+(*SKIP)(?:export)re", R"re(^\s*(?:export)re"},
        {R"re((?:\*/|\z(*COMMIT)(*F)))re", R"re(\*/)re"},
        {R"re((?:-->|\z(*COMMIT)(*F)))re", R"re(-->)re"},
        {R"re((?:"""|\z(*COMMIT)(*F)))re", R"re(""")re"},
        {R"re((?:```|\z(*COMMIT)(*F)))re", R"re(```)re"},
        {R"re([a-zA-Z-]++(*SKIP))re", R"re([a-zA-Z-]+)re"},
        {R"re(!?\[[^\]]*+(*SKIP)\]\([^)]*+(*SKIP)\))re", R"re(!?\[[^\]]*\]\([^)]*\))re"},
    };
    for (NBETokenRule &rule : language.tokenRules) {
        for (const auto &[written, original] : plain)
            rule.pattern.replace(QString::fromLatin1(written), QString::fromLatin1(original));
    }
    return language;
}

// A text of a language and the tokens it gives.
struct TokensRow
{
    const char *name;
    NBELanguage language;
    const char *text;
    QStringList expected;
};

void expectTokens(const QList<TokensRow> &rows)
{
    for (const TokensRow &row : rows)
        EXPECT_EQ(tokensOf(QString::fromUtf8(row.text), row.language), row.expected) << row.name;
}

} // namespace

TEST(NBESyntaxHighlighter, BuiltInLanguages)
{
    const QList<TokensRow> rows = {
        {"html: comment hides its quotes, attributes, tags",
         NBELanguageRegistry::html(),
         R"(<a href="x.html">Hi 'there'</a><!-- "c" -->)",
         {R"(tag <a)", R"(attribute href)", R"(string "x.html")", R"(tag >)", R"(tag </a>)",
          R"(comment <!-- "c" -->)"}},
        {"css: slashes in a url string start a comment",
         NBELanguageRegistry::css(),
         "/* \"not a string\" */\n@media screen {\n"
         "  a { color: #fff; margin: -1.5em 0; background: url(\"http://x.png\") !important; }\n}",
         {R"(comment /* "not a string" */)", "keyword @media", "property color", "number #fff",
          "property margin", "number -1.5em", "number 0", "property background", "property http",
          R"(comment //x.png") !important; })"}},
        {"javascript: a comment marker inside a string wins",
         NBELanguageRegistry::javascript(),
         "// \"quoted\" in comment\nconst s = \"a // b\"; let t = `x ${y}`;\n"
         "if (x === 0x1F) { return Math.max(1.5e3, null); }",
         {R"(comment // "quoted" in comment)", "keyword const", "comment // b\"; let t = `x ${y}`;",
          "keyword if", "operator ===", "number 0x1F", "keyword return", "type Math",
          "function max", "number 1.5e3", "keyword null"}},
        {"json: keys before values, digits in strings stay strings",
         NBELanguageRegistry::json(),
         R"({"name": "v1.2", "n": -3.5e2, "ok" : true, "list": [null, "a\"b"]})",
         {R"(property "name")", R"(string "v1.2")", R"(property "n")", "number -3.5e2",
          R"(property "ok")", "keyword true", R"(property "list")", "keyword null",
          R"(string "a\"b")"}},
        {"swift",
         NBELanguageRegistry::swift(),
         "@MainActor struct A { let r = 0..<10; func f() -> Int? { return nil } } // end\n"
         "let m = \"\"\"\nsay \"hi\"\n\"\"\" + #\"raw\"# ... x..y",
         {"preprocessor @MainActor", "keyword struct", "type A", "keyword let", "number 0",
          "operator ..<", "number 10", "keyword func", "function f", "operator ->", "type Int",
          "keyword return", "keyword nil", "comment // end", "keyword let",
          "string \"\"\"\nsay \"hi\"\n\"\"\"", "string #\"raw\"#", "operator ...", "operator .."}},
        {"markdown",
         NBELanguageRegistry::markdown(),
         "# Title *x*\nSome *em* and **bold** and `code`\n[link](http://x) ![img](a.png)\n"
         "- item\n1. first\n> quote\n",
         {"keyword # Title *x*", "comment *em*", "keyword **bold**", "string `code`",
          "attribute [link](http://x)", "attribute ![img](a.png)", "punctuation - ",
          "punctuation 1. ", "comment > "}},
        {"leaf: directives before the html rules",
         NBELanguageRegistry::leaf(),
         R"t(<p class="#(name)">#if(x):#endif</p>)t",
         {"tag <p", "attribute class", "keyword #", "tag >", "keyword #if", "keyword #endif",
          "tag </p>"}},
        {"env",
         NBELanguageRegistry::env(),
         "# comment \"x\"\nexport API_KEY=\"abc#def\"\nNAME='v'\n",
         {R"(comment # comment "x")", "property export API_KEY", "comment #def\"", "property NAME",
          "string 'v'"}},
        {"yaml",
         NBELanguageRegistry::yaml(),
         "key: \"va#l\" # note\n- name: &anchor 12\n  on: yes\nlist: *anchor\n",
         {"property key", "comment #l\" # note", "property - name", "type &anchor", "number 12",
          "property   on", "keyword yes", "property list", "type *anchor"}},
    };
    expectTokens(rows);
}

TEST(NBESyntaxHighlighter, QuotesStayWhereTheLanguagePutsThem)
{
    const QList<TokensRow> rows = {
        {"javascript: an apostrophe in a line comment",
         NBELanguageRegistry::javascript(),
         "// If we're here\nfoo('a');\n// it's 'x\nbar(\"b\");",
         {"comment // If we're here", "function foo", "string 'a'", "comment // it's 'x",
          "function bar", "string \"b\""}},
        {"javascript: a quote in a block comment, a string after it",
         NBELanguageRegistry::javascript(),
         "/* it's */ x = 'a'; /* \"\n */ y = \"b\";",
         {"comment /* it's */", "string 'a'", "comment /* \"\n */", "string \"b\""}},
        {"javascript: a string ends at its line, a backslash continues it",
         NBELanguageRegistry::javascript(),
         "let s = 'open\nlet t = 'b\\\nc';",
         {"keyword let", "keyword let", "string 'b\\\nc'"}},
        {"leaf: a directive's quoted arguments, not the text's quotes",
         NBELanguageRegistry::leaf(),
         "#extend(\"base\"):\n#export(\"title\", \"Home\"):<p>\"Hi\" (\"x\")</p>#endexport\n"
         "#if(count(items) != 1 || title != \"x\"):\"y\"#endif",
         {"keyword #extend", "string \"base\"", "keyword #export", "string \"title\"",
          "string \"Home\"", "tag <p", "tag >", "tag </p>", "keyword #endexport", "keyword #if",
          "string \"x\"", "keyword #endif"}},
        {"css: an apostrophe in a comment",
         NBELanguageRegistry::css(),
         "/* don't */\na { content: 'x'; }\nb { content: \"it's\" }",
         {"comment /* don't */", "property content", "string 'x'", "property content",
          "string \"it's\""}},
        {"css: a string doesn't cross its line",
         NBELanguageRegistry::css(),
         "a { content: 'open; }\nb { color: red; content: 'x' }",
         {"property content", "property color", "property content", "string 'x'"}},
        {"swift: a quote in a comment",
         NBELanguageRegistry::swift(),
         "// say \"hi\nlet x = \"a\" /* \" */ + \"b\"",
         {"comment // say \"hi", "keyword let", "string \"a\"", "comment /* \" */",
          "string \"b\""}},
        {"yaml: an apostrophe in a comment",
         NBELanguageRegistry::yaml(),
         "# it's here\na: 1\nb: 'x'\n",
         {"comment # it's here", "property a", "number 1", "property b", "string 'x'"}},
        {"env: an apostrophe in a comment",
         NBELanguageRegistry::env(),
         "# don't\nA=1\nB='v'\n",
         {"comment # don't", "property A", "property B", "string 'v'"}},
        {"yaml: a quote inside a plain value opens no string",
         NBELanguageRegistry::yaml(),
         "title: It's mine\nsize: 5\" screen\nnote: Don't\nlist: ['a', \"b\", 'it''s']\n",
         {"property title", "property size", "number 5", "property note", "property list",
          "string 'a'", "string \"b\"", "string 'it''s'"}},
        {"env: a quote inside a value opens no string",
         NBELanguageRegistry::env(),
         "MSG=don't\nA=1\nB='x'\nC = \"y\"\n",
         {"property MSG", "property A", "property B", "string 'x'", "property C", "string \"y\""}},
        {"json: an open string ends at its line",
         NBELanguageRegistry::json(),
         "{\"a\": \"x,\n \"b\": \"y\"}",
         {"property \"a\"", "property \"b\"", "string \"y\""}},
        {"json: a comment outside a string, slashes inside one",
         NBELanguageRegistry::json(),
         "{\n  // \"outDir\": \"./dist\",\n  \"url\": \"http://x.com\", /* on */\n  \"b\": 1\n}",
         {"comment // \"outDir\": \"./dist\",", "property \"url\"", "string \"http://x.com\"",
          "comment /* on */", "property \"b\"", "number 1"}},
        {"html: prose apostrophes are text",
         NBELanguageRegistry::html(),
         "<p>We're here, it's fine</p>\n<a href=\"x\" title='t'>",
         {"tag <p", "tag >", "tag </p>", "tag <a", "attribute href", "string \"x\"",
          "attribute title", "string 't'", "tag >"}},
        {"html: a quote in a script's regular expression",
         NBELanguageRegistry::html(),
         "<script>s.replace(/\"/g, '');</script>\n<a href=\"x\">",
         {"tag <script", "tag >", "tag </script>", "tag <a", "attribute href", "string \"x\"",
          "tag >"}},
    };
    expectTokens(rows);
}

// A list's bullets, prose between paragraphs and the comments of a fenced
// shell script are what they are in the preview.
TEST(NBESyntaxHighlighter, MarkdownMarksStayInTheirBlock)
{
    expectTokens({
        {"bullets open no emphasis",
         NBELanguageRegistry::markdown(),
         "* one *em*\n* two **b**\n* three\n",
         {"punctuation * ", "comment *em*", "punctuation * ", "keyword **b**", "punctuation * "}},
        {"emphasis and code stay on their line",
         NBELanguageRegistry::markdown(),
         "Use snake_case and\n\nmore_text, a ` tick\n\n# Next `x`\n",
         {"keyword # Next `x`"}},
        {"a comment in fenced code is code",
         NBELanguageRegistry::markdown(),
         "# Setup\n```sh\n# install\nnpm i\n```\n## Use\n",
         {"keyword # Setup", "string ```sh\n# install\nnpm i\n```", "keyword ## Use"}},
        {"a lone # leaves the next line alone",
         NBELanguageRegistry::markdown(),
         "#\nplain\n# \nplain\n",
         {"keyword # "}},
    });
}

TEST(NBESyntaxHighlighter, ClaimingRules)
{
    EXPECT_TRUE(NBESyntaxHighlighter::tokenize(QString(), NBELanguageRegistry::html()).isEmpty());

    const NBELanguage overlapping = custom({{QStringLiteral("bc"), NBETokenType::keyword},
                                            {QStringLiteral("abcdef"), NBETokenType::string},
                                            {QStringLiteral("b"), NBETokenType::number},
                                            {QStringLiteral("(?=f)"), NBETokenType::type},
                                            {QStringLiteral("("), NBETokenType::tag},
                                            {QStringLiteral("f"), NBETokenType::function}});
    EXPECT_EQ(tokensOf(QStringLiteral("abcdef"), overlapping),
              (QStringList{"keyword bc", "function f"}))
        << "a later match is dropped whole; empty matches and bad patterns give nothing";

    // A character outside the basic plane counts two units.
    const QString emoji = QStringLiteral("x = \"\U0001F600\"; y");
    const auto tokens = NBESyntaxHighlighter::tokenize(emoji, NBELanguageRegistry::javascript());
    ASSERT_EQ(tokens.size(), 1);
    EXPECT_EQ(tokens[0], (NBEToken{4, 4, NBETokenType::string}));

    // A lone surrogate (pasted text) doesn't stop the colouring.
    QString broken = QStringLiteral("\"a?b\" \"c\"");
    broken[2] = QChar(0xD800);
    EXPECT_EQ(NBESyntaxHighlighter::tokenize(broken, NBELanguageRegistry::javascript()).size(), 2);

    // Words beyond ASCII are words.
    EXPECT_EQ(tokensOf(QStringLiteral("café(1)"), NBELanguageRegistry::javascript()),
              (QStringList{"function café", "number 1"}));
}

TEST(NBESyntaxHighlighter, VeryLongStringsKeepEveryLaterString)
{
    const QString body = QStringLiteral("ab\\\"cd ").repeated(100000 / 7);
    struct Row
    {
        NBELanguage language;
        QString text;
        qsizetype expectedLength; // of the long token
        QString after;
    };
    const QString dq = u'"' + body + u'"';
    const QString sq = u'\'' + QString(body).replace(u'"', u'\'') + u'\'';
    const Row rows[] = {
        {NBELanguageRegistry::javascript(), dq + QStringLiteral("; f(\"after\")"), dq.size(),
         QStringLiteral("\"after\"")},
        {NBELanguageRegistry::javascript(), sq + QStringLiteral("; f('after')"), sq.size(),
         QStringLiteral("'after'")},
        {NBELanguageRegistry::json(), u'[' + dq + QStringLiteral(", \"after\"]"), dq.size(),
         QStringLiteral("\"after\"")},
        {NBELanguageRegistry::swift(), dq + QStringLiteral(" + \"after\""), dq.size(),
         QStringLiteral("\"after\"")},
        {NBELanguageRegistry::env(), QStringLiteral("A=") + dq + QStringLiteral("\nB=\"after\""),
         dq.size(), QStringLiteral("\"after\"")},
        {NBELanguageRegistry::yaml(), QStringLiteral("a: ") + dq + QStringLiteral("\nb: \"after\""),
         dq.size(), QStringLiteral("\"after\"")},
        {NBELanguageRegistry::html(),
         QStringLiteral("<p title=\"") + QString(100000, u'x') + QStringLiteral("\" alt=\"after\""),
         100002, QStringLiteral("\"after\"")},
    };
    for (const Row &row : rows) {
        const auto tokens = NBESyntaxHighlighter::tokenize(row.text, row.language);
        const bool hasLong = std::any_of(tokens.begin(), tokens.end(), [&](const NBEToken &t) {
            return t.type == NBETokenType::string && t.length == row.expectedLength;
        });
        EXPECT_TRUE(hasLong) << row.language.id.toStdString();
        ASSERT_FALSE(tokens.isEmpty());
        EXPECT_EQ(tokens.last().type, NBETokenType::string) << row.language.id.toStdString();
        EXPECT_EQ(row.text.mid(tokens.last().location, tokens.last().length), row.after)
            << row.language.id.toStdString();
    }
}

TEST(NBESyntaxHighlighter, RewrittenRulesMatchTheirPlainForms)
{
    const QStringList samples = {
        QStringLiteral("\n\n\n  \n\t\nkey: v\n\n- a: b\n"),
        QStringLiteral("-\n\n  key: 1\n-   : x\n - - a: b\n  -key:\n\n"),
        QStringLiteral("  - \n\n  k: v\n  -\n"),
        QStringLiteral("export\n\nFOO=1\n  export   BAR = 2\nexport=3\n \t\n"),
        QStringLiteral("   12. item\n\n  * x\n+ y\n-\tz\n1.x\n"),
        QStringLiteral("\"a\\\"b\" \"c\\\\\" \"d\\\n\" 'e\\'f' \"unterminated\\"),
        QStringLiteral("{\"k\\\"\" :1, \"v\": \"x\\\"\"}\n"),
        QStringLiteral("/* a /* b */ c /* d"),
        QStringLiteral("<!-- x <!-- y --> z <!-- w"),
        QStringLiteral("[a](b [c](d) [e] (f) [g](h"),
        QStringLiteral("``` x ``` ``` y"),
        QStringLiteral("\"\"\" a \"\"\" \"\"\" b"),
        QStringLiteral("margin-top-x : 1; a-b-c d: e"),
    };
    // Every built-in language has a rewritten rule.
    const QList<NBELanguage> &languages = NBELanguageRegistry::all();
    // Small random texts over the characters these rules care about.
    const QString alphabet = QStringLiteral("  \t\n\n\"\"''\\\\--::==#*+.1a_ xe//**<!>[]()```");
    QRandomGenerator random(20261206);
    QStringList texts = samples;
    for (int i = 0; i < 1500; ++i) {
        QString text;
        const int length = random.bounded(1, 60);
        for (int j = 0; j < length; ++j)
            text += alphabet[random.bounded(alphabet.size())];
        if (random.bounded(4) == 0)
            text.replace(QStringLiteral("xe"), QStringLiteral("export "));
        texts << text;
    }
    for (const NBELanguage &language : languages) {
        const NBELanguage plain = plainForm(language);
        ASSERT_FALSE(plain == language) << language.id.toStdString();
        for (const QString &text : texts) {
            ASSERT_EQ(NBESyntaxHighlighter::tokenize(text, language),
                      NBESyntaxHighlighter::tokenize(text, plain))
                << language.id.toStdString() << ": " << text.toStdString();
        }
    }
}

TEST(NBESyntaxHighlighter, AttributedLines)
{
    NBETheme theme = NBEDefaultThemes::light();
    theme.tokenColors.remove(NBETokenType::attribute);

    const QString line = QStringLiteral("<a href=\"x\">t");
    const auto runs =
        NBESyntaxHighlighter::attributedLine(line, NBELanguageRegistry::html(), theme);
    QStringList described;
    qsizetype cursor = 0;
    for (const auto &run : runs) {
        EXPECT_EQ(run.start, cursor) << "runs cover the line";
        cursor = run.start + run.length;
        EXPECT_FALSE(run.format.hasProperty(QTextFormat::FontFamilies));
        described << line.mid(run.start, run.length) + u'=' +
                         run.format.foreground().color().name();
    }
    EXPECT_EQ(cursor, line.size());
    EXPECT_EQ(described, (QStringList{"<a=#800000", " =#1e1e1e", "href=#1e1e1e", "==#1e1e1e",
                                      "\"x\"=#a31515", ">=#800000", "t=#1e1e1e"}));

    const auto plain = NBESyntaxHighlighter::attributedLine(line, std::nullopt, theme);
    ASSERT_EQ(plain.size(), 1);
    EXPECT_EQ(plain[0].length, line.size());
    EXPECT_EQ(plain[0].format.foreground().color(), theme.editorText);
    EXPECT_TRUE(NBESyntaxHighlighter::attributedLine(QString(), NBELanguageRegistry::html(), theme)
                    .isEmpty());
}

TEST(NBESyntaxHighlighter, RunsOnManyThreadsAtOnce)
{
    const QString text = QStringLiteral("<div class=\"a\">x</div><!-- c -->\n").repeated(200) +
                         QStringLiteral("<p>é</p>");
    const auto expected = NBESyntaxHighlighter::tokenize(text, NBELanguageRegistry::html());
    const QList<int> jobs(16, 0);
    const auto results = QtConcurrent::blockingMapped(jobs, [&text](int) {
        return NBESyntaxHighlighter::tokenize(text, NBELanguageRegistry::html());
    });
    for (const auto &result : results)
        EXPECT_EQ(result, expected);
}

namespace {

// The token type of every unit (-1 where none): a redone stretch cuts a
// token that reaches across either of its ends.
std::vector<int> typeOfEachUnit(const QList<NBEToken> &tokens, qsizetype length)
{
    std::vector<int> units(size_t(length), -1);
    for (const NBEToken &token : tokens)
        std::fill_n(units.begin() + token.location, token.length,
                    NBETokenTypes::ordinal(token.type));
    return units;
}

// The old tokens outside the stretch, moved by the edit, and the stretch's.
std::vector<int> spliced(const std::vector<int> &old, const NBERetokenization &redone,
                         qsizetype length, qsizetype shift)
{
    std::vector<int> units(size_t(length), -1);
    std::copy_n(old.begin(), redone.from, units.begin());
    std::copy(old.begin() + (redone.to - shift), old.end(), units.begin() + redone.to);
    for (const NBEToken &token : redone.tokens)
        std::fill_n(units.begin() + token.location, token.length,
                    NBETokenTypes::ordinal(token.type));
    return units;
}

} // namespace

TEST(NBESyntaxHighlighter, RetokenizingAnEditEqualsAWholePass)
{
    // Texts long enough for checkpoints, with everything that spans lines:
    // block comments, strings over several lines, fences, blank-line runs,
    // an apostrophe in prose that pairs with one lines later, a word at a
    // line end that a "(" on the next line makes a function name.
    const QString unit =
        QStringLiteral("<p class=\"a\">x /* y */ 'it''s'</p>\n/* c\n  d */ let s = \"q\\\"\";\n"
                       "```\nfence\n```\n\n\n- [a](b) key: \"v\"\n<!-- m\n-->f(1) {\"k\": [2]}\n"
                       "<p>don't stop</p> foo\n  (bar) `t\n` \"k\": \"v\",\n");
    const QString pieces[] = {"\n",  "\"", "'",  "/*", "*/", "<!--", "-->", "`",
                              "```", "é",  " a", "(",  "=",  ":",    "x"};
    QRandomGenerator random(20261207);
    for (const NBELanguage &language : NBELanguageRegistry::all()) {
        QString text = unit.repeated(120);
        NBETokenizerState state;
        std::vector<int> units =
            typeOfEachUnit(NBESyntaxHighlighter::tokenize(text, language, &state), text.size());
        ASSERT_TRUE(state.reusable);
        for (int step = 0; step < 60; ++step) {
            const qsizetype position = random.bounded(int(text.size()));
            const qsizetype removed =
                std::min<qsizetype>(random.bounded(4), text.size() - position);
            QString inserted;
            for (int i = random.bounded(3); i > 0; --i)
                inserted += pieces[random.bounded(int(std::size(pieces)))];
            text.replace(position, removed, inserted);
            const NBERetokenization redone = NBESyntaxHighlighter::retokenize(
                text, language, state, position, removed, inserted.size());
            const std::vector<int> pieced =
                spliced(units, redone, text.size(), inserted.size() - removed);
            units = typeOfEachUnit(NBESyntaxHighlighter::tokenize(text, language), text.size());
            ASSERT_EQ(pieced, units) << language.id.toStdString() << " step " << step;
            state = redone.state;
        }
    }
}

TEST(NBESyntaxHighlighter, EditsAfterEditsColourAsAWholePass)
{
    // Each edit starts from what the one before left: a checkpoint's record
    // of a rule's next match must follow matches that edits elsewhere make,
    // move or remove.
    struct Edit
    {
        qsizetype position, removed;
        QString inserted;
    };
    struct Case
    {
        const char *name;
        NBELanguage language;
        QString unit;
        int repeats;
        QList<Edit> edits;
    };
    const QList<Case> cases = {
        // A quote that pairs across lines loses its partner, so the string
        // that ended just before a later checkpoint is gone; the next edit
        // starts there and must search from where the string before it ends.
        {"string gone before a checkpoint",
         NBELanguageRegistry::json(),
         "YYY",
         2000,
         {{2868, 1, "x\"\n"},
          {2868, 1, "\n"},
          {2815, 6, "x\"\n"},
          {1519, 7, "x\"\n"},
          {2868, 1, "x\"\n"}}},
        // Joining two lines far from the start makes a string; an opened
        // comment before the first checkpoint then hides it from the string
        // rule, whose next match at that checkpoint was that string.
        {"match made after a checkpoint",
         NBELanguageRegistry::css(),
         "\nfoo)')-->",
         1000,
         {{5900, 1, ""}, {556, 0, "/*"}}},
        {"template quotes paired the other way",
         NBELanguageRegistry::javascript(),
         "\nfoo)`)-->",
         1000,
         {{5900, 1, ""}, {7000, 0, "\n\n"}, {556, 0, "//"}, {5005, 1, ""}}},
        // A quote left open near the start: its attempt reads on past every
        // checkpoint, so where the search stood clean before it no longer
        // does, and a quote typed far after closes it.
        {"open quote reads past later checkpoints",
         NBELanguageRegistry::html(),
         "key: \n\n<\r\n\u00e9\n\n\n\n",
         725,
         {{7982, 7, "${-\\\n=>\r\n"},
          {5954, 3, "${</script>"},
          {236, 2,
           "`[(\t</script>@x\\#/*(<*--<p a=- \\true \n(key: <p a='\u2028****a/*<p a=- "
           "x\"\n( \u00e9]@x\n\n/*"},
          {1382, 0, "<script>"},
          {9799, 6, ""},
          {460, 2, ":<p a=1.5"},
          {7851, 6, "-'// >:"}}},
        // A later checkpoint's search went on from a place the edit removed.
        {"search resumed inside what an edit removed",
         NBELanguageRegistry::json(),
         "Bar\")true>-->1.5  <style>>\r\na\t**'-->\t[\u2028]",
         79,
         {{1467, 2,
           "#\"**\\-->`//<*'\n_=aBar=#a\r\n/*</script>  \u20281.5*>\\\n\u00e9(-->true:\"<script>"
           "foo</script>x\"\n"},
          {388, 4, ""},
          {173, 5, "  a--true  ]- #\"#\"<script> */*/@x"},
          {3002, 0, "<p a==>"},
          {2672, 56, "=>=\n\n<!--#\"=<!--`//\"key: </script>\u2028>\\\u2028<script>[<!--'\n"},
          {2560, 251, "true<!--<p a="},
          {1905, 130,
           ")\n\r\n- \\\n@x*/\n\t-<style>\"a<p a=\"#true\nx\"\n<-->)=>  </script>key: "
           "#=>\r\ntrue\u00e9*  >\"\\${"},
          {847, 7, "\n1.5- </script>\\>:'\n\\\n)'\nx\"\n'>Bar)true_\\\u00e9<\"\r\n'\n=>}><!--"}}},
    };
    for (const Case &row : cases) {
        QString text = row.unit.repeated(row.repeats);
        NBETokenizerState state;
        std::vector<int> units =
            typeOfEachUnit(NBESyntaxHighlighter::tokenize(text, row.language, &state), text.size());
        int step = 0;
        for (const Edit &edit : row.edits) {
            text.replace(edit.position, edit.removed, edit.inserted);
            const NBERetokenization redone = NBESyntaxHighlighter::retokenize(
                text, row.language, state, edit.position, edit.removed, edit.inserted.size());
            const std::vector<int> pieced =
                spliced(units, redone, text.size(), edit.inserted.size() - edit.removed);
            units = typeOfEachUnit(NBESyntaxHighlighter::tokenize(text, row.language), text.size());
            EXPECT_EQ(pieced, units) << row.name << ", edit " << step;
            if (pieced != units)
                break;
            state = redone.state;
            ++step;
        }
    }
}

TEST(NBESyntaxHighlighter, RetokenizingOneLetterRedoesAStretchAroundIt)
{
    // Inside and outside quotes that pair across lines (an apostrophe in a
    // comment, a template string over several lines), the stretch redone
    // ends where every rule stands as before, not at the end of the text.
    const QString unit = QStringLiteral(
        "// it's the parser's job, see `parse\nfunction parse(text) {\n  const s = 'a' + \"b\";\n"
        "  return `line\n  ${text}` + call(x);\n}\n<p>Don't panic, \"it's fine.</p>\n");
    const QString large = unit.repeated(3000);
    struct Case
    {
        const char *name;
        NBELanguage language;
    };
    for (const Case &row : {Case{"javascript", NBELanguageRegistry::javascript()},
                            Case{"html", NBELanguageRegistry::html()}}) {
        NBETokenizerState state;
        const std::vector<int> before = typeOfEachUnit(
            NBESyntaxHighlighter::tokenize(large, row.language, &state), large.size());
        for (const qsizetype at : {large.size() / 3, large.size() / 2 + 17, large.size() - 999}) {
            QString edited = large;
            edited.insert(at, u'x');
            const NBERetokenization redone =
                NBESyntaxHighlighter::retokenize(edited, row.language, state, at, 0, 1);
            EXPECT_LE(redone.from, at) << row.name;
            EXPECT_LT(redone.to - redone.from, 16384) << row.name << " at " << at;
            EXPECT_EQ(
                spliced(before, redone, edited.size(), 1),
                typeOfEachUnit(NBESyntaxHighlighter::tokenize(edited, row.language), edited.size()))
                << row.name << " at " << at;
        }
    }
}
