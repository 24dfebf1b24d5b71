// Full tokenization throughput of the highlighter. Bytes are UTF-8 file bytes,
// so MB/s compares directly with tools that read the same files.
//
//   NBESyntaxHighlighterBench --write-corpus=DIR   writes page.html and app.js
//   (the files the HTML and JavaScript cases tokenize) and exits.

#include "NBEDefaultThemes.h"
#include "NBELanguageRegistry.h"
#include "NBESyntaxHighlighter.h"

#include <QFile>
#include <QString>

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
        out += QStringLiteral("  <!-- section ") + n + QStringLiteral(" -->\n");
        out += QStringLiteral("  <section id=\"s") + n +
               QStringLiteral("\" class=\"card card--wide\" data-index=\"") + n +
               QStringLiteral("\">\n");
        out += QStringLiteral("    <h2 class='title'>Item ") + n + QStringLiteral("</h2>\n");
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
        out += QStringLiteral("  const label = `item ${x}`; // template\n");
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

// The same JavaScript with one letter beyond ASCII: matching then needs the
// Unicode character properties, which cost more.
void BM_TokenizeJavaScriptUnicode(benchmark::State &state)
{
    static const QString text = QStringLiteral("// café\n") + javascript6MB();
    tokenizeCase(state, text, NBELanguageRegistry::javascript());
}
BENCHMARK(BM_TokenizeJavaScriptUnicode)->Unit(benchmark::kMillisecond)->UseRealTime();

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

} // namespace

int main(int argc, char **argv)
{
    constexpr const char *writeFlag = "--write-corpus=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], writeFlag, std::strlen(writeFlag)) == 0)
            return writeCorpus(QString::fromLocal8Bit(argv[i] + std::strlen(writeFlag))) ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
