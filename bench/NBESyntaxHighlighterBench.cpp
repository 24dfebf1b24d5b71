// Full tokenization throughput of the highlighter. Bytes are UTF-8 file bytes,
// so MB/s compares directly with tools that read the same files.
//
//   NBESyntaxHighlighterBench --write-corpus=DIR   writes page.html and app.js
//   (the files the HTML and JavaScript cases tokenize) and exits.
//   NBESyntaxHighlighterBench --highlight=FILE      reads FILE, decodes it,
//   tokenizes it by its extension and writes it to stdout coloured with ANSI
//   escapes: the whole job a command-line highlighter does, for timing
//   process against process.

#include "NBEDefaultThemes.h"
#include "NBELanguageRegistry.h"
#include "NBESyntaxHighlighter.h"
#include "support/NBERealCorpus.h"

#include <QFile>
#include <QHash>
#include <QString>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

QString htmlCorpus(qsizetype targetBytes)
{
    QString out =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n"
                       "  <meta charset=\"utf-8\">\n  <title>Catalogue</title>\n"
                       "  <link rel=\"stylesheet\" href=\"style.css\">\n</head>\n<body>\n");
    for (int i = 0; out.size() < targetBytes; ++i) {
        const QString n = QString::number(i);
        if (i % 8 == 0) {
            out +=
                QStringLiteral("  <style>\n    .card[data-index=\"") + n +
                QStringLiteral("\"] > h2 { color: #c0392b; content: \"\u2192\"; }\n  </style>\n");
            out +=
                QStringLiteral("  <script>\n    for (let i = 0; i < ") + n +
                QStringLiteral("; i++) { if (a<b && c>d) log('caf\u00e9 <p>'); }\n  </script>\n");
        }
        out += QStringLiteral("  <!-- section ") + n + QStringLiteral(" -->\n");
        out += QStringLiteral("  <section id=\"s") + n +
               QStringLiteral("\" class=\"card card--wide\" data-index=\"") + n +
               QStringLiteral("\">\n");
        out += QStringLiteral("    <h2 class='title'>Item ") + n + QStringLiteral("</h2>\n");
        out +=
            QStringLiteral("    <p lang=\"el\">\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1, "
                           "\u65e5\u672c\u8a9e \u2014 \U0001F600 item ") +
            n + QStringLiteral("</p>\n");
        out += QStringLiteral("    <p>Some text about item ") + n +
               QStringLiteral(", with <a href=\"/items/") + n +
               QStringLiteral("\" target=\"_blank\">a link</a> and <em>emphasis</em>.</p>\n");
        out += QStringLiteral("    <img src=\"img/") + n +
               QStringLiteral(".png\" alt=\"Picture\" width=\"320\" height=\"200\" />\n");
        out += QStringLiteral("    <ul>\n      <li>First</li>\n      <li>Second</li>\n    </ul>\n");
        out += QStringLiteral("    <input type=\"checkbox\" name=\"pick") + n +
               QStringLiteral("\" checked>\n  </section>\n");
    }
    return out + QStringLiteral("</body>\n</html>\n");
}

QString javascriptCorpus(qsizetype targetBytes)
{
    QString out = QStringLiteral("'use strict';\nimport { render } from \"./render.js\";\n\n");
    for (int i = 0; out.size() < targetBytes; ++i) {
        const QString n = QString::number(i);
        out += QStringLiteral("/**\n * Computes the value of item ") + n +
               QStringLiteral(".\n * @param {number} x\n */\n");
        out += QStringLiteral("export async function compute") + n +
               QStringLiteral("(x, options = {}) {\n");
        out +=
            QStringLiteral("  const label = `item ${x} \u2014 caf\u00e9`; // \u65e5\u672c\u8a9e\n");
        out += QStringLiteral("  let total = 0x1F + ") + n + QStringLiteral(" * 2.5e3;\n");
        out += QStringLiteral("  if (options.verbose === true && x !== null) {\n");
        out += QStringLiteral("    console.log(\"computing\", label, 'now \\'quoted\\'');\n  }\n");
        out += QStringLiteral("  for (let i = 0; i < x; i++) {\n    total += Math.max(i, ") + n +
               QStringLiteral(");\n  }\n");
        out += QStringLiteral("  const result = new Map([[label, total]]);\n");
        out += QStringLiteral("  return await render(result) ?? undefined;\n}\n\n");
    }
    return out;
}

