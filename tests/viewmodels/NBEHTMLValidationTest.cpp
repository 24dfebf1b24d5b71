#include "NBEHTMLValidation.h"
#include "NBEDiagnosticsStore.h"
#include "NBETestSupport.h"
#include "NBETextBuffer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

QUrl page(const char *name)
{
    return QUrl::fromLocalFile(QStringLiteral("/project/") + QLatin1String(name));
}

struct HTMLValidation : ::testing::Test
{
    NBEDiagnosticsStore store;
    NBEHTMLValidation validation{store, 20ms};
    int stores = 0;

    HTMLValidation()
    {
        QObject::connect(&store, &NBEDiagnosticsStore::changed, [this] { ++stores; });
    }
    void settle()
    {
        NBETest::waitUntil([] { return false; }, 150ms);
    }
};

} // namespace

TEST_F(HTMLValidation, OnlyTheLastTextOfABurstIsCheckedAndStored)
{
    validation.schedule(page("a.html"), QStringLiteral("<div>"));
    validation.schedule(page("a.html"), QStringLiteral("<div></di"));
    validation.schedule(page("a.html"), QStringLiteral("<div></div>"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return stores == 1; }));
    settle();
    EXPECT_EQ(stores, 1);
    // A clean text stores an empty list, replacing earlier findings.
    EXPECT_TRUE(store.all().contains(QStringLiteral("/project/a.html")));
    EXPECT_TRUE(store.forFile(page("a.html")).isEmpty());

    validation.schedule(page("b.html"), QStringLiteral("<span>\n"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return stores == 2; }));
    EXPECT_FALSE(store.forFile(page("b.html")).isEmpty());
}

TEST_F(HTMLValidation, ABufferIsReadWhenTheCheckRunsNotWhenItIsAsked)
{
    const auto buffer = NBETextBuffer::make(QStringLiteral("<p></p>"));
    validation.schedule(page("a.html"), buffer);
    buffer->replaceAll(QStringLiteral("<p>\n"));
    ASSERT_TRUE(NBETest::waitUntil([&] { return stores == 1; }));
    EXPECT_FALSE(store.forFile(page("a.html")).isEmpty());
}

TEST_F(HTMLValidation, DroppedChecksStoreNothing)
{
    const QList<std::pair<const char *, std::function<void()>>> drops{
        {"one file", [&] { validation.drop(page("x/../a.html")); }},
        {"every file", [&] { validation.dropAll(); }},
    };
    for (const auto &[name, drop] : drops) {
        SCOPED_TRACE(name);
        store.clear();
        stores = 0;
        validation.schedule(page("a.html"), QStringLiteral("<em>"));
        drop();
        settle();
        EXPECT_EQ(stores, 0);
        EXPECT_TRUE(store.all().isEmpty());
    }
}
