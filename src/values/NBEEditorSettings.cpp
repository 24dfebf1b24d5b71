#include "NBEEditorSettings.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <algorithm>

QString NBEEditorSettings::defaultFontName()
{
    // The font database needs a GUI application; headless tools get the
    // generic family name that fontconfig resolves the same way.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    return QStringLiteral("monospace");
}

QString NBEEditorSettings::indentUnit() const
{
    if (!useSoftTabs)
        return QStringLiteral("\t");
    // Within the settings' limits whatever a file held: the unit is
    // repeated for every level of every line.
    return QString(std::clamp(tabSize, 1, 8), QLatin1Char(' '));
}

QJsonObject NBEEditorSettings::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("tabSize"), tabSize);
    object.insert(QStringLiteral("useSoftTabs"), useSoftTabs);
    object.insert(QStringLiteral("wordWrap"), wordWrap);
    object.insert(QStringLiteral("showLineNumbers"), showLineNumbers);
    object.insert(QStringLiteral("fontSize"), fontSize);
    object.insert(QStringLiteral("fontName"), fontName);
    object.insert(QStringLiteral("showInvisibles"), showInvisibles);
    return object;
}

NBEResult<NBEEditorSettings> NBEEditorSettings::fromJson(const QJsonObject &object)
{
    auto missing = [](const char *key) {
        return nbeFailure(QStringLiteral("The data couldn't be read because the value for “%1” "
                                         "is missing or of the wrong type.")
                              .arg(QLatin1String(key)));
    };
    NBEEditorSettings settings;
    const QJsonValue tabSize = object.value(QStringLiteral("tabSize"));
    if (!tabSize.isDouble() || tabSize.toDouble() != double(tabSize.toInt()))
        return missing("tabSize");
    settings.tabSize = tabSize.toInt();
    const auto readBool = [&](const char *key, bool &field) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isBool())
            return false;
        field = value.toBool();
        return true;
    };
    if (!readBool("useSoftTabs", settings.useSoftTabs))
        return missing("useSoftTabs");
    if (!readBool("wordWrap", settings.wordWrap))
        return missing("wordWrap");
    if (!readBool("showLineNumbers", settings.showLineNumbers))
        return missing("showLineNumbers");
    const QJsonValue fontSize = object.value(QStringLiteral("fontSize"));
    if (!fontSize.isDouble())
        return missing("fontSize");
    settings.fontSize = fontSize.toDouble();
    const QJsonValue fontName = object.value(QStringLiteral("fontName"));
    if (!fontName.isString())
        return missing("fontName");
    settings.fontName = fontName.toString();
    if (!readBool("showInvisibles", settings.showInvisibles))
        return missing("showInvisibles");
    return settings;
}
