#include "NBEFileDiagnostic.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Severity = NBELSPDiagnostic::Severity;

NBELSPDiagnostic at(Severity severity, int line, int column = 0, const QString &message = {})
{
    NBELSPDiagnostic d;
    d.severity = severity;
    d.startLine = line;
    d.startCharacter = column;
    d.endLine = line;
    d.endCharacter = column + 1;
    d.message = message;
    return d;
}

QStringList describe(const QList<NBEFileDiagnostic> &list)
{
    QStringList out;
    for (const auto &item : list) {
        out.append(QStringLiteral("%1:%2:%3:%4")
                       .arg(item.url.path())
                       .arg(item.diagnostic.startLine)
                       .arg(item.diagnostic.startCharacter)
                       .arg(item.diagnostic.message));
    }
    return out;
}

} // namespace

TEST(NBEFileDiagnostics, SeverityThenNameThenLine)
{
    NBEDiagnosticsByFile byFile;
    byFile[QStringLiteral("/p/b.css")] = {at(Severity::error, 0)};
    byFile[QStringLiteral("/p/a.html")] = {at(Severity::warning, 4)};
    byFile[QStringLiteral("/p/A.css")] = {at(Severity::error, 3), at(Severity::error, 1)};
    EXPECT_EQ(describe(NBEFileDiagnostics::sorted(byFile)),
              (QStringList{QStringLiteral("/p/A.css:1:0:"), QStringLiteral("/p/A.css:3:0:"),
                           QStringLiteral("/p/b.css:0:0:"), QStringLiteral("/p/a.html:4:0:")}));
}

TEST(NBEFileDiagnostics, EqualNamesInDifferentFoldersHaveOneOrder)
{
    // Same severity and name in two folders, interleaved lines: the order is
    // by path first, so the result never depends on the hash's order.
    NBEDiagnosticsByFile byFile;
    byFile[QStringLiteral("/p/docs/index.html")] = {at(Severity::error, 2), at(Severity::error, 0)};
    byFile[QStringLiteral("/p/index.html")] = {at(Severity::error, 1), at(Severity::error, 3)};
    byFile[QStringLiteral("/p/INDEX.html")] = {at(Severity::error, 1)};
    const QStringList expected{
        QStringLiteral("/p/INDEX.html:1:0:"), QStringLiteral("/p/docs/index.html:0:0:"),
        QStringLiteral("/p/docs/index.html:2:0:"), QStringLiteral("/p/index.html:1:0:"),
        QStringLiteral("/p/index.html:3:0:")};
    EXPECT_EQ(describe(NBEFileDiagnostics::sorted(byFile)), expected);
}

TEST(NBEFileDiagnostics, SameLineOrdersByColumnThenMessage)
{
    NBEDiagnosticsByFile byFile;
    byFile[QStringLiteral("/p/a.css")] = {at(Severity::warning, 5, 9, QStringLiteral("b")),
                                          at(Severity::warning, 5, 2, QStringLiteral("z")),
                                          at(Severity::warning, 5, 9, QStringLiteral("a"))};
    EXPECT_EQ(describe(NBEFileDiagnostics::sorted(byFile)),
              (QStringList{QStringLiteral("/p/a.css:5:2:z"), QStringLiteral("/p/a.css:5:9:a"),
                           QStringLiteral("/p/a.css:5:9:b")}));
}

TEST(NBEFileDiagnostics, OrderIsStrictAndTotalOverShuffledInput)
{
    // Irreflexive, asymmetric and transitive over a mixed set, so std::sort
    // gets a valid comparison; any shuffle gives the same result.
    QList<NBEFileDiagnostic> all;
    const QStringList paths{QStringLiteral("/a/x.html"),    QStringLiteral("/b/x.html"),
                            QStringLiteral("/a/X.html"),    QStringLiteral("/a/y.css"),
                            QStringLiteral("/a/file10.js"), QStringLiteral("/a/file2.js")};
    for (const QString &path : paths)
        for (const Severity s : {Severity::error, Severity::hint, Severity::warning})
            for (int line : {2, 0})
                all.append({QUrl::fromLocalFile(path), at(s, line, line % 2)});
    for (const auto &a : all) {
        EXPECT_FALSE(NBEFileDiagnostics::precedes(a, a));
        for (const auto &b : all) {
            if (NBEFileDiagnostics::precedes(a, b)) {
                EXPECT_FALSE(NBEFileDiagnostics::precedes(b, a));
            }
            for (const auto &c : all) {
                if (NBEFileDiagnostics::precedes(a, b) && NBEFileDiagnostics::precedes(b, c)) {
                    EXPECT_TRUE(NBEFileDiagnostics::precedes(a, c));
                }
            }
        }
    }
    QList<NBEFileDiagnostic> first = all;
    std::sort(first.begin(), first.end(), NBEFileDiagnostics::precedes);
    // The ranked sort of the whole store gives the same order.
    NBEDiagnosticsByFile byFile;
    for (const auto &item : all)
        byFile[item.url.path()].append(item.diagnostic);
    EXPECT_EQ(NBEFileDiagnostics::sorted(byFile), first);
    for (int round = 0; round < 5; ++round) {
        QList<NBEFileDiagnostic> shuffled = all;
        std::shuffle(shuffled.begin(), shuffled.end(), *QRandomGenerator::global());
        std::sort(shuffled.begin(), shuffled.end(), NBEFileDiagnostics::precedes);
        EXPECT_EQ(shuffled, first);
    }
}

TEST(NBEFileDiagnostics, SummaryCountsErrorsAndWarningsOnly)
{
    NBEDiagnosticsByFile byFile;
    EXPECT_EQ(NBEFileDiagnostics::summary(byFile), (NBEDiagnosticSummary{0, 0}));
    byFile[QStringLiteral("/p/a.css")] = {at(Severity::information, 0), at(Severity::hint, 1)};
    EXPECT_EQ(NBEFileDiagnostics::summary(byFile), (NBEDiagnosticSummary{0, 0}));
    byFile[QStringLiteral("/p/b.css")] = {at(Severity::error, 0), at(Severity::warning, 1),
                                          at(Severity::error, 2)};
    byFile[QStringLiteral("/p/c.css")] = {};
    EXPECT_EQ(NBEFileDiagnostics::summary(byFile), (NBEDiagnosticSummary{2, 1}));
}
