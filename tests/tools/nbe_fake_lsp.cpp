// A scriptable language server for tests: answers the handshake and a few
// "test/..." requests that produce the faults a real server will not produce
// on demand. Every message it receives is appended, one body a line, to the
// file named by NBE_FAKE_LSP_LOG (or --log=PATH).
//
// Options: --fail-initialize, --silent-shutdown, --initialize-delay=MS,
// --hang-requests, --incremental (take ranged document changes), --publish (answer every
// didOpen/didChange with one diagnostic naming the document's version and first line).

#include "NBELSPFraming.h"
#include "NBELSPMessage.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace {

QString logPath;
bool failInitialize = false;
bool silentShutdown = false;
bool publish = false;
bool hangRequests = false;
bool incremental = false;
int initializeDelayMs = 0;

void writeAll(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(1, bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            std::exit(2);
        done += n;
    }
}

QByteArray framed(const NBELSPMessage &message)
{
    return NBELSPFraming::frame(message.encoded().value());
}

void send(const NBELSPMessage &message)
{
    writeAll(framed(message));
}

void logBody(const QByteArray &body)
{
    if (logPath.isEmpty())
        return;
    QFile file(logPath);
    if (file.open(QIODevice::Append))
        file.write(body + "\n");
}

NBEJSONValue member(const std::optional<NBEJSONValue> &value, const char *key)
{
    if (!value)
        return {};
    return value->find(QString::fromLatin1(key)) ? *value->find(QString::fromLatin1(key))
                                                 : NBEJSONValue();
}

void publishFor(const NBEJSONValue &params, bool open)
{
    const NBEJSONValue document = *params.find(QStringLiteral("textDocument"));
    const QString uri = document.find(QStringLiteral("uri"))->stringValue().value_or(QString());
    const qint64 version = document.find(QStringLiteral("version"))->intValue().value_or(-1);
    QString text;
    if (open)
        text = document.find(QStringLiteral("text"))->stringValue().value_or(QString());
    else
        text = params.find(QStringLiteral("contentChanges"))
                   ->arrayRef()
                   .value(0)
                   .find(QStringLiteral("text"))
                   ->stringValue()
                   .value_or(QString());
    const QString message =
        QStringLiteral("version %1: %2").arg(version).arg(text.section('\n', 0, 0));
    const NBEJSONValue range =
        NBEJSONValue::object({{"start", NBEJSONValue::object({{"line", 0}, {"character", 0}})},
                              {"end", NBEJSONValue::object({{"line", 0}, {"character", 1}})}});
    send(NBELSPMessage::notification(
        QStringLiteral("textDocument/publishDiagnostics"),
        NBEJSONValue::object(
            {{"uri", uri},
             {"diagnostics", NBEJSONValue::array({NBEJSONValue::object(
                                 {{"range", range}, {"severity", 2}, {"message", message}})})}})));
}

