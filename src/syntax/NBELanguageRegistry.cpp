#include "NBELanguageRegistry.h"

// A note on the token patterns. They are run with "^"/"$" matching at line
// ends. Where a plain form would be slow or would fail on long input, it is
// written in an equivalent form that matches exactly the same ranges:
// - Escaped strings use the unrolled loop `"[^"\\]*+(?:\\.[^"\\]*+)*+"`
//   instead of `"(?:[^"\\]|\\.)*"`: the alternation inside a repeat costs a
//   backtracking frame per character, and a string of some 20,000
//   characters overflows the matcher's stack. The two alternatives can't
//   start with the same character, so nothing is lost by never backtracking.
// - The YAML key rule `^\s*-?\s*[A-Za-z0-9_.-]+(?=\s*:)` is written
//   `^\s*+(*SKIP)-?\s*[A-Za-z0-9_.-]+(?=\s*:)`. `\s*` crosses line ends, so
//   from every line of a run of blank lines the plain form scans (and
//   backtracks over) the rest of the run: quadratic. Every line start inside
//   the run reaches the same first non-space character and fails the same
//   way, so the search may go on from there; and since what follows can't
//   start with white space, giving some back never helps. The other rules
//   that begin with line-crossing white space use the same form.
// - Where a failed attempt has read a stretch that any later start inside
//   it would read the same way to the same failure (a string body, a word
//   before a lookahead, a link's brackets), `(*SKIP)` resumes the search
//   after the stretch; without it a run of `"\` or `[` is quadratic.
// - A block (`/*`, `<!--`, fences) that reaches the end unclosed means no
//   later opener closes either: `\z(*COMMIT)(*F)` ends the search there
//   instead of scanning the rest of the text once per opener.
//
// Strings are read the way the language reads them, so that one stray quote
// can't recolour the rest of a file. A string rule's search steps over
// comments (`...(*SKIP)(*F)|` before the string), so a quote in a comment
// ("// we're done") opens nothing; a string that the language ends at its
// line end can't run past it; and in HTML only attribute values are
// strings, not quotes in text or in a script's body.

namespace {

using T = NBETokenType;

QList<NBEBracketPair> defaultBrackets()
{
    return {{u'(', u')'}, {u'{', u'}'}, {u'[', u']'}};
}

QList<NBEBracketPair> htmlBrackets()
{
    return QList<NBEBracketPair>{{u'<', u'>'}} + defaultBrackets();
}

const char *const htmlIncrease =
    R"re(<(?!area|base|br|col|embed|hr|img|input|link|meta|param|source|track|wbr)[a-z][^/]*>$)re";
const char *const htmlDecrease = R"re(^\s*</[a-z])re";

// Comments a string rule's search steps over; an unclosed block comment
// runs to the end, so no string follows it.
const QString skipLineComment = QStringLiteral(R"re(//.*+(*SKIP)(*F)|)re");
const QString skipBlockComment = QStringLiteral(R"re(/\*[\s\S]*?(?:\*/|\z)(*SKIP)(*F)|)re");
const QString skipComments = skipLineComment + skipBlockComment;
const QString skipHashComment = QStringLiteral(R"re(#.*+(*SKIP)(*F)|)re");

// A string that ends at its line end unless a backslash continues it.
const QString doubleQuotedLine =
    QStringLiteral(R"re("[^"\\\n]*+(?:\\[\s\S][^"\\\n]*+)*+(*SKIP)")re");
const QString singleQuotedLine =
    QStringLiteral(R"re('[^'\\\n]*+(?:\\[\s\S][^'\\\n]*+)*+(*SKIP)')re");

// A JSON string never holds a line break, so an open one ends at its line.
const QString jsonString = QStringLiteral(R"re("[^"\\\n]*+(?:\\.[^"\\\n]*+)*+(*SKIP)")re");

// A quote opens a YAML string only where a value starts (not in "It's" or
// "5" screen"), and an .env value's only right after "=", not inside it.
const QString yamlValueStart = QStringLiteral(R"re((?:^|[\s\[{,:])\K)re");
const QString envValueStart = QStringLiteral(R"re((?:^|[\s=])\K)re");

// An attribute's name and "=", not part of the match.
const QString attributeValue = QStringLiteral(R"re(\b[a-zA-Z_:][-\w:.]*+(*SKIP)\s*+=\s*+\K)re");

