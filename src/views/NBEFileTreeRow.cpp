#include "NBEFileTreeRow.h"

#include "NBEBrand.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

QString NBEFileTreeRow::fileIcon(const QString &pathExtension)
{
    const QString ext = pathExtension.toLower();
    if (ext == u"swift")
        return QStringLiteral("swift");
    if (ext == u"html" || ext == u"htm")
        return QStringLiteral("chevron.left.forwardslash.chevron.right");
    if (ext == u"css")
        return QStringLiteral("paintbrush");
    if (ext == u"js" || ext == u"mjs")
        return QStringLiteral("curlybraces");
    if (ext == u"json")
        return QStringLiteral("doc.text");
    if (ext == u"md" || ext == u"markdown")
        return QStringLiteral("doc.richtext");
    return QStringLiteral("doc");
}

QString NBEFileTreeRow::themeIconName(const QString &symbol)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("swift"), QStringLiteral("text-x-script")},
        {QStringLiteral("chevron.left.forwardslash.chevron.right"), QStringLiteral("text-html")},
        {QStringLiteral("paintbrush"), QStringLiteral("text-css")},
        {QStringLiteral("curlybraces"), QStringLiteral("text-x-javascript")},
        {QStringLiteral("doc.text"), QStringLiteral("text-x-generic")},
        {QStringLiteral("doc.richtext"), QStringLiteral("text-markdown")},
        {QStringLiteral("doc"), QStringLiteral("text-x-generic")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("folder.fill"), QStringLiteral("folder-open")},
    };
    return names.value(symbol, QStringLiteral("text-x-generic"));
}

QIcon NBEFileTreeRow::icon(const QString &symbol, const QColor &color, int size)
{
    // Every row of every paint asks: the theme lookup and the tinting are
    // done once per look (icons live on the GUI thread only).
    static QHash<QString, QIcon> made;
    const QString key =
        QStringLiteral("%1|%2|%3|%4").arg(symbol, QIcon::themeName()).arg(color.rgba()).arg(size);
    if (const auto found = made.constFind(key); found != made.cend())
        return *found;
    const QIcon tinted = tint(symbol, color, size);
    made.insert(key, tinted);
    return tinted;
}

QIcon NBEFileTreeRow::tint(const QString &symbol, const QColor &color, int size)
{
    QIcon base = QIcon::fromTheme(themeIconName(symbol));
    if (base.isNull()) {
        const bool folder = symbol.startsWith(u"folder");
        base = QApplication::style()->standardIcon(
            folder ? (symbol == u"folder.fill" ? QStyle::SP_DirOpenIcon : QStyle::SP_DirIcon)
                   : QStyle::SP_FileIcon);
    }
    QPixmap pixmap = base.pixmap(size, size);
    if (pixmap.isNull())
        return base;
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    painter.end();
    return QIcon(pixmap);
}

QString NBEFileTreeRow::letter(NBEGitStatus status)
{
    switch (status) {
    case NBEGitStatus::modified:
        return QStringLiteral("M");
    case NBEGitStatus::added:
        return QStringLiteral("A");
    case NBEGitStatus::untracked:
        return QStringLiteral("U");
    case NBEGitStatus::deleted:
        return QStringLiteral("D");
    case NBEGitStatus::renamed:
        return QStringLiteral("R");
    case NBEGitStatus::conflicted:
        return QStringLiteral("C");
    }
    return {};
}

QColor NBEFileTreeRow::gitColor(NBEGitStatus status)
{
    switch (status) {
    case NBEGitStatus::modified:
    case NBEGitStatus::renamed:
        return NBEBrand::amber();
    case NBEGitStatus::added:
    case NBEGitStatus::untracked:
        return QColor(0x28, 0xA7, 0x45);
    case NBEGitStatus::deleted:
    case NBEGitStatus::conflicted:
        return QColor(0xE0, 0x3E, 0x3E);
    }
    return {};
}

QColor NBEFileTreeRow::rowBackground(bool isActiveFile, bool isHovering, const QColor &primary)
{
    QColor color = Qt::transparent;
    if (isActiveFile) {
        color = NBEBrand::amber();
        color.setAlphaF(0.15f);
    } else if (isHovering) {
        color = primary;
        color.setAlphaF(0.06f);
    }
    return color;
}
