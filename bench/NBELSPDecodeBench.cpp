// Decoding a server stream: 100,000 didChange messages of about 630 bytes,
// cut into chunks of random size (1 byte to 64 KiB), framed bodies turned into
// message values. Counts messages per second and checks for desyncs.
// bench/jsonrpc-anchor.sh runs the same stream through vscode-jsonrpc and
// through a bare framing + JSON.parse loop in Node.

#include "NBEJSONParser.h"
#include "NBELSPFraming.h"
#include "NBELSPMessage.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int messageCount = 100000;

struct Stream
{
    QByteArray bytes;
    QList<qsizetype> chunkSizes;
};

QByteArray didChangeBody(int version)
{
    QString text;
    // About 400 characters of ordinary CSS with quotes, slashes and a newline
    // or two, so escapes are exercised.
    for (int i = 0; text.size() < 380; ++i)
        text += QStringLiteral("  .card-%1 > a[href=\"/x\"] { color: #%2; }\n")
                    .arg(i)
                    .arg(i * 7919 % 999999, 6, 10, QChar('0'));
    const NBEJSONValue params = NBEJSONValue::object(
        {{"textDocument",
          NBEJSONValue::object(
              {{"uri", "file:///home/user/project/assets/css/site.css"}, {"version", version}})},
         {"contentChanges", NBEJSONValue::array({NBEJSONValue::object({{"text", text}})})}});
    return NBELSPMessage::notification("textDocument/didChange", params).encoded().value();
}

const Stream &stream()
{
    static const Stream built = [] {
        Stream s;
        for (int i = 0; i < messageCount; ++i)
            s.bytes += NBELSPFraming::frame(didChangeBody(i + 1));
        std::mt19937 random(7);
        std::uniform_int_distribution<int> size(1, 65536);
        for (qsizetype at = 0; at < s.bytes.size();) {
            const qsizetype n = std::min<qsizetype>(size(random), s.bytes.size() - at);
            s.chunkSizes.append(n);
            at += n;
        }
        return s;
    }();
    return built;
}

void BM_DecodeDidChangeStream(benchmark::State &state)
{
    const Stream &s = stream();
    qint64 desyncs = 0;
    for (auto _ : state) {
        NBELSPFraming::Decoder decoder;
        qsizetype at = 0;
        qint64 expected = 1;
        for (qsizetype size : s.chunkSizes) {
            auto output = decoder.push(QByteArrayView(s.bytes).sliced(at, size));
            at += size;
            for (const QByteArray &body : output.bodies) {
                auto message = NBELSPMessage::decode(body);
                const NBEJSONValue *document =
                    message && message->params ? message->params->find("textDocument") : nullptr;
                const NBEJSONValue *version = document ? document->find("version") : nullptr;
                if (!version || version->intValue() != expected)
                    ++desyncs;
                ++expected;
            }
        }
        if (expected != messageCount + 1)
            ++desyncs;
        benchmark::DoNotOptimize(expected);
    }
    state.SetItemsProcessed(state.iterations() * messageCount);
    state.SetBytesProcessed(state.iterations() * s.bytes.size());
    state.counters["desyncs"] = static_cast<double>(desyncs);
    state.counters["avgBodyBytes"] = static_cast<double>(s.bytes.size()) / messageCount;
}
BENCHMARK(BM_DecodeDidChangeStream)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same bodies, framed apart beforehand, parsed by the client's reader
// (simdjson first) and by the own byte-by-byte reader alone.
const QList<QByteArray> &bodies()
{
    static const QList<QByteArray> all = [] {
        QList<QByteArray> list;
        for (int i = 0; i < messageCount / 10; ++i)
            list.append(didChangeBody(i + 1));
        return list;
    }();
    return all;
}

template <typename Parse> void parseBodies(benchmark::State &state, Parse parse)
{
    const QList<QByteArray> &all = bodies();
    qint64 bytes = 0;
    for (const QByteArray &body : all)
        bytes += body.size();
    qint64 wrong = 0;
    for (auto _ : state) {
        qint64 expected = 1;
        for (const QByteArray &body : all) {
            const std::optional<NBEJSONValue> value = parse(body);
            const NBEJSONValue *params = value ? value->find(QStringLiteral("params")) : nullptr;
            const NBEJSONValue *document =
                params ? params->find(QStringLiteral("textDocument")) : nullptr;
            const NBEJSONValue *version =
                document ? document->find(QStringLiteral("version")) : nullptr;
            wrong += !version || version->intValue() != expected++;
        }
    }
    state.SetItemsProcessed(state.iterations() * all.size());
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["wrong"] = static_cast<double>(wrong);
}

void BM_ParseBodies(benchmark::State &state)
{
    parseBodies(state, [](const QByteArray &body) { return NBEJSONParser::parse(body); });
}
BENCHMARK(BM_ParseBodies)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ParseBodiesByteByByte(benchmark::State &state)
{
    parseBodies(state, [](const QByteArray &body) { return NBEJSONParser::parseByteByByte(body); });
}
BENCHMARK(BM_ParseBodiesByteByByte)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
