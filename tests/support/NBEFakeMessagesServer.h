#pragma once

// A stand-in for the AI service's messages endpoint on 127.0.0.1, shared by
// the tests of the service and of the commit box.

#include <QByteArray>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace NBETest {

// A Messages API stand-in on 127.0.0.1: records each request it reads, then
// answers as told (a reply, an immediate close, or silence).
class FakeMessagesServer
{
public:
    enum class Behaviour { reply, closeAtOnce, silent };

    struct Request
    {
        QByteArray method;
        QByteArray path;
        QList<QPair<QByteArray, QByteArray>> headers; // names lower-cased
        QByteArray body;

        QByteArray header(const QByteArray &name) const
        {
            for (const auto &[key, value] : headers) {
                if (key == name)
                    return value;
            }
            return {};
        }
        int count(const QByteArray &name) const
        {
            return int(std::count_if(headers.begin(), headers.end(),
                                     [&](const auto &h) { return h.first == name; }));
        }
    };

    FakeMessagesServer()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                if (behaviour == Behaviour::closeAtOnce) {
                    socket->abort();
                    socket->deleteLater();
                    continue;
                }
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket, buffer] { read(socket, *buffer); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl baseURL() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
    }

    void answer(int status, const QByteArray &body,
                const QByteArray &contentType = "application/json")
    {
        behaviour = Behaviour::reply;
        m_status = status;
        m_body = body;
        m_contentType = contentType;
    }

    // The text of the user message of the last request.
    QString lastContent() const
    {
        if (requests.isEmpty())
            return {};
        const QJsonObject body = QJsonDocument::fromJson(requests.last().body).object();
        return body.value(QStringLiteral("messages"))
            .toArray()
            .at(0)
            .toObject()
            .value(QStringLiteral("content"))
            .toString();
    }

    // Sends the told answer to every request that silence held back.
    void answerHeld()
    {
        for (const QPointer<QTcpSocket> &socket : std::exchange(m_held, {}))
            if (socket)
                respond(socket);
    }

    Behaviour behaviour = Behaviour::reply;
    int connections = 0;
    QList<Request> requests;

private:
    void read(QTcpSocket *socket, QByteArray &buffer)
    {
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        Request request;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> start = lines.first().trimmed().split(' ');
        request.method = start.value(0);
        request.path = start.value(1);
        qsizetype length = 0;
        for (const QByteArray &line : lines.mid(1)) {
            const qsizetype colon = line.indexOf(':');
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name == "content-length")
                length = value.toLongLong();
        }
        if (buffer.size() < end + 4 + length)
            return;
        request.body = buffer.mid(end + 4, length);
        requests.append(request);
        buffer.clear();
        if (behaviour == Behaviour::silent) {
            m_held.append(socket);
            return;
        }
        respond(socket);
    }

    void respond(QTcpSocket *socket)
    {
        QByteArray response = "HTTP/1.1 " + QByteArray::number(m_status) + " Status\r\n";
        response += "Content-Type: " + m_contentType + "\r\n";
        response += "Content-Length: " + QByteArray::number(m_body.size()) + "\r\n";
        response += "Connection: close\r\n\r\n" + m_body;
        socket->write(response);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_held;
    int m_status = 200;
    QByteArray m_body;
    QByteArray m_contentType;
};

inline QByteArray textReply(const QString &text)
{
    const QJsonObject reply{
        {QStringLiteral("type"), QStringLiteral("message")},
        {QStringLiteral("stop_reason"), QStringLiteral("end_turn")},
        {QStringLiteral("content"),
         QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("text")},
                                {QStringLiteral("text"), text}}}}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

} // namespace NBETest
