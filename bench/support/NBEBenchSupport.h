#pragma once

// What the benchmarks share: generated HTML pages, waiting for the event
// loop without spinning, and percentiles.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QList>
#include <QString>

#include <algorithm>
#include <functional>

namespace NBEBench {

// A card of markup: a section with a comment, a heading, a link, an image.
inline const QString &cardHTML()
{
    static const QString card = QStringLiteral(
        "<section class=\"card\" id=\"item-%1\">\n"
        "  <!-- card %1 -->\n"
        "  <h2 class=\"title\">Heading number %1</h2>\n"
        "  <p>Some <strong>bold</strong> text, an <a href=\"https://example.com/%1\">link</a> "
        "&amp; more words to fill the line.</p>\n"
        "  <img src=\"images/%1.png\" alt=\"picture %1\" width=\"320\" height=\"200\">\n"
        "</section>\n");
    return card;
}

// About `bytes` of `card` (its %1 the card's number) over and over between
// `head` and `tail`.
inline QString
generatedHTML(qsizetype bytes, const QString &card = cardHTML(),
              const QString &head = QStringLiteral("<!DOCTYPE html>\n<html>\n<body>\n"),
              const QString &tail = QStringLiteral("</body>\n</html>\n"))
{
    QString text = head;
    text.reserve(bytes + card.size() * 2);
    for (int i = 0; text.size() < bytes; ++i)
        text += card.arg(i);
    return text + tail;
}

// Runs the event loop until `done` holds or the time runs out; whether it held.
inline bool waitFor(const std::function<bool()> &done, int limitMs = 120000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

inline double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(std::min<qsizetype>(values.size() - 1, qsizetype(p * values.size())));
}

} // namespace NBEBench