void tokenizeCase(benchmark::State &state, const QString &text, const NBELanguage &language)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(NBESyntaxHighlighter::tokenize(text, language));
    state.SetBytesProcessed(state.iterations() * text.toUtf8().size());
}

const QString &html11MB()
{
    static const QString text = htmlCorpus(11 * 1000 * 1000);
    return text;
}

const QString &javascript6MB()
{
    static const QString text = javascriptCorpus(6 * 1000 * 1000);
    return text;
}

void BM_TokenizeHTML(benchmark::State &state)
{
    tokenizeCase(state, html11MB(), NBELanguageRegistry::html());
}
BENCHMARK(BM_TokenizeHTML)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TokenizeJavaScript(benchmark::State &state)
{
    tokenizeCase(state, javascript6MB(), NBELanguageRegistry::javascript());
}
BENCHMARK(BM_TokenizeJavaScript)->Unit(benchmark::kMillisecond)->UseRealTime();

// One line, as the diff view colours it.
void BM_AttributedLine(benchmark::State &state)
{
    const QString line = QStringLiteral(
        "    <a href=\"/items/42\" class=\"card\" target=\"_blank\">Item 42</a> <!-- x -->");
    const std::optional<NBELanguage> language = NBELanguageRegistry::html();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            NBESyntaxHighlighter::attributedLine(line, language, NBEDefaultThemes::light()));
    state.SetBytesProcessed(state.iterations() * line.size());
}
BENCHMARK(BM_AttributedLine);

// Runs of blank or white-space-only lines: linear, not quadratic, in the
// number of lines (compare 10,000 with 30,000).
void BM_BlankLines(benchmark::State &state, const NBELanguage &language, const char *line)
{
    const QString text = QString::fromLatin1(line).repeated(state.range(0));
    tokenizeCase(state, text, language);
}
BENCHMARK_CAPTURE(BM_BlankLines, yaml_empty, NBELanguageRegistry::yaml(), "\n")
    ->Arg(10000)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BlankLines, yaml_spaces, NBELanguageRegistry::yaml(), "    \n")
    ->Arg(10000)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BlankLines, markdown_spaces, NBELanguageRegistry::markdown(), "  \n")
    ->Arg(10000)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BlankLines, env_spaces, NBELanguageRegistry::env(), " \t\n")
    ->Arg(10000)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond);

