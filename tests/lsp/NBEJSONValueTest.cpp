#include "NBEJSONValue.h"
#include "NBEJSONParser.h"

#include <QSet>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

size_t heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

} // namespace

using Kind = NBEJSONValue::Kind;

namespace {
NBEJSONValue decoded(const char *text)
{
    auto value = NBEJSONValue::decode(QByteArray(text));
    EXPECT_TRUE(value.has_value()) << text;
    return value.value_or(NBEJSONValue());
}
} // namespace

TEST(NBEJSONValue, DecodesNumbersByValueNotSpelling)
{
    struct Row
    {
        const char *text;
        Kind kind;
    };
    const Row rows[] = {
        {"7", Kind::int_},
        {"7.0", Kind::int_},
        {"7e0", Kind::int_},
        {"-0", Kind::int_},
        {"1.5", Kind::double_},
        {"1e20", Kind::double_},
        {"1e300", Kind::double_},
        {"true", Kind::bool_},
        {"\"5\"", Kind::string},
        {"null", Kind::null},
        {"[1,2]", Kind::array},
        {"{\"a\":1}", Kind::object},
        {"9223372036854775807", Kind::int_},
    };
    for (const Row &row : rows)
        EXPECT_EQ(decoded(row.text).kind(), row.kind) << row.text;

    EXPECT_EQ(decoded("9223372036854775807").intValue(), std::numeric_limits<qint64>::max());
    EXPECT_EQ(decoded("-9223372036854775808").intValue(), std::numeric_limits<qint64>::min());
    EXPECT_EQ(decoded("1.0"), NBEJSONValue(1));
    EXPECT_EQ(decoded("1.5"), NBEJSONValue(1.5));
    EXPECT_FALSE(NBEJSONValue::decode("{").has_value());
    EXPECT_EQ(NBEJSONValue::decode("[1,").error().description, "Unsupported JSON value");
}

TEST(NBEJSONValue, AccessorsNeverConvertAcrossKinds)
{
    EXPECT_FALSE(decoded("\"5\"").intValue().has_value());
    EXPECT_FALSE(decoded("true").intValue().has_value());
    EXPECT_FALSE(NBEJSONValue(5).stringValue().has_value());
    EXPECT_EQ(NBEJSONValue(-2.7).intValue(), -2);
    EXPECT_EQ(NBEJSONValue(3.9).intValue(), 3);
    EXPECT_FALSE(NBEJSONValue(std::nan("")).intValue().has_value());
    EXPECT_FALSE(NBEJSONValue(1e300).intValue().has_value());
    EXPECT_FALSE(NBEJSONValue(-std::numeric_limits<double>::infinity()).intValue().has_value());

    const NBEJSONValue object = decoded(R"({"a":null,"b":[1]})");
    EXPECT_EQ(object[QStringLiteral("a")], NBEJSONValue());
    EXPECT_FALSE(object[QStringLiteral("missing")].has_value());
    EXPECT_FALSE(decoded("[1]")[QStringLiteral("a")].has_value());
    EXPECT_FALSE(NBEJSONValue()[QStringLiteral("a")].has_value());
    EXPECT_EQ(object[QStringLiteral("b")]->arrayValue()->size(), 1);
}

TEST(NBEJSONValue, EqualityAndHashing)
{
    const NBEJSONValue ab = decoded(R"({"a":1,"b":2})");
    const NBEJSONValue ba = NBEJSONValue::object({{"b", 2}, {"a", 1}});
    EXPECT_EQ(ab, ba);
    EXPECT_EQ(qHash(ab), qHash(ba));
    EXPECT_NE(NBEJSONValue(1), NBEJSONValue(1.0));
    EXPECT_EQ(NBEJSONValue(0.0), NBEJSONValue(-0.0));
    EXPECT_EQ(qHash(NBEJSONValue(0.0)), qHash(NBEJSONValue(-0.0)));
    EXPECT_NE(NBEJSONValue(std::nan("")), NBEJSONValue(std::nan("")));
    EXPECT_NE(decoded("[1,2]"), decoded("[2,1]"));
    EXPECT_EQ(NBEJSONValue::object({{"a", 1}, {"a", 2}}), decoded(R"({"a":2})"));

    QSet<NBEJSONValue> set{ab, ba, NBEJSONValue(), NBEJSONValue("x")};
    EXPECT_EQ(set.size(), 3);
}

