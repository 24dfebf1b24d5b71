#include "NBELog.h"

#include <gtest/gtest.h>

TEST(NBELog, MessagesFillTheirPlaceholderOnce)
{
    struct Row
    {
        const char *format;
        QString argument;
        QString expected;
    };
    const Row rows[] = {
        {"Opened workspace: %s", QStringLiteral("/p/site"),
         QStringLiteral("Opened workspace: /p/site")},
        {"web LSP unavailable (%s): %s", QStringLiteral("css"),
         QStringLiteral("web LSP unavailable (css): %s")},
        // An argument that looks like a format is written as it is.
        {"Saved: %s", QStringLiteral("/tmp/100%s %n.html"),
         QStringLiteral("Saved: /tmp/100%s %n.html")},
        {"No placeholder", QStringLiteral("x"), QStringLiteral("No placeholder")},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NBELogger::compose(row.format, row.argument), row.expected) << row.format;

    EXPECT_STREQ(NBELog::app().category(), "app");
    EXPECT_STREQ(NBELog::editor().category(), "editor");
    EXPECT_STREQ(NBELog::fileIO().category(), "fileIO");
    EXPECT_STREQ(NBELog::lsp().category(), "lsp");
    EXPECT_EQ(&NBELog::lsp(), &NBELog::lsp());
    // Writing must be safe with any text, from any thread.
    NBELog::fileIO().error("Failed to save: %s", QStringLiteral("%s%s%n"));
}
