#include "NBELSPRange.h"

#include <gtest/gtest.h>

TEST(NBELSPRange, ReadsOnlyWellFormedRanges)
{
    struct Row
    {
        const char *json;
        std::optional<NBELSPRange> range;
    };
    const Row rows[] = {
        {R"({"start":{"line":1,"character":2},"end":{"line":3,"character":4}})",
         NBELSPRange{{1, 2}, {3, 4}}},
        // Integral numbers written as reals are still numbers.
        {R"({"start":{"line":1.0,"character":2},"end":{"line":3,"character":4e0}})",
         NBELSPRange{{1, 2}, {3, 4}}},
        {R"({"start":{"line":0,"character":0},"end":{"line":0,"character":0},"x":1})",
         NBELSPRange{{0, 0}, {0, 0}}},
        {R"({"start":{"line":1},"end":{"line":3,"character":4}})", std::nullopt},
        {R"({"start":{"line":1,"character":2},"end":{"character":4}})", std::nullopt},
        {R"({"start":{"line":1,"character":2}})", std::nullopt},
        {R"({"start":{"line":"1","character":2},"end":{"line":3,"character":4}})", std::nullopt},
        {R"({"start":{"line":null,"character":2},"end":{"line":3,"character":4}})", std::nullopt},
        {R"({"start":{"line":-1,"character":2},"end":{"line":3,"character":4}})", std::nullopt},
        {R"({"start":[1,2],"end":{"line":3,"character":4}})", std::nullopt},
        {R"({"start":{"line":1e300,"character":2},"end":{"line":3,"character":4}})", std::nullopt},
        {"[]", std::nullopt},
        {"null", std::nullopt},
    };
    for (const Row &row : rows) {
        const NBEJSONValue json = NBEJSONValue::decode(QByteArray(row.json)).value();
        EXPECT_EQ(NBELSPRange::fromJSON(&json), row.range) << row.json;
    }
    EXPECT_EQ(NBELSPRange::fromJSON(nullptr), std::nullopt);
}

TEST(NBELSPRange, SurvivesTheWireUnchanged)
{
    // Columns count UTF-16 code units: an astral character takes two.
    const QString line = QStringLiteral("a\U0001F600b\u00E9c");
    const qint64 afterEmoji = line.indexOf(u'b');
    ASSERT_EQ(afterEmoji, 3);
    const NBELSPRange rows[] = {
        {{0, 0}, {0, 0}},
        {{0, 1}, {0, afterEmoji}},
        {{2, afterEmoji}, {2, line.size()}},
        {{7, 0}, {3, 9}}, // reversed ranges are the reader's business, not the wire's
        {{(qint64(1) << 40), 5}, {(qint64(1) << 40), (qint64(1) << 33)}},
    };
    for (const NBELSPRange &range : rows) {
        const QByteArray wire = range.toJSON().encoded().value();
        const NBEJSONValue json = NBEJSONValue::decode(wire).value();
        EXPECT_EQ(NBELSPRange::fromJSON(&json), range) << wire.constData();
        const NBEJSONValue start = range.start.toJSON();
        EXPECT_EQ(NBELSPPosition::fromJSON(&start), range.start) << wire.constData();
        EXPECT_EQ(start.find(QStringLiteral("line"))->kind(), NBEJSONValue::Kind::int_);
    }
}
