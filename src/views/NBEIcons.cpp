#include "NBEIcons.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace {

QString resourcePath(const QString &symbol)
{
    return QStringLiteral(":/icons/") + symbol + QStringLiteral(".svg");
}

// Draws a shipped SVG, replacing its "currentColor" with a fixed colour or,
// without one, with the palette's text colour at paint time.
class NBESymbolIconEngine : public QIconEngine
{
public:
    NBESymbolIconEngine(const QString &symbol, const QColor &color)
        : m_symbol(symbol)
        , m_color(color)
    {
        QFile file(resourcePath(symbol));
        if (file.open(QIODevice::ReadOnly))
            m_svg = file.readAll();
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap image = pixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state);
        image.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, image);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        QColor color = m_color;
        if (!color.isValid())
            color = QGuiApplication::palette().color(mode == QIcon::Disabled ? QPalette::Disabled
                                                                             : QPalette::Active,
                                                     QPalette::WindowText);
        else if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.4);
        const QString key = QStringLiteral("%1/%2x%3/%4")
                                .arg(m_symbol)
                                .arg(size.width())
                                .arg(size.height())
                                .arg(color.name(QColor::HexArgb));
        if (const auto cached = m_cache.constFind(key); cached != m_cache.constEnd())
            return *cached;
        QByteArray svg = m_svg;
        svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
        if (color.alpha() < 255)
            svg.replace("<svg ", "<svg opacity=\"" + QByteArray::number(color.alphaF()) + "\" ");
        QBuffer buffer(&svg);
        QImageReader reader(&buffer, "svg");
        reader.setScaledSize(size);
        QPixmap result = QPixmap::fromImage(reader.read());
        if (result.isNull()) {
            result = QPixmap(size);
            result.fill(Qt::transparent);
        }
        m_cache.insert(key, result);
        return result;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine *clone() const override { return new NBESymbolIconEngine(m_symbol, m_color); }
    QString key() const override { return QStringLiteral("NBESymbolIconEngine"); }

private:
    QString m_symbol;
    QColor m_color;
    QByteArray m_svg;
    QHash<QString, QPixmap> m_cache;
};

} // namespace

QString NBEIcons::themeName(const QString &symbol)
{
    // Only names from the freedesktop icon naming list, so that a theme
    // never shows an unrelated picture.
    static const QHash<QString, QString> names = {
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("list.bullet.indent"), QStringLiteral("format-indent-more")},
        {QStringLiteral("clock"), QStringLiteral("document-open-recent")},
        {QStringLiteral("doc.text"), QStringLiteral("text-x-generic")},
        {QStringLiteral("bold"), QStringLiteral("format-text-bold")},
        {QStringLiteral("italic"), QStringLiteral("format-text-italic")},
        {QStringLiteral("underline"), QStringLiteral("format-text-underline")},
        {QStringLiteral("strikethrough"), QStringLiteral("format-text-strikethrough")},
        {QStringLiteral("link"), QStringLiteral("insert-link")},
        {QStringLiteral("photo"), QStringLiteral("insert-image")},
        {QStringLiteral("text.alignleft"), QStringLiteral("format-justify-left")},
    };
    return names.value(symbol);
}

bool NBEIcons::hasFallback(const QString &symbol)
{
    return QFile::exists(resourcePath(symbol));
}

QIcon NBEIcons::icon(const QString &symbol)
{
    const QString name = themeName(symbol);
    if (!name.isEmpty() && QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    return QIcon(new NBESymbolIconEngine(symbol, QColor()));
}

QIcon NBEIcons::icon(const QString &symbol, const QColor &color)
{
    return QIcon(new NBESymbolIconEngine(symbol, color));
}
