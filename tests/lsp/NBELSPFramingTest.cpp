#include "NBELSPFraming.h"
#include "NBELSPMessage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using NBELSPFraming::Decoder;

TEST(NBELSPFraming, FramesWithTheLengthHeaderOnly)
{
    EXPECT_EQ(NBELSPFraming::frame("{}"), QByteArray("Content-Length: 2\r\n\r\n{}"));
    EXPECT_EQ(NBELSPFraming::frame(""), QByteArray("Content-Length: 0\r\n\r\n"));
    EXPECT_EQ(NBELSPFraming::frame("é"), QByteArray("Content-Length: 2\r\n\r\né"));
}

TEST(NBELSPFraming, ReadsTheContentLength)
{
    struct Row
    {
        const char *header;
        std::optional<qint64> length;
    };
    const Row rows[] = {
        {"Content-Length: 12", 12},
        {"content-LENGTH:\t 12  ", 12},
        {"Content-Type: x\nContent-Length: 3", 3},
        {"Content-Length: 3\r\nContent-Length: 4", 3},
        {"Content-Length: +7", 7},
        {"Content-Length: -5", -5},
        {"Content-Length: abc", std::nullopt},
        {"Content-Length: 3\r\nContent-Length: abc", 3},
        {"Content-Length: abc\r\nContent-Length: 3", std::nullopt},
        {"Content-Length:", std::nullopt},
        {":Content-Length: 3", std::nullopt},
        {"Content-Type: text", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NBELSPFraming::contentLength(QString::fromUtf8(row.header)), row.length)
            << row.header;
}

TEST(NBELSPFraming, DecoderCutsMessagesHoweverTheyArrive)
{
    const QByteArray one = NBELSPFraming::frame("{\"a\":1}");
    const QByteArray two = NBELSPFraming::frame("{\"b\":22}");

    Decoder together;
    auto output = together.push(one + two);
    EXPECT_EQ(output.bodies, (QList<QByteArray>{"{\"a\":1}", "{\"b\":22}"}));
    EXPECT_FALSE(output.error);

    Decoder split;
    EXPECT_TRUE(split.push(one.left(5)).bodies.isEmpty());
    EXPECT_TRUE(split.push(one.mid(5, one.size() - 7)).bodies.isEmpty());
    EXPECT_EQ(split.push(one.right(2)).bodies, QList<QByteArray>{"{\"a\":1}"});
    EXPECT_EQ(split.pendingBytes(), 0);

    Decoder skipping;
    output = skipping.push("Content-Type: x\r\n\r\n" + one + "Content-Length: abc\r\n\r\n" + two);
    EXPECT_EQ(output.bodies, (QList<QByteArray>{"{\"a\":1}", "{\"b\":22}"}));

    Decoder empty;
    EXPECT_EQ(empty.push("Content-Length: 0\r\n\r\n").bodies, QList<QByteArray>{QByteArray()});
}

TEST(NBELSPFraming, DecoderSurvivesRandomChunking)
{
    QByteArray stream;
    QList<QByteArray> bodies;
    for (int i = 0; i < 300; ++i) {
        const QByteArray body = "{\"n\":" + QByteArray::number(i) + ",\"pad\":\"" +
                                QByteArray(i * 7 % 900, 'x') + "\"}";
        bodies.append(body);
        stream += NBELSPFraming::frame(body);
    }
    std::mt19937 random(42);
    for (int maxChunk : {1, 3, 17, 4096, 70000}) {
        Decoder decoder;
        QList<QByteArray> got;
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype size = std::uniform_int_distribution<int>(1, maxChunk)(random);
            auto output =
                decoder.push(QByteArrayView(stream).sliced(at, std::min(size, stream.size() - at)));
            ASSERT_FALSE(output.error);
            got += output.bodies;
            at += size;
        }
        EXPECT_EQ(got, bodies) << maxChunk;
    }
}

