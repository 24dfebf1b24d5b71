#pragma once

#include <QString>

#include <utility>
#include <vector>

// Inputs known to drive Markdown parsers into quadratic time or deep
// recursion: long runs of unmatched markers, nesting, NUL bytes.
namespace NBEMarkdownPathological {

inline QString repeated(const QString &piece, int count)
{
    return piece.repeated(count);
}

inline std::vector<std::pair<QString, QString>> inputs()
{
    std::vector<std::pair<QString, QString>> cases;
    cases.emplace_back("nested strong emphasis",
                       repeated("*a **a ", 65000) + "b" + repeated(" a** a*", 65000));
    cases.emplace_back("emphasis closers without openers", repeated("a_ ", 65000));
    cases.emplace_back("emphasis openers without closers", repeated("_a ", 65000));
    cases.emplace_back("mismatched openers and closers", repeated("*a_ ", 50000));
    cases.emplace_back("closers multiple of three", "a**b" + repeated("c* ", 50000));
    cases.emplace_back("link closers without openers", repeated("a]", 65000));
    cases.emplace_back("link openers without closers", repeated("[a", 65000));
    cases.emplace_back("link openers and emphasis closers", repeated("[ a_", 50000));
    cases.emplace_back("bracket paren pattern", repeated("[ (](", 80000));
    cases.emplace_back("nested brackets", repeated("[", 50000) + "a" + repeated("]", 50000));
    cases.emplace_back("nested images", repeated("![", 50000) + "a" + repeated("](b)", 50000));
    cases.emplace_back("unclosed links", repeated("[a](b", 30000));
    cases.emplace_back("unclosed images", repeated("![a](b", 30000) + ")");
    cases.emplace_back("unclosed angle links", repeated("[a](<b", 30000));
    cases.emplace_back("footnote openers", repeated("[^1", 65000) + "]");
    cases.emplace_back("nested block quotes", repeated(">", 50000) + "a");
    cases.emplace_back("quotes", repeated("\"'", 65000) + "\n" + repeated("> \"", 30000));
    QString lists;
    for (int depth = 0; depth < 1000; ++depth)
        lists += QString(depth * 2, u' ') + "* a\n";
    cases.emplace_back("deeply nested lists", lists);
    QString backticks;
    for (int run = 1; run < 3000; ++run)
        backticks += "e" + QString(run, u'`');
    cases.emplace_back("backtick runs", backticks);
    QString references;
    for (int k = 1; k < 20000; ++k)
        references += "[" + QString::number(k) + "]: u\n";
    references += repeated("[0] [1][", 20000);
    cases.emplace_back("many references", references);
    cases.emplace_back("reference candidates", "[" + QString(5000, u'x') + "]: u\n" +
                                                   repeated("[", 20000) + QString(5000, u'x') +
                                                   "]");
    QString nul = QStringLiteral("abc");
    nul += QChar(0);
    nul += QStringLiteral("de");
    nul += QChar(0);
    cases.emplace_back("NUL bytes", repeated(nul + "\n", 1000));
    cases.emplace_back("blank lines in list", "- a\n" + repeated("\n", 50000) + "x");
    cases.emplace_back("long table row", repeated("|", 100000) + "\n" + repeated("-|", 50000));
    return cases;
}

} // namespace NBEMarkdownPathological