// One very long quoted string (with escapes), then ordinary code after it.
void BM_LongString(benchmark::State &state)
{
    const QString text = QStringLiteral("const s = \"") +
                         QStringLiteral("ab\\\"").repeated(state.range(0) / 4) +
                         QStringLiteral("\";\nconst t = 'x';\n");
    tokenizeCase(state, text, NBELanguageRegistry::javascript());
}
BENCHMARK(BM_LongString)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A whole tokenization that also finds restart points (the editor's first
// pass), and the pass after a one-letter edit in the middle of the file.
void BM_TokenizeHTMLWithRestarts(benchmark::State &state)
{
    for (auto _ : state) {
        NBETokenizerState restarts;
        benchmark::DoNotOptimize(
            NBESyntaxHighlighter::tokenize(html11MB(), NBELanguageRegistry::html(), &restarts));
    }
    state.SetBytesProcessed(state.iterations() * html11MB().toUtf8().size());
}
BENCHMARK(BM_TokenizeHTMLWithRestarts)->Unit(benchmark::kMillisecond)->UseRealTime();

void retokenizeCase(benchmark::State &state, const QString &text, const NBELanguage &language)
{
    if (text.isEmpty()) {
        state.SkipWithError("corpus not installed");
        return;
    }
    NBETokenizerState before;
    NBESyntaxHighlighter::tokenize(text, language, &before);
    // One letter typed at each of 16 places spread over the text, in turn:
    // real text has stretches (a quote in a comment, a template over lines)
    // that one place alone would miss or hit.
    struct Edit
    {
        qsizetype at;
        QString text;
    };
    std::vector<Edit> edits;
    for (int i = 1; i <= 16; ++i) {
        const qsizetype spread = text.size() * i / 17;
        const qsizetype lineBreak = text.indexOf(u'\n', spread);
        const qsizetype at = lineBreak < 0 || lineBreak + 3 >= text.size() ? spread : lineBreak + 3;
        edits.push_back({at, QString(text).insert(at, u'x')});
    }
    qsizetype stretch = 0;
    size_t next = 0;
    for (auto _ : state) {
        const Edit &edit = edits[next++ % edits.size()];
        const NBERetokenization redone =
            NBESyntaxHighlighter::retokenize(edit.text, language, before, edit.at, 0, 1);
        stretch = std::max(stretch, redone.to - redone.from);
        benchmark::DoNotOptimize(redone);
    }
    state.counters["longest_stretch_chars"] = double(stretch);
}

void BM_RetokenizeHTMLAfterOneLetter(benchmark::State &state)
{
    retokenizeCase(state, html11MB(), NBELanguageRegistry::html());
}
BENCHMARK(BM_RetokenizeHTMLAfterOneLetter)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_RetokenizeJavaScriptAfterOneLetter(benchmark::State &state)
{
    retokenizeCase(state, javascript6MB(), NBELanguageRegistry::javascript());
}
BENCHMARK(BM_RetokenizeJavaScriptAfterOneLetter)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same on real text: 10 MB of real pages (prose with apostrophes,
// scripts, styles) and a 9 MB real JavaScript library. CPU time per edit.
void BM_RetokenizeRealHTMLAfterOneLetter(benchmark::State &state)
{
    static const QString text = NBERealCorpus::html(10 * 1000 * 1000);
    retokenizeCase(state, text, NBELanguageRegistry::html());
}
BENCHMARK(BM_RetokenizeRealHTMLAfterOneLetter)->Unit(benchmark::kMicrosecond);

void BM_RetokenizeRealJavaScriptAfterOneLetter(benchmark::State &state)
{
    static const QString text = NBERealCorpus::javascript();
    retokenizeCase(state, text, NBELanguageRegistry::javascript());
}
BENCHMARK(BM_RetokenizeRealJavaScriptAfterOneLetter)->Unit(benchmark::kMicrosecond);

// An 8 MB minified script on one line: checkpoints are line starts, so an
// edit redoes the whole line.
void BM_RetokenizeMinifiedAfterOneLetter(benchmark::State &state)
{
    static const QString text = NBERealCorpus::minifiedJavaScript(8 * 1000 * 1000);
    retokenizeCase(state, text, NBELanguageRegistry::javascript());
}
BENCHMARK(BM_RetokenizeMinifiedAfterOneLetter)->Unit(benchmark::kMillisecond);

bool writeCorpus(const QString &folder)
{
    const std::pair<const char *, const QString *> files[] = {{"page.html", &html11MB()},
                                                              {"app.js", &javascript6MB()}};
    for (const auto &[name, text] : files) {
        QFile file(folder + u'/' + QString::fromLatin1(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text->toUtf8()) < 0)
            return false;
    }
    return true;
}

// What a command-line highlighter does with one file, start to end.
int highlightFile(const QString &path)
{
    QFile file(path);
    const std::optional<NBELanguage> language =
        NBELanguageRegistry::language(QUrl::fromLocalFile(path));
    if (!language || !file.open(QIODevice::ReadOnly))
        return 1;
    const QString text = QString::fromUtf8(file.readAll());
    const QList<NBEToken> tokens = NBESyntaxHighlighter::tokenize(text, *language);
    const NBETheme &theme = NBEDefaultThemes::dark();
    QHash<NBETokenType, QString> escapes;
    for (NBETokenType type : NBETokenTypes::allCases()) {
        const QColor colour = theme.colorFor(type);
        escapes.insert(type, QStringLiteral("\x1b[38;2;%1;%2;%3m")
                                 .arg(colour.red())
                                 .arg(colour.green())
                                 .arg(colour.blue()));
    }
    QString out;
    out.reserve(text.size() + tokens.size() * 24);
    qsizetype at = 0;
    for (const NBEToken &token : tokens) {
        out += QStringView(text).mid(at, token.location - at);
        out += escapes.value(token.type);
        out += QStringView(text).mid(token.location, token.length);
        out += QStringLiteral("\x1b[0m");
        at = token.end();
    }
    out += QStringView(text).mid(at);
    QFile output;
    if (!output.open(stdout, QIODevice::WriteOnly))
        return 1;
    return output.write(out.toUtf8()) < 0 ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    constexpr const char *writeFlag = "--write-corpus=";
    constexpr const char *highlightFlag = "--highlight=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], writeFlag, std::strlen(writeFlag)) == 0)
            return writeCorpus(QString::fromLocal8Bit(argv[i] + std::strlen(writeFlag))) ? 0 : 1;
        if (std::strncmp(argv[i], highlightFlag, std::strlen(highlightFlag)) == 0)
            return highlightFile(QString::fromLocal8Bit(argv[i] + std::strlen(highlightFlag)));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
