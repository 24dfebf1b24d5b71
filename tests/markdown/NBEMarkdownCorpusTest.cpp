#include "NBEHTMLWellFormed.h"
#include "NBEMarkdownHTMLRenderer.h"
#include "NBEMarkdownParser.h"
#include "NBEMarkdownPathological.h"
#include "NBEMarkdownTestPrinting.h"

#include "NBETestSupport.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QtConcurrent>

#include <gtest/gtest.h>

#include <iostream>

// The CommonMark examples (npm package commonmark-spec, pinned in npm/) as a
// corpus: every example must render to well-formed HTML, and where our
// dialect agrees with CommonMark the output must match.

namespace {

struct Example
{
    int number = 0;
    QString section;
    QString markdown;
    QString html;
};

QString specPath()
{
    return QStringLiteral(NBE_SOURCE_DIR
                          "/tests/markdown/npm/node_modules/commonmark-spec/spec.txt");
}

QList<Example> loadExamples()
{
    QFile file(specPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    const QString fence(32, u'`');
    QList<Example> examples;
    QString section;
    for (qsizetype k = 0; k < lines.size(); ++k) {
        const QString &line = lines[k];
        if (line.startsWith(QStringLiteral("<!-- END TESTS -->")))
            break;
        if (line.startsWith(u'#')) {
            section = line.section(u' ', 1).trimmed();
            continue;
        }
        if (line != fence + QStringLiteral(" example"))
            continue;
        Example example;
        example.number = int(examples.size()) + 1;
        example.section = section;
        QStringList markdown;
        QStringList html;
        bool inHTML = false;
        for (++k; k < lines.size() && lines[k] != fence; ++k) {
            if (!inHTML && lines[k] == u".")
                inHTML = true;
            else
                (inHTML ? html : markdown).append(lines[k]);
        }
        // The spec shows tabs as arrows.
        example.markdown = markdown.join(u'\n') + u'\n';
        example.markdown.replace(QChar(0x2192), u'\t');
        example.html = html.join(u'\n') + u'\n';
        example.html.replace(QChar(0x2192), u'\t');
        examples.append(example);
    }
    return examples;
}

// Equal HTML written differently: runs of whitespace, whitespace next to a
// tag, the slash of a void element and a quote written as an entity.
QString normalised(QString html)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    static const QRegularExpression aroundTags(QStringLiteral(" ?(<[^>]*>) ?"));
    static const QRegularExpression voidSlash(QStringLiteral(" ?/>"));
    html.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    html.replace(voidSlash, QStringLiteral(">"));
    html.replace(space, QStringLiteral(" "));
    html.replace(aroundTags, QStringLiteral("\\1"));
    return html.trimmed();
}

QString bodyOf(const QString &markdown)
{
    QStringList parts;
    for (const NBEMarkdownBlock &block : NBEMarkdownParser::parse(markdown))
        parts.append(NBEMarkdownHTMLRenderer::blockHTML(block));
    return parts.join(u'\n');
}

// The constructs on which our dialect and CommonMark agree, by section. Lists
// count only when flat (one list element in the expected output).
QString agreedConstruct(const Example &example)
{
    static const QMap<QString, QString> sections{
        {"ATX headings", "ATX headings"},
        {"Setext headings", "setext headings"},
        {"Thematic breaks", "thematic breaks"},
        {"Fenced code blocks", "fenced code"},
        {"List items", "flat lists"},
        {"Lists", "flat lists"},
        {"Tables (extension)", "pipe tables"},
        {"Task list items (extension)", "task lists"},
        {"Strikethrough (extension)", "strikethrough"},
    };
    const QString construct = sections.value(example.section);
    if (construct == u"flat lists") {
        static const QRegularExpression listTag(QStringLiteral("<[uo]l[ >]"));
        if (example.html.count(listTag) != 1)
            return {};
    }
    return construct;
}

TEST(MarkdownCorpus, EveryExampleRendersWellFormed)
{
    const QList<Example> examples = loadExamples();
    ASSERT_GT(examples.size(), 600)
        << "CommonMark examples missing at " << specPath().toStdString() << "; run scripts/setup";
    for (const Example &example : examples) {
        const QString page = NBEMarkdownHTMLRenderer::render(example.markdown, QStringLiteral("x"));
        ASSERT_TRUE(page.endsWith(QStringLiteral("</html>"))) << example.number;
        // Raw HTML blocks pass through as written; everything else the
        // renderer makes must nest properly.
        for (const NBEMarkdownBlock &block : NBEMarkdownParser::parse(example.markdown)) {
            if (block.kind == NBEMarkdownBlock::Kind::htmlBlock)
                continue;
            const QString html = NBEMarkdownHTMLRenderer::blockHTML(block);
            EXPECT_EQ(htmlFault(html), QString())
                << "example " << example.number << ": " << html.toStdString();
        }
    }
}

TEST(MarkdownCorpus, AgreedConstructsMatchCommonMark)
{
    const QList<Example> examples = loadExamples();
    ASSERT_GT(examples.size(), 600);
    QMap<QString, std::pair<int, int>> counts; // construct -> (passed, total)
    for (const char *construct :
         {"ATX headings", "setext headings", "thematic breaks", "fenced code", "flat lists",
          "pipe tables", "task lists", "strikethrough"})
        counts.insert(QString::fromUtf8(construct), {0, 0});
    QStringList passedExamples;
    for (const Example &example : examples) {
        const QString construct = agreedConstruct(example);
        if (construct.isEmpty())
            continue;
        auto &[passed, total] = counts[construct];
        ++total;
        if (normalised(bodyOf(example.markdown)) == normalised(example.html)) {
            ++passed;
            passedExamples.append(QString::number(example.number));
        } else if (qEnvironmentVariableIsSet("NBE_CORPUS_VERBOSE")) {
            std::cout << "---- " << example.number << " " << construct.toStdString() << "\n"
                      << example.markdown.toStdString()
                      << "expected: " << normalised(example.html).toStdString()
                      << "\nactual:   " << normalised(bodyOf(example.markdown)).toStdString()
                      << "\n";
        }
    }
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        std::cout << "corpus " << it.key().toStdString() << ": " << it->first << "/" << it->second
                  << "\n";
    // Floors measured when the dialect was written: a drop is a regression.
    EXPECT_GE(counts["ATX headings"].first, 11);
    EXPECT_GE(counts["setext headings"].first, 18);
    EXPECT_GE(counts["thematic breaks"].first, 14);
    EXPECT_GE(counts["fenced code"].first, 16);
    EXPECT_GE(counts["flat lists"].first, 5);
}

TEST(MarkdownCorpus, PathologicalInputsRenderWellFormed)
{
    for (const auto &[name, markdown] : NBEMarkdownPathological::inputs()) {
        const QList<NBEMarkdownBlock> blocks = NBEMarkdownParser::parse(markdown);
        EXPECT_FALSE(blocks.isEmpty()) << name.toStdString();
        for (const NBEMarkdownBlock &block : blocks) {
            if (block.kind == NBEMarkdownBlock::Kind::htmlBlock)
                continue;
            const QString fault = htmlFault(NBEMarkdownHTMLRenderer::blockHTML(block));
            EXPECT_EQ(fault, QString()) << name.toStdString();
        }
        EXPECT_TRUE(
            NBEMarkdownHTMLRenderer::render(markdown, name).endsWith(QStringLiteral("</html>")));
    }
}

// Lists nest up to a bounded depth and deeper items join the deepest list,
// so a crafted document cannot exhaust a worker thread's stack; no item is
// lost.
TEST(MarkdownCorpus, DeepListsAreBoundedOnWorkerThreads)
{
    QString lists;
    for (int depth = 0; depth < 3000; ++depth)
        lists += QString(depth, u' ') + "* a" + QString::number(depth) + "\n";
    auto future = QtConcurrent::run([lists] {
        const QList<NBEMarkdownBlock> blocks = NBEMarkdownParser::parse(lists);
        const QString html = NBEMarkdownHTMLRenderer::render(lists, QStringLiteral("deep"));
        return std::pair(blocks, html);
    });
    const auto [blocks, html] = NBETest::await(future);
    ASSERT_EQ(blocks.size(), 1);
    int depth = 1;
    const NBEMarkdownBlock *list = &blocks.first();
    while (!list->items.isEmpty() && !list->items.first().children.isEmpty()) {
        list = &list->items.first().children.first();
        ++depth;
    }
    EXPECT_EQ(depth, 100);
    EXPECT_EQ(list->items.size(), 3000 - 99);
    EXPECT_EQ(list->items.last().text, QStringLiteral("a2999"));
    EXPECT_EQ(html.count(QStringLiteral("<ul>")), 100);
    EXPECT_EQ(html.count(QStringLiteral("<li>")), 3000);
}

} // namespace
