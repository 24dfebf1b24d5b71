#include "NBEPreferences.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct KeyInfo
{
    NBEPreferences::Key key;
    QLatin1String name;
    bool editor;
};

using Key = NBEPreferences::Key;

const KeyInfo keyTable[] = {
    {Key::appearance, QLatin1String("nbe.appearance"), false},
    {Key::tabSize, QLatin1String("nbe.tabSize"), true},
    {Key::useSoftTabs, QLatin1String("nbe.useSoftTabs"), true},
    {Key::wordWrap, QLatin1String("nbe.wordWrap"), true},
    {Key::showLineNumbers, QLatin1String("nbe.showLineNumbers"), true},
    {Key::fontSize, QLatin1String("nbe.fontSize"), true},
    {Key::showInvisibles, QLatin1String("nbe.showInvisibles"), true},
    {Key::autoSaveMode, QLatin1String("nbe.autoSaveMode"), false},
    {Key::autoSaveDelay, QLatin1String("nbe.autoSaveDelay"), false},
    {Key::formatOnSave, QLatin1String("nbe.formatOnSave"), false},
    {Key::gitAutoFetch, QLatin1String("nbe.gitAutoFetch"), false},
    {Key::showWelcomeAtLaunch, QLatin1String("nbe.showWelcomeAtLaunch"), false},
    {Key::aiEnabled, QLatin1String("nbe.ai.enabled"), false},
    {Key::aiModel, QLatin1String("nbe.ai.model"), false},
};

const KeyInfo &info(Key key)
{
    return keyTable[int(key)];
}

} // namespace

const QList<NBEPreferences::Key> &NBEPreferences::allKeys()
{
    static const QList<Key> keys = [] {
        QList<Key> all;
        for (const KeyInfo &row : keyTable)
            all.append(row.key);
        return all;
    }();
    return keys;
}

QString NBEPreferences::keyName(Key key)
{
    return info(key).name;
}

std::optional<NBEPreferences::Key> NBEPreferences::keyNamed(const QString &name)
{
    for (const KeyInfo &row : keyTable)
        if (row.name == name)
            return row.key;
    return std::nullopt;
}

bool NBEPreferences::isEditorKey(Key key)
{
    return info(key).editor;
}

NBEPreferences &NBEPreferences::shared()
{
    static NBEPreferences *preferences = new NBEPreferences(NBEDefaults::shared());
    return *preferences;
}

NBEPreferences::NBEPreferences(NBEDefaults &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
    connect(&store, &NBEDefaults::valueChanged, this, [this](const QString &name) {
        const std::optional<Key> key = keyNamed(name);
        if (!key)
            return;
        Q_EMIT changed(*key);
        if (isEditorKey(*key))
            Q_EMIT editorSettingsChanged();
    });
}

QString NBEPreferences::appearance() const
{
    const QString value = m_store.stringValue(keyName(Key::appearance), QString());
    if (value == QLatin1String("light") || value == QLatin1String("dark"))
        return value;
    return QStringLiteral("system");
}

int NBEPreferences::tabSize() const
{
    // A hand-edited file may hold any number: indentation is built from it,
    // so it stays within what the settings window offers.
    const qint64 size = m_store.intValue(keyName(Key::tabSize), 4);
    return int(std::clamp<qint64>(size, minimumTabSize, maximumTabSize));
}

bool NBEPreferences::useSoftTabs() const
{
    return m_store.boolValue(keyName(Key::useSoftTabs), true);
}

bool NBEPreferences::wordWrap() const
{
    return m_store.boolValue(keyName(Key::wordWrap), true);
}

bool NBEPreferences::showLineNumbers() const
{
    return m_store.boolValue(keyName(Key::showLineNumbers), true);
}

double NBEPreferences::fontSize() const
{
    // A font of size 0 or NaN can't be laid out.
    const double size = m_store.doubleValue(keyName(Key::fontSize), 13.0);
    return std::isfinite(size) && size > 0 ? std::clamp(size, minimumFontSize, maximumFontSize)
                                           : 13.0;
}

bool NBEPreferences::showInvisibles() const
{
    return m_store.boolValue(keyName(Key::showInvisibles), false);
}

