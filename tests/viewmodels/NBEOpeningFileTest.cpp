#include "NBEOpeningFile.h"

#include <gtest/gtest.h>

TEST(NBEOpeningFile, TheStartIsAScreenfulAndNeverHalfACharacter)
{
    const QString line = QStringLiteral("<p>one line</p>\n");
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    const qsizetype units = NBEOpeningFile::shownUnits;
    const struct
    {
        const char *name;
        QString text;
        QString start;
    } cases[] = {
        {"empty", QString(), QString()},
        {"short, whole", line + QStringLiteral("end"), line + QStringLiteral("end")},
        {"lines beyond a screen",
         line.repeated(NBEOpeningFile::shownLines + 5) + QStringLiteral("end"),
         line.repeated(NBEOpeningFile::shownLines)},
        {"one line of megabytes", QString(units * 40, u'x'), QString(units, u'x')},
        {"a pair across the cut", QString(units - 1, u'x') + face + line, QString(units - 1, u'x')},
        {"a pair just before it", QString(units - 2, u'x') + face + line,
         QString(units - 2, u'x') + face},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NBEOpeningFile::startOf(c.text), c.start) << c.name;
}
