#pragma once

// Real text for the benchmarks, put together at run time from files the
// machine has installed, so nothing large is kept in the repository: HTML
// pages with scripts, styles and prose (the Node.js API documentation), a
// JavaScript library (the TypeScript compiler the language servers bring),
// and a minified bundle of the same shape as a real one.
#include <QDir>
#include <QFile>
#include <QString>

namespace NBERealCorpus {

inline QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Real pages one after another until `units` UTF-16 units; empty when the
// documentation isn't installed (Debian package nodejs-doc or nodejs).
inline QString html(qsizetype units)
{
    const QDir folder(QStringLiteral("/usr/share/doc/nodejs/api"));
    QStringList pages = folder.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    // all.html is every other page in one (8 MB): a "1 MiB" text would take
    // all of it.
    pages.removeAll(QStringLiteral("all.html"));
    QString text;
    while (!pages.isEmpty() && text.size() < units) {
        for (const QString &page : pages) {
            text += readText(folder.filePath(page));
            if (text.size() >= units)
                break;
        }
    }
    return text;
}

// About 9 MB of real JavaScript; empty when Vendor/web-lsp isn't installed.
inline QString javascript()
{
    return readText(
        QStringLiteral(NBE_SOURCE_DIR "/Vendor/web-lsp/node_modules/typescript/lib/typescript.js"));
}

// One line of about `units` units, functions, strings and calls as a
// minifier leaves them.
inline QString minifiedJavaScript(qsizetype units)
{
    const QString piece = QStringLiteral(
        "function f%1(a,b){if(a<b&&!c%1){return\"k%1\"+a.slice(1)}return b.map(function(d){"
        "return d*%1})};");
    QString text = QStringLiteral("!function(){\"use strict\";");
    text.reserve(units + piece.size() * 2);
    for (int i = 0; text.size() < units; ++i)
        text += piece.arg(i);
    return text + QStringLiteral("}();\n");
}

// Real minified modules the language servers bring (a webpack bundle and a
// UMD one), one after another on one line until `units` units; empty when
// Vendor/web-lsp isn't installed.
inline QString minifiedBundle(qsizetype units)
{
    const QString modules = QStringLiteral(NBE_SOURCE_DIR "/Vendor/web-lsp/node_modules/");
    QStringList pieces;
    for (const char *path : {"request-light/lib/node/main.js", "vscode-uri/lib/umd/index.js"}) {
        QString piece = readText(modules + QLatin1String(path));
        // The source map comment ends the file on a line of its own.
        if (const qsizetype map = piece.indexOf(QLatin1String("\n//# sourceMappingURL")); map >= 0)
            piece.truncate(map);
        if (piece.trimmed().isEmpty() || piece.trimmed().contains(u'\n'))
            return {};
        pieces.append(piece.trimmed() + u';');
    }
    QString text;
    text.reserve(units + pieces.first().size() + pieces.last().size());
    for (int i = 0; text.size() < units; ++i)
        text += pieces.at(i % pieces.size());
    return text + u'\n';
}

} // namespace NBERealCorpus