NBEEditorSettings NBEPreferences::editorSettings() const
{
    NBEEditorSettings settings;
    settings.tabSize = tabSize();
    settings.useSoftTabs = useSoftTabs();
    settings.wordWrap = wordWrap();
    settings.showLineNumbers = showLineNumbers();
    settings.fontSize = fontSize();
    settings.showInvisibles = showInvisibles();
    settings.fontName = NBEEditorSettings::defaultFontName();
    return settings;
}

QString NBEPreferences::autoSaveMode() const
{
    const QString mode = m_store.stringValue(keyName(Key::autoSaveMode), QString());
    if (mode == QLatin1String("afterDelay") || mode == QLatin1String("onFocusChange"))
        return mode;
    return QStringLiteral("off");
}

double NBEPreferences::autoSaveDelay() const
{
    const QString name = keyName(Key::autoSaveDelay);
    std::optional<double> delay = m_store.doubleValue(name);
    if (!delay) {
        if (const std::optional<qint64> whole = m_store.intValue(name))
            delay = double(*whole);
    }
    return delay && std::isfinite(*delay) && *delay > 0 ? *delay : 1.5;
}

bool NBEPreferences::formatOnSave() const
{
    return m_store.boolValue(keyName(Key::formatOnSave), false);
}

bool NBEPreferences::gitAutoFetch() const
{
    return m_store.boolValue(keyName(Key::gitAutoFetch), true);
}

bool NBEPreferences::showWelcomeAtLaunch() const
{
    return m_store.boolValue(keyName(Key::showWelcomeAtLaunch), true);
}

bool NBEPreferences::aiEnabled(const NBEDefaults &store)
{
    return store.boolValue(keyName(Key::aiEnabled), true);
}

NBEAnthropicServiceModel NBEPreferences::aiModel(const NBEDefaults &store)
{
    return NBEAnthropicModels::fromRawValue(store.stringValue(keyName(Key::aiModel), QString()))
        .value_or(NBEAnthropicServiceModel::sonnet5);
}

bool NBEPreferences::setAppearance(const QString &appearance)
{
    return m_store.setString(keyName(Key::appearance), appearance);
}

bool NBEPreferences::setTabSize(int size)
{
    return m_store.setInt(keyName(Key::tabSize), std::clamp(size, minimumTabSize, maximumTabSize));
}

bool NBEPreferences::setUseSoftTabs(bool on)
{
    return m_store.setBool(keyName(Key::useSoftTabs), on);
}

bool NBEPreferences::setWordWrap(bool on)
{
    return m_store.setBool(keyName(Key::wordWrap), on);
}

bool NBEPreferences::setShowLineNumbers(bool on)
{
    return m_store.setBool(keyName(Key::showLineNumbers), on);
}

bool NBEPreferences::setFontSize(double points)
{
    if (!std::isfinite(points))
        points = 13.0;
    return m_store.setDouble(keyName(Key::fontSize),
                             std::clamp(points, minimumFontSize, maximumFontSize));
}

bool NBEPreferences::setShowInvisibles(bool on)
{
    return m_store.setBool(keyName(Key::showInvisibles), on);
}

bool NBEPreferences::setAutoSaveMode(const QString &mode)
{
    return m_store.setString(keyName(Key::autoSaveMode), mode);
}

bool NBEPreferences::setAutoSaveDelay(double seconds)
{
    return m_store.setDouble(keyName(Key::autoSaveDelay), seconds);
}

bool NBEPreferences::setFormatOnSave(bool on)
{
    return m_store.setBool(keyName(Key::formatOnSave), on);
}

bool NBEPreferences::setGitAutoFetch(bool on)
{
    return m_store.setBool(keyName(Key::gitAutoFetch), on);
}

bool NBEPreferences::setShowWelcomeAtLaunch(bool on)
{
    return m_store.setBool(keyName(Key::showWelcomeAtLaunch), on);
}

bool NBEPreferences::setAIEnabled(bool on)
{
    return m_store.setBool(keyName(Key::aiEnabled), on);
}

bool NBEPreferences::setAIModel(NBEAnthropicServiceModel model)
{
    return m_store.setString(keyName(Key::aiModel), NBEAnthropicModels::rawValue(model));
}
