#pragma once

#include "NBELanguage.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// The nine built-in languages and the lookup of a file's language. Each record
// is built once, on first use, and handed out as a copy.
class NBELanguageRegistry
{
public:
    static const NBELanguage &html();
    static const NBELanguage &css();
    static const NBELanguage &javascript();
    static const NBELanguage &json();
    static const NBELanguage &swift();
    static const NBELanguage &markdown();
    static const NBELanguage &leaf();
    static const NBELanguage &env();
    static const NBELanguage &yaml();

    // In lookup order: html, css, javascript, json, swift, markdown, leaf, env, yaml.
    static const QList<NBELanguage> &all();

    // By exact file name first, then ".env" and ".env.*", then the extension.
    static std::optional<NBELanguage> language(const QUrl &file);
    // By extension (without the dot), compared lower-cased.
    static std::optional<NBELanguage> language(const QString &fileExtension);

    // The language whose id is `id`, if built in.
    static std::optional<NBELanguage> languageWithID(const QString &id);
};
