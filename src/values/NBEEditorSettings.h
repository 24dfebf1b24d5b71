#pragma once

#include "NBEError.h"

#include <QJsonObject>
#include <QString>

// How the editor lays out and indents text. The settings keys are the stored
// form; this value is rebuilt from them and handed to the editor.
struct NBEEditorSettings
{
    int tabSize = 4;
    bool useSoftTabs = true;
    bool wordWrap = true;
    bool showLineNumbers = true;
    double fontSize = 13.0;
    QString fontName = defaultFontName();
    bool showInvisibles = false;

    // The system's fixed-width font family (the platform's own editor font).
    static QString defaultFontName();

    // One level of indentation: tabSize spaces (at least one) with soft tabs,
    // else a tab character.
    QString indentUnit() const;

    bool operator==(const NBEEditorSettings &) const = default;

    QJsonObject toJson() const;
    // Every key must be present with the right type; nothing falls back.
    static NBEResult<NBEEditorSettings> fromJson(const QJsonObject &object);
};
