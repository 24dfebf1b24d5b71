#pragma once

#include "NBEAnthropicServiceModel.h"
#include "NBEDefaults.h"
#include "NBEEditorSettings.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// The user's preferences under the "nbe." keys, typed, over one settings
// store. Each reading applies the key's default while the key is absent or
// holds another type; writes go through the store, so every window and view
// model over the same store hears of them. Limits the settings window offers
// are clamped when written, never when read.
class NBEPreferences : public QObject
{
    Q_OBJECT

public:
    enum class Key {
        appearance,
        tabSize,
        useSoftTabs,
        wordWrap,
        showLineNumbers,
        fontSize,
        showInvisibles,
        autoSaveMode,
        autoSaveDelay,
        formatOnSave,
        gitAutoFetch,
        showWelcomeAtLaunch,
        aiEnabled,
        aiModel,
    };
    Q_ENUM(Key)

    static const QList<Key> &allKeys();
    // The stored name, e.g. "nbe.tabSize".
    static QString keyName(Key key);
    static std::optional<Key> keyNamed(const QString &name);
    // Whether the key is one the editor's settings are built from.
    static bool isEditorKey(Key key);

    static constexpr int minimumTabSize = 1;
    static constexpr int maximumTabSize = 8;
    static constexpr double minimumFontSize = 9.0;
    static constexpr double maximumFontSize = 32.0;

    // The process-wide preferences over the shared store.
    static NBEPreferences &shared();

    explicit NBEPreferences(NBEDefaults &store, QObject *parent = nullptr);

    NBEDefaults &store() const { return m_store; }

    // "system", "light" or "dark"; anything else reads as "system".
    QString appearance() const;
    int tabSize() const;
    bool useSoftTabs() const;
    bool wordWrap() const;
    bool showLineNumbers() const;
    // Points; a stored size that is not a positive number reads as 13.
    double fontSize() const;
    bool showInvisibles() const;
    // The six editor keys with the system's fixed-width font.
    NBEEditorSettings editorSettings() const;

    // "off", "afterDelay" or "onFocusChange"; anything else reads as "off".
    QString autoSaveMode() const;
    // Seconds; 1.5 unless a positive number is stored.
    double autoSaveDelay() const;
    bool formatOnSave() const;
    bool gitAutoFetch() const;
    // Whether a new process starts on the welcome window; off, it opens the
    // most recent project instead.
    bool showWelcomeAtLaunch() const;
    // On unless stored as false.
    bool aiEnabled() const { return aiEnabled(m_store); }
    // The model that writes commit messages; an unknown name reads as the default.
    NBEAnthropicServiceModel aiModel() const { return aiModel(m_store); }
    // The same readings for callers that hold only a store.
    static bool aiEnabled(const NBEDefaults &store);
    static NBEAnthropicServiceModel aiModel(const NBEDefaults &store);

    // Writes return false when the store could not be written.
    bool setAppearance(const QString &appearance);
    bool setTabSize(int size);
    bool setUseSoftTabs(bool on);
    bool setWordWrap(bool on);
    bool setShowLineNumbers(bool on);
    bool setFontSize(double points);
    bool setShowInvisibles(bool on);
    bool setAutoSaveMode(const QString &mode);
    bool setAutoSaveDelay(double seconds);
    bool setFormatOnSave(bool on);
    bool setGitAutoFetch(bool on);
    bool setShowWelcomeAtLaunch(bool on);
    bool setAIEnabled(bool on);
    bool setAIModel(NBEAnthropicServiceModel model);

Q_SIGNALS:
    // A key's stored value changed (written here or by another process).
    void changed(NBEPreferences::Key key);
    // Emitted after `changed` for the keys `editorSettings` is built from.
    void editorSettingsChanged();

private:
    NBEDefaults &m_store;
};
