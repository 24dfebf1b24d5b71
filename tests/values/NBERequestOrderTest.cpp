#include "NBERequestOrder.h"

#include <gtest/gtest.h>

TEST(NBERequestOrder, OnlyTheLatestRequestIsCurrent)
{
    NBERequestOrder order;
    // A token from before any request is never current, so a reply that
    // came with none can't pass for the first request's.
    EXPECT_FALSE(order.isCurrent(0));
    const NBERequestOrder::Token first = order.next();
    EXPECT_TRUE(order.isCurrent(first));
    const NBERequestOrder::Token second = order.next();
    EXPECT_FALSE(order.isCurrent(first));
    EXPECT_TRUE(order.isCurrent(second));

    order.supersede();
    EXPECT_FALSE(order.isCurrent(second));
    EXPECT_FALSE(order.isCurrent(first));
    EXPECT_TRUE(order.isCurrent(order.next()));
}
