#include "NBETokenType.h"

#include <gtest/gtest.h>

TEST(NBETokenType, RawValuesRoundTripAndAreCaseSensitive)
{
    for (NBETokenType type : NBETokenTypes::allCases())
        EXPECT_EQ(NBETokenTypes::fromRawValue(NBETokenTypes::rawValue(type)), type);

    EXPECT_EQ(NBETokenTypes::rawValue(NBETokenType::operator_), QStringLiteral("operator"));
    EXPECT_EQ(NBETokenTypes::fromRawValue(QStringLiteral("operator")), NBETokenType::operator_);
    EXPECT_EQ(NBETokenTypes::fromRawValue(QStringLiteral("keyword")), NBETokenType::keyword);
    EXPECT_EQ(NBETokenTypes::fromRawValue(QStringLiteral("Keyword")), std::nullopt);
    EXPECT_EQ(NBETokenTypes::fromRawValue(QStringLiteral("operator_")), std::nullopt);
    EXPECT_EQ(NBETokenTypes::fromRawValue(QString()), std::nullopt);
}