QList<NBETokenRule> htmlRules()
{
    return {
        {QStringLiteral(R"re(<!--[\s\S]*?(?:-->|\z(*COMMIT)(*F)))re"), T::comment},
        {attributeValue + QStringLiteral(R"re("[^"]*+")re"), T::string},
        {attributeValue + QStringLiteral(R"re('[^']*+')re"), T::string},
        {QStringLiteral(R"re(</\w+>)re"), T::tag},
        {QStringLiteral(R"re(<\w+)re"), T::tag},
        {QStringLiteral(R"re(/?>)re"), T::tag},
        {QStringLiteral(R"re(\b[a-zA-Z-]++(*SKIP)(?=\s*=))re"), T::attribute},
    };
}

QList<NBETokenRule> cssRules()
{
    return {
        {QStringLiteral(R"re(/\*[\s\S]*?(?:\*/|\z(*COMMIT)(*F)))re"), T::comment},
        {QStringLiteral(R"re(//.*$)re"), T::comment},
        {QStringLiteral(
             R"re(@(?:media|import|keyframes|font-face|supports|charset|namespace|page|layer)\b)re"),
         T::keyword},
        {QStringLiteral(R"re(!important\b)re"), T::keyword},
        {skipComments + QStringLiteral(R"re("[^"\n]*+")re"), T::string},
        {skipComments + QStringLiteral(R"re('[^'\n]*+')re"), T::string},
        {QStringLiteral(R"re(#[0-9a-fA-F]{3,8}\b)re"), T::number},
        {QStringLiteral(R"re(-?\d+(?:\.\d+)?(?:px|em|rem|%|vh|vw|vmin|vmax|s|ms|deg|fr|ch|ex)?)re"),
         T::number},
        {QStringLiteral(R"re([a-zA-Z-]++(*SKIP)(?=\s*:))re"), T::property},
    };
}

QList<NBETokenRule> javascriptRules()
{
    return {
        {QStringLiteral(R"re(/\*[\s\S]*?(?:\*/|\z(*COMMIT)(*F)))re"), T::comment},
        {QStringLiteral(R"re(//.*$)re"), T::comment},
        {skipComments + QStringLiteral(R"re(`[^`]*+`)re"), T::string},
        {skipComments + doubleQuotedLine, T::string},
        {skipComments + singleQuotedLine, T::string},
        {QStringLiteral(
             R"re(\b(?:var|let|const|function|class|extends|return|if|else|for|while|do|switch|case|default|break|continue|throw|try|catch|finally|new|delete|typeof|instanceof|in|of|void|this|super|import|export|from|as|async|await|yield|static|get|set)\b)re"),
         T::keyword},
        {QStringLiteral(R"re(\b(?:true|false|null|undefined|NaN|Infinity)\b)re"), T::keyword},
        {QStringLiteral(R"re(\b\d+(?:\.\d+)?(?:[eE][+-]?\d+)?\b)re"), T::number},
        {QStringLiteral(R"re(\b0x[0-9a-fA-F]+\b)re"), T::number},
        {QStringLiteral(R"re(\b[A-Z][a-zA-Z0-9]*\b)re"), T::type},
        {QStringLiteral(R"re(\b\w+(?=\s*\())re"), T::function},
        {QStringLiteral(R"re(=>|===|!==|==|!=|<=|>=|&&|\|\||\?\?|\.\.\.)re"), T::operator_},
    };
}

QList<NBETokenRule> jsonRules()
{
    // Configuration files such as tsconfig.json hold comments, often whole
    // options commented out: a comment outside a string shows as one.
    const QString skipStrings =
        QStringLiteral(R"re("[^"\\\n]*+(?:\\.[^"\\\n]*+)*+"(*SKIP)(*F)|)re");
    return {
        {skipStrings + QStringLiteral(R"re(//.*+)re"), T::comment},
        {skipStrings + QStringLiteral(R"re(/\*[\s\S]*?(?:\*/|\z(*COMMIT)(*F)))re"), T::comment},
        {jsonString + QStringLiteral(R"re((?=\s*:))re"), T::property},
        {jsonString, T::string},
        {QStringLiteral(R"re(\b(?:true|false|null)\b)re"), T::keyword},
        {QStringLiteral(R"re(-?\d+(?:\.\d+)?(?:[eE][+-]?\d+)?)re"), T::number},
    };
}

QList<NBETokenRule> swiftRules()
{
    return {
        {QStringLiteral(R"re(/\*[\s\S]*?(?:\*/|\z(*COMMIT)(*F)))re"), T::comment},
        {QStringLiteral(R"re(//.*$)re"), T::comment},
        {QStringLiteral(R"re("""[\s\S]*?(?:"""|\z(*COMMIT)(*F)))re"), T::string},
        {skipComments + doubleQuotedLine, T::string},
        {skipComments + QStringLiteral(R"re(#"[^"\n]*+"#)re"), T::string},
        {QStringLiteral(R"re(@\w+)re"), T::preprocessor},
        {QStringLiteral(R"re(#\w+)re"), T::preprocessor},
        {QStringLiteral(
             R"re(\b(?:import|func|var|let|struct|class|enum|protocol|extension|typealias|associatedtype|init|deinit|subscript|return|if|else|guard|switch|case|default|for|while|repeat|do|break|continue|fallthrough|throw|throws|rethrows|try|catch|defer|where|in|is|as|self|Self|super|static|mutating|nonmutating|lazy|weak|unowned|inout|some|any|actor|async|await|nonisolated|isolated|consuming|borrowing|sending|public|private|fileprivate|internal|open|override|final|required|convenience|dynamic|indirect|optional|preconcurrency)\b)re"),
         T::keyword},
        {QStringLiteral(R"re(\b(?:true|false|nil)\b)re"), T::keyword},
        {QStringLiteral(R"re(\b\d+(?:\.\d+)?(?:[eE][+-]?\d+)?\b)re"), T::number},
        {QStringLiteral(R"re(\b0x[0-9a-fA-F_]+\b)re"), T::number},
        {QStringLiteral(R"re(\b[A-Z][a-zA-Z0-9]*\b)re"), T::type},
        {QStringLiteral(R"re(\b\w+(?=\s*\())re"), T::function},
        {QStringLiteral(R"re(->|\.\.\.|\.\.<?)re"), T::operator_},
    };
}

QList<NBETokenRule> markdownRules()
{
    return {
        // A "#" comment inside fenced code is code, not a heading; a heading
        // line never takes the next line along.
        {QStringLiteral(R"re(```[\s\S]*?```(*SKIP)(*F)|^#{1,6}[ \t]+.*$)re"), T::keyword},
        {QStringLiteral(R"re(```[\s\S]*?(?:```|\z(*COMMIT)(*F)))re"), T::string},
        // Inline code and emphasis stay on their line, and a "*" followed by
        // a space (a list's bullet) opens no emphasis.
        {QStringLiteral(R"re(`[^`\n]+`)re"), T::string},
        {QStringLiteral(R"re(\*\*[^*\n]+\*\*)re"), T::keyword},
        {QStringLiteral(R"re(__[^_\n]+__)re"), T::keyword},
        {QStringLiteral(R"re(\*(?!\s)[^*\n]+\*)re"), T::comment},
        {QStringLiteral(R"re(_[^_\n]+_)re"), T::comment},
        {QStringLiteral(R"re(!?\[[^\]]*+(*SKIP)\]\([^)]*+(*SKIP)\))re"), T::attribute},
        {QStringLiteral(R"re(^\s*+(*SKIP)[-*+]\s)re"), T::punctuation},
        {QStringLiteral(R"re(^\s*+(*SKIP)\d+\.\s)re"), T::punctuation},
        {QStringLiteral(R"re(^>+\s)re"), T::comment},
    };
}

QList<NBETokenRule> leafRules()
{
    return QList<NBETokenRule>{
               {QStringLiteral(R"re(#[a-zA-Z_]\w*)re"), T::keyword},
               {QStringLiteral(R"re(#(?=\())re"), T::keyword},
               // A directive's quoted arguments, one by one: each search after
               // the first goes on where the last string ended. Written to
               // stay on its line, so every line start begins afresh.
               {QStringLiteral(
                    R"re((?:#(?:[a-zA-Z_]\w*+)? *+\(|\G(?<="))(?:(?!["()]).|\((?:(?!["()]).)*+\))*?\K"(?:(?!").)*+")re"),
                T::string},
           } +
           htmlRules();
}

QList<NBETokenRule> envRules()
{
    return {
        {QStringLiteral(R"re(#.*$)re"), T::comment},
        {QStringLiteral(R"re(^\s*+(*SKIP)(?:export\s+)?[A-Za-z_][A-Za-z0-9_]*(?=\s*=))re"),
         T::property},
        {skipHashComment + envValueStart +
             QStringLiteral(R"re("[^"\\]*+(?:\\.[^"\\]*+)*+(*SKIP)")re"),
         T::string},
        {skipHashComment + envValueStart + QStringLiteral(R"re('[^']*')re"), T::string},
    };
}

QList<NBETokenRule> yamlRules()
{
    return {
        {QStringLiteral(R"re(#.*$)re"), T::comment},
        {skipHashComment + yamlValueStart +
             QStringLiteral(R"re("[^"\\]*+(?:\\.[^"\\]*+)*+(*SKIP)")re"),
         T::string},
        // Two quotes inside a single-quoted string are one quote.
        {skipHashComment + yamlValueStart + QStringLiteral(R"re('[^']*+(?:''[^']*+)*+')re"),
         T::string},
        {QStringLiteral(R"re(^\s*+(*SKIP)-?\s*[A-Za-z0-9_.-]+(?=\s*:))re"), T::property},
        {QStringLiteral(R"re(&[A-Za-z0-9_-]+|\*[A-Za-z0-9_-]+)re"), T::type},
        {QStringLiteral(R"re(\b(?:true|false|null|yes|no|on|off)\b)re"), T::keyword},
        {QStringLiteral(R"re(-?\b\d+(?:\.\d+)?\b)re"), T::number},
        {QStringLiteral(R"re(^\s*+(*SKIP)-\s)re"), T::punctuation},
    };
}

NBEIndentationRules indentation(const char *increase, const char *decrease)
{
    NBEIndentationRules rules;
    if (increase)
        rules.increasePattern = QString::fromLatin1(increase);
    if (decrease)
        rules.decreasePattern = QString::fromLatin1(decrease);
    return rules;
}

std::optional<QString> marker(const char *text)
{
    return QString::fromLatin1(text);
}

const char *const braceIncrease = R"re([{(\[]\s*$)re";
const char *const braceDecrease = R"re(^\s*[})\]])re";

} // namespace

const NBELanguage &NBELanguageRegistry::html()
{
    static const NBELanguage language{
        .id = QStringLiteral("html"),
        .name = QStringLiteral("HTML"),
        .fileExtensions = {QStringLiteral("html"), QStringLiteral("htm")},
        .fileNames = {},
        .tokenRules = htmlRules(),
        .indentationRules = indentation(htmlIncrease, htmlDecrease),
        .bracketPairs = htmlBrackets(),
        .lineCommentPrefix = std::nullopt,
        .blockCommentStart = marker("<!--"),
        .blockCommentEnd = marker("-->"),
    };
    return language;
}

const NBELanguage &NBELanguageRegistry::css()
{
    static const NBELanguage language{
        .id = QStringLiteral("css"),
        .name = QStringLiteral("CSS"),
        .fileExtensions = {QStringLiteral("css")},
        .fileNames = {},
        .tokenRules = cssRules(),
        .indentationRules = indentation(R"re(\{\s*$)re", R"re(^\s*\})re"),
        .bracketPairs = defaultBrackets(),
        .lineCommentPrefix = marker("//"),
        .blockCommentStart = marker("/*"),
        .blockCommentEnd = marker("*/"),
    };
    return language;
}

const NBELanguage &NBELanguageRegistry::javascript()
{
    static const NBELanguage language{
        .id = QStringLiteral("javascript"),
        .name = QStringLiteral("JavaScript"),
        .fileExtensions = {QStringLiteral("js"), QStringLiteral("mjs"), QStringLiteral("cjs"),
                           QStringLiteral("jsx")},
        .fileNames = {},
        .tokenRules = javascriptRules(),
        .indentationRules = indentation(braceIncrease, braceDecrease),
        .bracketPairs = defaultBrackets(),
        .lineCommentPrefix = marker("//"),
        .blockCommentStart = marker("/*"),
        .blockCommentEnd = marker("*/"),
    };
    return language;
}

const NBELanguage &NBELanguageRegistry::json()
{
    static const NBELanguage language{
        .id = QStringLiteral("json"),
        .name = QStringLiteral("JSON"),
        .fileExtensions = {QStringLiteral("json")},
        .fileNames = {QStringLiteral("Package.resolved")},
        .tokenRules = jsonRules(),
        .indentationRules = indentation(R"re([{\[]\s*$)re", R"re(^\s*[}\]])re"),
        .bracketPairs = defaultBrackets(),
        .lineCommentPrefix = std::nullopt,
        .blockCommentStart = std::nullopt,
        .blockCommentEnd = std::nullopt,
    };
    return language;
}

const NBELanguage &NBELanguageRegistry::swift()
{
    static const NBELanguage language{
        .id = QStringLiteral("swift"),
        .name = QStringLiteral("Swift"),
        .fileExtensions = {QStringLiteral("swift")},
        .fileNames = {},
        .tokenRules = swiftRules(),
        .indentationRules = indentation(braceIncrease, braceDecrease),
        .bracketPairs = defaultBrackets(),
        .lineCommentPrefix = marker("//"),
        .blockCommentStart = marker("/*"),
        .blockCommentEnd = marker("*/"),
    };
    return language;
}

const NBELanguage &NBELanguageRegistry::markdown()
{
    static const NBELanguage language{
        .id = QStringLiteral("markdown"),
        .name = QStringLiteral("Markdown"),
        .fileExtensions = {QStringLiteral("md"), QStringLiteral("markdown")},
        .fileNames = {},
        .tokenRules = markdownRules(),
        .indentationRules = {},
        .bracketPairs = defaultBrackets(),
        .lineCommentPrefix = std::nullopt,
        .blockCommentStart = std::nullopt,
        .blockCommentEnd = std::nullopt,
    };
    return language;
}

const NBELanguage &NBELanguageRegistry::leaf()
{
    static const NBELanguage language{
        .id = QStringLiteral("leaf"),
        .name = QStringLiteral("Leaf"),
        .fileExtensions = {QStringLiteral("leaf")},
        .fileNames = {},
        .tokenRules = leafRules(),
        .indentationRules = html().indentationRules,
        .bracketPairs = html().bracketPairs,
        .lineCommentPrefix = std::nullopt,
        .blockCommentStart = marker("<!--"),
        .blockCommentEnd = marker("-->"),
    };
    return language;
}

const NBELanguage &NBELanguageRegistry::env()
{
    static const NBELanguage language{
        .id = QStringLiteral("env"),
        .name = QStringLiteral("Env"),
        .fileExtensions = {QStringLiteral("env")},
        .fileNames = {QStringLiteral(".env")},
        .tokenRules = envRules(),
        .indentationRules = {},
        .bracketPairs = defaultBrackets(),
        .lineCommentPrefix = marker("#"),
        .blockCommentStart = std::nullopt,
        .blockCommentEnd = std::nullopt,
    };
    return language;
}

const NBELanguage &NBELanguageRegistry::yaml()
{
    static const NBELanguage language{
        .id = QStringLiteral("yaml"),
        .name = QStringLiteral("YAML"),
        .fileExtensions = {QStringLiteral("yml"), QStringLiteral("yaml")},
        .fileNames = {},
        .tokenRules = yamlRules(),
        .indentationRules = indentation(R"re(:\s*$)re", nullptr),
        .bracketPairs = defaultBrackets(),
        .lineCommentPrefix = marker("#"),
        .blockCommentStart = std::nullopt,
        .blockCommentEnd = std::nullopt,
    };
    return language;
}

const QList<NBELanguage> &NBELanguageRegistry::all()
{
    static const QList<NBELanguage> languages = {html(),     css(),  javascript(), json(), swift(),
                                                 markdown(), leaf(), env(),        yaml()};
    return languages;
}

std::optional<NBELanguage> NBELanguageRegistry::language(const QUrl &file)
{
    const QString fileName = file.fileName();
    for (const NBELanguage &candidate : all()) {
        if (candidate.fileNames.contains(fileName))
            return candidate;
    }
    if (fileName == QLatin1StringView(".env") || fileName.startsWith(QLatin1StringView(".env.")))
        return env();
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return language(dot < 0 ? QString() : fileName.mid(dot + 1));
}

std::optional<NBELanguage> NBELanguageRegistry::language(const QString &fileExtension)
{
    if (fileExtension.isEmpty())
        return std::nullopt;
    const QString lowered = fileExtension.toLower();
    for (const NBELanguage &candidate : all()) {
        if (candidate.fileExtensions.contains(lowered))
            return candidate;
    }
    return std::nullopt;
}

std::optional<NBELanguage> NBELanguageRegistry::languageWithID(const QString &id)
{
    for (const NBELanguage &candidate : all()) {
        if (candidate.id == id)
            return candidate;
    }
    return std::nullopt;
}
