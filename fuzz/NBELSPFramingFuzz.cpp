#include "NBEFuzzSupport.h"
#include "NBELSPFraming.h"

// Bytes a language server writes: cut however the pipe delivers them, the
// bodies and the verdict are the same as for the whole stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NBEFuzzInput input(data, size);
    const int chunk = 1 + input.byte() % 17;
    const QByteArray stream = input.restBytes();

    NBELSPFraming::Decoder whole;
    const NBELSPFraming::Decoder::Output once = whole.push(stream);

    NBELSPFraming::Decoder pieces;
    QList<QByteArray> bodies;
    bool failed = false;
    for (qsizetype at = 0; at < stream.size() && !failed; at += chunk) {
        NBELSPFraming::Decoder::Output out = pieces.push(
            QByteArrayView(stream).sliced(at, std::min<qsizetype>(chunk, stream.size() - at)));
        bodies += out.bodies;
        failed = out.error.has_value();
    }
    NBE_FUZZ_CHECK(failed == once.error.has_value());
    if (!failed) {
        NBE_FUZZ_CHECK(bodies == once.bodies);
        NBE_FUZZ_CHECK(pieces.pendingBytes() == whole.pendingBytes());
    }
    for (const QByteArray &body : once.bodies) {
        NBELSPFraming::Decoder again;
        const NBELSPFraming::Decoder::Output out = again.push(NBELSPFraming::frame(body));
        NBE_FUZZ_CHECK(out.bodies == QList<QByteArray>{body});
    }
    NBELSPFraming::contentLength(QString::fromUtf8(stream));
    return 0;
}