TEST(NBEJSONValue, EncodesCompactlyAndRoundTrips)
{
    const NBEJSONValue value = NBEJSONValue::object({
        {"text", "quote \" slash \\ line\n tab\t bell\x07 é 😀"},
        {"list", NBEJSONValue::array({1, 2.5, true, nullptr, "s"})},
        {"empty", NBEJSONValue::Object()},
    });
    const auto bytes = value.encoded();
    ASSERT_TRUE(bytes.has_value());
    EXPECT_FALSE(bytes->contains(' ') && bytes->contains(": "));
    EXPECT_TRUE(bytes->contains(R"("list":[1,2.5,true,null,"s"])"));
    EXPECT_TRUE(bytes->contains(R"(\u0007)"));
    EXPECT_EQ(decoded(bytes->constData()), value);

    // A lone surrogate that an escape brought in goes out as an escape.
    const NBEJSONValue lone = decoded(R"(["a\ude00b\ud83d", "\ud83d\ude00"])");
    const auto loneBytes = lone.encoded();
    ASSERT_TRUE(loneBytes.has_value());
    EXPECT_TRUE(loneBytes->contains(R"(a\ude00b\ud83d")"));
    EXPECT_EQ(decoded(loneBytes->constData()), lone);

    // A string that starts with U+FEFF keeps it, in either reader, as a value,
    // a key, after an escape and beside bytes that aren't UTF-8.
    const QString mark = QString(QChar(0xFEFF));
    for (const char *text : {"[\"\xEF\xBB\xBF\xEF\xBB\xBFz\"]", "[\"\xEF\xBB\xBF\xffz\"]",
                             "[\"\\n\xEF\xBB\xBFz\"]", "{\"\xEF\xBB\xBFk\":1}"}) {
        const NBEJSONValue once = decoded(text);
        const auto again = once.encoded();
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(decoded(again->constData()), once) << text;
        const QString first = once.kind() == Kind::object
                                  ? once.objectValue()->firstKey()
                                  : once.arrayValue()->first().stringValue().value_or(QString());
        EXPECT_TRUE(first.contains(mark)) << text;
    }
    EXPECT_EQ(decoded("[\"\xEF\xBB\xBF\xEF\xBB\xBFz\"]").arrayValue()->first().stringValue(),
              mark + mark + u'z');

    EXPECT_FALSE(NBEJSONValue::array({std::numeric_limits<double>::infinity()}).encoded());
    EXPECT_FALSE(NBEJSONValue(std::nan("")).encoded().has_value());
}

TEST(NBEJSONValue, DecodingIsStrict)
{
    const char *invalid[] = {
        "",         "01",        "1.",    ".5",         "-",        "+1",          "[1,]",
        "{\"a\":}", "{\"a\" 1}", "{a:1}", "\"\\x\"",    "\"a\tb\"", "tru",         "nul",
        "[1] x",    "\"open",    "[1 2]", "{\"a\":1,}", "1e",       "\"\\u12G4\"", "'a'",
    };
    for (const char *text : invalid)
        EXPECT_FALSE(NBEJSONValue::decode(QByteArray(text)).has_value()) << text;

    EXPECT_EQ(decoded(" \r\n\t[ 1 , {\"k\" : \"v\"} ] "),
              NBEJSONValue::array({1, NBEJSONValue::object({{"k", "v"}})}));
    EXPECT_EQ(decoded(R"("\ud83d\ude00 \u00e9\n\"\/")").stringValue(),
              QString::fromUtf8("😀 é\n\"/"));
    EXPECT_EQ(decoded("\"caf\xc3\xa9\"").stringValue(), QString::fromUtf8("café"));
    EXPECT_EQ(decoded("-12.5e1"), NBEJSONValue(-125));
    EXPECT_EQ(decoded("2.5E-1"), NBEJSONValue(0.25));
    EXPECT_EQ(decoded("99999999999999999999").kind(), Kind::double_);

    const QByteArray deep = QByteArray(600, '[') + QByteArray(600, ']');
    EXPECT_FALSE(NBEJSONValue::decode(deep).has_value());
    const QByteArray fine = QByteArray(100, '[') + QByteArray(100, ']');
    EXPECT_TRUE(NBEJSONValue::decode(fine).has_value());
}

// The fast path and the own reader give the same answer for every text,
// including those the fast path hands over (invalid UTF-8, lone surrogate
// escapes, a byte-order mark, deep nesting, numbers past 64 bits).
TEST(NBEJSONValue, TheFastReaderAgreesWithTheOwnOne)
{
    QList<QByteArray> texts{
        "",
        " ",
        "0",
        "-0",
        "-0.0",
        "7.0",
        "7e0",
        "1E2",
        "2.5E-1",
        "1e400",
        "-1e400",
        "1e-400",
        "9223372036854775807",
        "-9223372036854775808",
        "9223372036854775808",
        "18446744073709551615",
        "18446744073709551616",
        "99999999999999999999",
        "9223372036854775807.0",
        "0.1",
        "01",
        "1.",
        "+1",
        "true",
        "false",
        "null",
        "tru",
        R"("\ud83d\ude00 \u00e9\n\"\/\u0000")",
        R"("\ud800")",
        R"("\udc00x\ud83d")",
        "\"caf\xc3\xa9\"",
        "\"bad \xff\xfe bytes\"",
        "\"over\xc0\xaflong\"",
        "\"a\tb\"",
        "\xEF\xBB\xBF{}",
        "{\"a\":1,\"a\":2}",
        "{\"a\":1,}",
        "[1,]",
        "[1] x",
        " [ 1 , {} ] ",
        R"({"jsonrpc":"2.0","id":3,"result":{"items":[{"label":"div","kind":10}],"x":null}})",
    };
    for (int depth : {100, 255, 256, 257, 300, 512, 513, 600})
        texts << QByteArray(depth, '[') + QByteArray(depth, ']')
              << QByteArray(depth, '[') + "1" + QByteArray(depth - 1, ']')
              // Longer than the fast reader's first buffer.
              << QByteArray(100'000, ' ') + QByteArray(depth, '[') + QByteArray(depth, ']');
    for (const QByteArray &text : texts) {
        const std::optional<NBEJSONValue> fast = NBEJSONParser::parse(text);
        const std::optional<NBEJSONValue> own = NBEJSONParser::parseByteByByte(text);
        ASSERT_EQ(fast.has_value(), own.has_value()) << text.left(80).toStdString();
        if (fast) {
            EXPECT_EQ(fast->kind(), own->kind()) << text.left(80).toStdString();
            EXPECT_EQ(*fast, *own) << text.left(80).toStdString();
        }
    }
}

// A pool thread that read one large message (a page's thousands of
// diagnostics) keeps no buffers of its size for the rest of its life.
TEST(NBEJSONValue, ReadingALargeMessageLeavesNoBuffersOfItsSize)
{
    QByteArray large = "[";
    while (large.size() < 4 * 1024 * 1024)
        large += R"({"range":{"start":{"line":1,"character":2}},"message":"Unknown property"},)";
    large += "null]";
    qint64 kept = 0;
    std::thread([&] {
        const auto before = qint64(heapInUse());
        ASSERT_TRUE(NBEJSONParser::parse(large).has_value());
        kept = qint64(heapInUse()) - before;
    }).join();
    EXPECT_LT(kept, 1024 * 1024);
}
