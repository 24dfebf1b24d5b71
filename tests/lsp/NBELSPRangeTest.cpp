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
