#include "NBEDiagnosticsStore.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using Severity = NBELSPDiagnostic::Severity;

QList<NBELSPDiagnostic> findings(std::initializer_list<Severity> severities)
{
    QList<NBELSPDiagnostic> list;
    int line = 0;
    for (const Severity severity : severities) {
        NBELSPDiagnostic d;
        d.severity = severity;
        d.startLine = d.endLine = line++;
        d.endCharacter = 1;
        list.append(d);
    }
    return list;
}

QUrl file(const QString &path)
{
    return QUrl::fromLocalFile(path);
}

// One step on the store and what it must announce.
struct Step
{
    std::function<void(NBEDiagnosticsStore &)> apply;
    int announcements;
};

} // namespace

TEST(NBEDiagnosticsStore, CountsFollowEveryChangeAndOnlyRealOnesAreAnnounced)
{
    const auto E = Severity::error;
    const auto W = Severity::warning;
    const auto I = Severity::information;
    const auto H = Severity::hint;
    const QList<std::pair<const char *, Step>> steps{
        {"first file",
         {[&](auto &s) {
              s.set(file("/p/a.css"), findings({E, E, W}));
          },
          1}},
        {"second file",
         {[&](auto &s) {
              s.set(file("/p/b.html"), findings({W, I, H}));
          },
          1}},
        {"replaced by fewer", {[&](auto &s) { s.set(file("/p/a.css"), findings({W})); }, 1}},
        {"equal list again", {[&](auto &s) { s.set(file("/p/a.css"), findings({W})); }, 1}},
        {"same file by another spelling",
         {[&](auto &s) { s.set(file("/p/x/../a.css"), findings({E})); }, 1}},
        {"unknown file removed", {[&](auto &s) { s.remove(file("/p/none.js")); }, 0}},
        {"file removed", {[&](auto &s) { s.remove(file("/p/b.html")); }, 1}},
        {"removed again", {[&](auto &s) { s.remove(file("/p/b.html")); }, 0}},
        {"empty list kept", {[&](auto &s) { s.set(file("/p/c.js"), {}); }, 1}},
        {"everything cleared", {[&](auto &s) { s.clear(); }, 1}},
        {"clearing nothing", {[&](auto &s) { s.clear(); }, 1}},
        {"after clearing",
         {[&](auto &s) {
              s.set(file("/p/d.ts"), findings({E, I}));
          },
          1}},
    };
    NBEDiagnosticsStore store;
    QSignalSpy announced(&store, &NBEDiagnosticsStore::changed);
    for (const auto &[name, step] : steps) {
        SCOPED_TRACE(name);
        announced.clear();
        step.apply(store);
        EXPECT_EQ(announced.size(), step.announcements);
        // The kept counts are those of counting everything afresh.
        EXPECT_EQ(store.summary(), NBEFileDiagnostics::summary(store.all()));
    }
    EXPECT_EQ(store.summary(), (NBEDiagnosticSummary{1, 0}));
    EXPECT_EQ(store.all().keys(), QStringList{QStringLiteral("/p/d.ts")});
}

TEST(NBEDiagnosticsStore, FilesAreFoundByTheirCleanedPath)
{
    NBEDiagnosticsStore store;
    store.set(file("/p/src/../a.css"), findings({Severity::warning}));
    store.set(file("/p/b.css"), findings({Severity::error}));
    EXPECT_EQ(store.forFile(file("/p/a.css")).size(), 1);
    EXPECT_TRUE(store.all().contains(QStringLiteral("/p/a.css")));
    EXPECT_TRUE(store.forFile(file("/p/c.css")).isEmpty());
    // Errors first, whatever the file names.
    const QList<NBEFileDiagnostic> sorted = store.sorted();
    ASSERT_EQ(sorted.size(), 2);
    EXPECT_EQ(sorted.first().url.fileName(), QStringLiteral("b.css"));
}