TEST(NBELSPFraming, LimitsEndTheStream)
{
    Decoder waiting;
    EXPECT_FALSE(waiting.push(QByteArray(65536, 'h')).error);
    const auto over = waiting.push("h");
    ASSERT_TRUE(over.error);
    EXPECT_EQ(over.error->reason, "header exceeded 65536 bytes without terminator");

    // An oversized header ends the stream whether or not its terminator
    // came in the same chunk.
    Decoder whole;
    EXPECT_TRUE(whole.push(QByteArray(65537, 'h') + NBELSPFraming::frame("{}")).error);

    // The terminator is found however finely the header is cut, also when
    // it straddles two chunks.
    Decoder trickle;
    QList<QByteArray> bodies;
    for (const char c : QByteArray(3000, ' ') + NBELSPFraming::frame("{\"a\":1}"))
        bodies += trickle.push(QByteArray(1, c)).bodies;
    EXPECT_EQ(bodies, QList<QByteArray>{"{\"a\":1}"});

    Decoder lfOnly;
    EXPECT_TRUE(lfOnly.push("Content-Length: 2\n\n{}").bodies.isEmpty());

    Decoder negative;
    EXPECT_EQ(negative.push("Content-Length: -5\r\n\r\n").error->reason,
              "Content-Length -5 exceeds max 67108864");
    Decoder huge;
    EXPECT_EQ(huge.push("Content-Length: 67108865\r\n\r\n").error->reason,
              "Content-Length 67108865 exceeds max 67108864");
    Decoder atLimit;
    EXPECT_FALSE(atLimit.push("Content-Length: 67108864\r\n\r\n").error);

    // Messages that were complete before the fault are still delivered.
    Decoder partly;
    const auto output = partly.push(NBELSPFraming::frame("{}") + "Content-Length: -1\r\n\r\n");
    EXPECT_EQ(output.bodies, QList<QByteArray>{"{}"});
    EXPECT_TRUE(output.error);
}

TEST(NBELSPMessage, EncodesOnlyPresentMembers)
{
    EXPECT_EQ(NBELSPMessage::request(NBELSPID(0), "initialize").encoded().value(),
              QByteArray(R"({"jsonrpc":"2.0","id":0,"method":"initialize"})"));
    EXPECT_EQ(NBELSPMessage::notification("exit").encoded().value(),
              QByteArray(R"({"jsonrpc":"2.0","method":"exit"})"));
    EXPECT_EQ(NBELSPMessage::notification("initialized", NBEJSONValue::Object()).encoded().value(),
              QByteArray(R"({"jsonrpc":"2.0","method":"initialized","params":{}})"));
    EXPECT_EQ(
        NBELSPMessage::response(NBELSPID(QStringLiteral("abc")), NBEJSONValue()).encoded().value(),
        QByteArray(R"({"jsonrpc":"2.0","id":"abc","result":null})"));
    EXPECT_FALSE(NBELSPMessage::request(NBELSPID(1), "x", NBEJSONValue::array({std::nan("")}))
                     .encoded()
                     .has_value());

    NBELSPMessage error;
    error.id = NBELSPID(4);
    error.error = NBELSPResponseError{-32601, "nope", NBEJSONValue(1)};
    EXPECT_EQ(error.encoded().value(),
              QByteArray(
                  R"({"jsonrpc":"2.0","id":4,"error":{"code":-32601,"message":"nope","data":1}})"));
    EXPECT_EQ(NBELSPMessage::decode(error.encoded().value()).value(), error);
}

TEST(NBELSPMessage, DecodesLenientlyButCompletely)
{
    struct Row
    {
        const char *body;
        bool ok;
    };
    const Row rows[] = {
        {R"({"jsonrpc":"2.0","id":3,"result":null})", true},
        {R"({"id":3,"result":{}})", false},
        {R"({"jsonrpc":2,"id":3})", false},
        {R"({"jsonrpc":"1.0","id":"abc"})", true},
        {R"({"jsonrpc":"2.0","id":4.0})", true},
        {R"({"jsonrpc":"2.0","id":true})", false},
        {R"({"jsonrpc":"2.0","id":1.5})", false},
        {R"({"jsonrpc":"2.0","method":5})", false},
        {R"({"jsonrpc":"2.0","id":1,"error":{"code":1}})", false},
        {R"({"jsonrpc":"2.0","id":1,"error":{"code":1,"message":"m","data":null}})", true},
        {R"({"jsonrpc":"2.0","id":1,"error":"bad"})", false},
        {R"([1])", false},
        {R"(not json)", false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(NBELSPMessage::decode(row.body).has_value(), row.ok) << row.body;

    const auto response =
        NBELSPMessage::decode(R"({"jsonrpc":"2.0","id":3,"result":null})").value();
    EXPECT_EQ(response.id, NBELSPID(3));
    EXPECT_FALSE(response.result.has_value());
    EXPECT_EQ(NBELSPMessage::decode(R"({"jsonrpc":"2.0","id":4.0})")->id, NBELSPID(4));
    EXPECT_EQ(NBELSPMessage::decode(R"({"jsonrpc":"2.0","id":"abc"})")->id,
              NBELSPID(QStringLiteral("abc")));
    EXPECT_NE(NBELSPID(1), NBELSPID(QStringLiteral("1")));
    const auto error =
        NBELSPMessage::decode(
            R"({"jsonrpc":"2.0","id":1,"error":{"code":1,"message":"m","data":null}})")
            .value();
    EXPECT_FALSE(error.error->data.has_value());
    const auto nullId =
        NBELSPMessage::decode(R"({"jsonrpc":"2.0","id":null,"method":"m"})").value();
    EXPECT_FALSE(nullId.id.has_value());
}