void handle(const NBELSPMessage &message)
{
    const QString method = message.method.value_or(QString());
    if (!message.id) {
        if (method == "exit")
            std::exit(0);
        if (publish && method == "textDocument/didOpen")
            publishFor(*message.params, true);
        if (publish && method == "textDocument/didChange")
            publishFor(*message.params, false);
        return;
    }
    if (!message.method)
        return; // a reply to one of our requests: logged, nothing else
    const NBELSPID id = *message.id;
    const auto reply = [&](const NBEJSONValue &result) {
        send(NBELSPMessage::response(id, result));
    };
    const auto replyError = [&](qint64 code, const QString &text,
                                std::optional<NBEJSONValue> data) {
        NBELSPMessage error;
        error.id = id;
        error.error = NBELSPResponseError{code, text, data};
        send(error);
    };

    if (method == "initialize") {
        if (initializeDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(initializeDelayMs));
        if (failInitialize)
            replyError(-32002, QStringLiteral("initialize refused"), std::nullopt);
        else
            reply(NBEJSONValue::object(
                {{"capabilities", incremental ? NBEJSONValue::object({{"textDocumentSync", 2}})
                                              : NBEJSONValue::Object()}}));
    } else if (method == "shutdown") {
        if (!silentShutdown)
            reply(NBEJSONValue());
    } else if (hangRequests) {
        // never answers anything but the handshake and shutdown
    } else if (method == "test/echo") {
        reply(message.params.value_or(NBEJSONValue()));
    } else if (method == "test/error") {
        replyError(-32000, QStringLiteral("boom"), NBEJSONValue::object({{"detail", 7}}));
    } else if (method == "test/errorAndResult") {
        NBELSPMessage both = NBELSPMessage::response(id, NBEJSONValue(1));
        both.error = NBELSPResponseError{-1, QStringLiteral("both"), std::nullopt};
        send(both);
    } else if (method == "test/noResult") {
        writeAll(NBELSPFraming::frame(QByteArray("{\"jsonrpc\":\"2.0\",\"id\":") +
                                      QByteArray::number(id.number()) + "}"));
    } else if (method == "test/crash") {
        std::_Exit(3);
    } else if (method == "test/hang") {
        // never answers
    } else if (method == "test/split") {
        // The answer leaves one byte at a time.
        const QByteArray bytes =
            framed(NBELSPMessage::response(id, message.params.value_or(NBEJSONValue())));
        for (char c : bytes) {
            writeAll(QByteArray(1, c));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    } else if (method == "test/twoInOne") {
        writeAll(
            framed(NBELSPMessage::notification(QStringLiteral("test/before"), NBEJSONValue(1))) +
            framed(NBELSPMessage::response(id, NBEJSONValue("two"))));
    } else if (method == "test/badHeaders") {
        // A length that is letters, a block with no length, a body without
        // "jsonrpc", then the real answer.
        writeAll("Content-Length: abc\r\n\r\n");
        writeAll("Content-Type: application/vscode-jsonrpc\r\n\r\n");
        writeAll(NBELSPFraming::frame("{\"id\":" + QByteArray::number(id.number()) +
                                      ",\"result\":\"wrong\"}"));
        const QByteArray body =
            NBELSPMessage::response(id, NBEJSONValue("right")).encoded().value();
        writeAll("X-Other: 1\ncontent-LENGTH: \t" + QByteArray::number(body.size()) + " \r\n\r\n" +
                 body);
    } else if (method == "test/oversized") {
        writeAll("Content-Length: 67108865\r\n\r\n");
    } else if (method == "test/serverRequest") {
        // A request of our own (method and params as the caller chose, with
        // the id type it chose), then the answer to the caller's request.
        const NBEJSONValue ask = member(message.params, "id");
        NBELSPMessage request = NBELSPMessage::request(
            ask.stringValue() ? NBELSPID(*ask.stringValue()) : NBELSPID(ask.intValue().value_or(0)),
            member(message.params, "method").stringValue().value_or(QString()),
            member(message.params, "params"));
        send(request);
        reply(NBEJSONValue("asked"));
    } else if (method == "test/notifyMany") {
        const qint64 count = member(message.params, "count").intValue().value_or(0);
        QByteArray burst;
        for (qint64 i = 0; i < count; ++i)
            burst +=
                framed(NBELSPMessage::notification(QStringLiteral("test/tick"), NBEJSONValue(i)));
        writeAll(burst);
        reply(NBEJSONValue(count));
    } else if (method == "test/publish") {
        send(NBELSPMessage::notification(QStringLiteral("textDocument/publishDiagnostics"),
                                         message.params));
        reply(NBEJSONValue());
    } else {
        replyError(-32601, QStringLiteral("unknown method ") + method, std::nullopt);
    }
}

} // namespace

int main(int argc, char **argv)
{
    logPath = QString::fromLocal8Bit(qgetenv("NBE_FAKE_LSP_LOG"));
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == "--fail-initialize")
            failInitialize = true;
        else if (arg == "--silent-shutdown")
            silentShutdown = true;
        else if (arg == "--hang-requests")
            hangRequests = true;
        else if (arg == "--publish")
            publish = true;
        else if (arg == "--incremental")
            incremental = true;
        else if (arg.startsWith("--initialize-delay="))
            initializeDelayMs = arg.section('=', 1).toInt();
        else if (arg.startsWith("--log="))
            logPath = arg.section('=', 1);
    }
    if (qEnvironmentVariableIsSet("NBE_FAKE_LSP_PUBLISH"))
        publish = true;
    if (qEnvironmentVariableIsSet("NBE_FAKE_LSP_INITIALIZE_DELAY"))
        initializeDelayMs = qEnvironmentVariableIntValue("NBE_FAKE_LSP_INITIALIZE_DELAY");

    NBELSPFraming::Decoder decoder;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n <= 0)
            return 0;
        auto output = decoder.push(QByteArrayView(buffer, n));
        for (const QByteArray &body : output.bodies) {
            logBody(body);
            if (auto message = NBELSPMessage::decode(body))
                handle(*message);
        }
        if (output.error)
            return 4;
    }
}
