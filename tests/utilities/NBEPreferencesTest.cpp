#include "NBEPreferences.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

#include <functional>

namespace {

using Key = NBEPreferences::Key;

struct Row
{
    Key key;
    QVariant defaultValue;
    std::function<bool(NBEPreferences &)> write;
    QVariant written;
    std::function<QVariant(const NBEPreferences &)> read;
    // Stores a value of another type under the key.
    std::function<void(NBEDefaults &, const QString &)> wrongType;
};

QVariant modelName(NBEAnthropicServiceModel model)
{
    return NBEAnthropicModels::rawValue(model);
}

const QList<Row> &rows()
{
    static const QList<Row> table = {
        {Key::appearance, QStringLiteral("system"),
         [](NBEPreferences &p) { return p.setAppearance(QStringLiteral("dark")); },
         QStringLiteral("dark"), [](const NBEPreferences &p) { return QVariant(p.appearance()); },
         [](NBEDefaults &d, const QString &k) { d.setBool(k, true); }},
        {Key::tabSize, 4, [](NBEPreferences &p) { return p.setTabSize(2); }, 2,
         [](const NBEPreferences &p) { return QVariant(p.tabSize()); },
         [](NBEDefaults &d, const QString &k) { d.setString(k, QStringLiteral("2")); }},
        {Key::useSoftTabs, true, [](NBEPreferences &p) { return p.setUseSoftTabs(false); }, false,
         [](const NBEPreferences &p) { return QVariant(p.useSoftTabs()); },
         [](NBEDefaults &d, const QString &k) { d.setString(k, QStringLiteral("false")); }},
        {Key::wordWrap, true, [](NBEPreferences &p) { return p.setWordWrap(false); }, false,
         [](const NBEPreferences &p) { return QVariant(p.wordWrap()); },
         [](NBEDefaults &d, const QString &k) { d.setInt(k, 0); }},
        {Key::showLineNumbers, true, [](NBEPreferences &p) { return p.setShowLineNumbers(false); },
         false, [](const NBEPreferences &p) { return QVariant(p.showLineNumbers()); },
         [](NBEDefaults &d, const QString &k) { d.setStringList(k, {QStringLiteral("no")}); }},
        {Key::fontSize, 13.0, [](NBEPreferences &p) { return p.setFontSize(15.5); }, 15.5,
         [](const NBEPreferences &p) { return QVariant(p.fontSize()); },
         [](NBEDefaults &d, const QString &k) { d.setString(k, QStringLiteral("15")); }},
        {Key::showInvisibles, false, [](NBEPreferences &p) { return p.setShowInvisibles(true); },
         true, [](const NBEPreferences &p) { return QVariant(p.showInvisibles()); },
         [](NBEDefaults &d, const QString &k) { d.setInt(k, 1); }},
        {Key::autoSaveMode, QStringLiteral("off"),
         [](NBEPreferences &p) { return p.setAutoSaveMode(QStringLiteral("afterDelay")); },
         QStringLiteral("afterDelay"),
         [](const NBEPreferences &p) { return QVariant(p.autoSaveMode()); },
         [](NBEDefaults &d, const QString &k) { d.setBool(k, true); }},
        {Key::autoSaveDelay, 1.5, [](NBEPreferences &p) { return p.setAutoSaveDelay(2.5); }, 2.5,
         [](const NBEPreferences &p) { return QVariant(p.autoSaveDelay()); },
         [](NBEDefaults &d, const QString &k) { d.setString(k, QStringLiteral("3")); }},
        {Key::formatOnSave, false, [](NBEPreferences &p) { return p.setFormatOnSave(true); }, true,
         [](const NBEPreferences &p) { return QVariant(p.formatOnSave()); },
         [](NBEDefaults &d, const QString &k) { d.setString(k, QStringLiteral("true")); }},
        {Key::gitAutoFetch, true, [](NBEPreferences &p) { return p.setGitAutoFetch(false); }, false,
         [](const NBEPreferences &p) { return QVariant(p.gitAutoFetch()); },
         [](NBEDefaults &d, const QString &k) { d.setString(k, QStringLiteral("false")); }},
        {Key::showWelcomeAtLaunch, true,
         [](NBEPreferences &p) { return p.setShowWelcomeAtLaunch(false); }, false,
         [](const NBEPreferences &p) { return QVariant(p.showWelcomeAtLaunch()); },
         [](NBEDefaults &d, const QString &k) { d.setInt(k, 0); }},
        {Key::aiEnabled, true, [](NBEPreferences &p) { return p.setAIEnabled(false); }, false,
         [](const NBEPreferences &p) { return QVariant(p.aiEnabled()); },
         [](NBEDefaults &d, const QString &k) { d.setInt(k, 0); }},
        {Key::aiModel, modelName(NBEAnthropicServiceModel::sonnet5),
         [](NBEPreferences &p) { return p.setAIModel(NBEAnthropicServiceModel::opus5); },
         modelName(NBEAnthropicServiceModel::opus5),
         [](const NBEPreferences &p) { return modelName(p.aiModel()); },
         [](NBEDefaults &d, const QString &k) { d.setBool(k, false); }},
    };
    return table;
}

class PreferencesTest : public ::testing::Test
{
protected:
    QString file() const { return dir.filePath(QStringLiteral("settings.json")); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(PreferencesTest, EveryKeyHasItsDefaultRoundTripsAndAnnouncesItself)
{
    ASSERT_EQ(rows().size(), NBEPreferences::allKeys().size()) << "a key without a row";
    NBEDefaults store(file());
    NBEPreferences preferences(store);
    for (const Row &row : rows()) {
        const QString name = NBEPreferences::keyName(row.key);
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(name.startsWith(QLatin1String("nbe.")));
        EXPECT_EQ(NBEPreferences::keyNamed(name), row.key);
        EXPECT_EQ(row.read(preferences), row.defaultValue);

        QSignalSpy changed(&preferences, &NBEPreferences::changed);
        QSignalSpy editor(&preferences, &NBEPreferences::editorSettingsChanged);
        ASSERT_TRUE(row.write(preferences));
        ASSERT_EQ(changed.size(), 1);
        EXPECT_EQ(changed.at(0).at(0).value<Key>(), row.key);
        EXPECT_EQ(editor.size(), NBEPreferences::isEditorKey(row.key) ? 1 : 0);
        EXPECT_EQ(row.read(preferences), row.written);

        // Another store over the same file (as another process) reads it back.
        NBEDefaults reopened(file());
        EXPECT_EQ(row.read(NBEPreferences(reopened)), row.written);

        row.wrongType(store, name);
        EXPECT_EQ(row.read(preferences), row.defaultValue) << "a wrong type reads as the default";
    }
}

TEST_F(PreferencesTest, EditorSettingsFollowTheKeysAndWritesClampToTheOfferedLimits)
{
    NBEDefaults store(file());
    NBEPreferences preferences(store);
    EXPECT_EQ(preferences.editorSettings(), NBEEditorSettings());

    preferences.setTabSize(0);
    EXPECT_EQ(preferences.tabSize(), 1);
    preferences.setTabSize(12);
    EXPECT_EQ(preferences.tabSize(), 8);
    preferences.setFontSize(4);
    EXPECT_EQ(preferences.fontSize(), 9.0);
    preferences.setFontSize(40);
    EXPECT_EQ(preferences.fontSize(), 32.0);
    preferences.setWordWrap(false);
    const NBEEditorSettings settings = preferences.editorSettings();
    EXPECT_EQ(settings.tabSize, 8);
    EXPECT_EQ(settings.fontSize, 32.0);
    EXPECT_FALSE(settings.wordWrap);

    // What another program stored is read as it stands, except what can't
    // be laid out, lies beyond the offered limits (indentation is built
    // from the tab size) or isn't one of the known choices.
    struct Stored
    {
        qint64 tabSize;
        int expectedTabSize;
        double fontSize;
        double expectedFontSize;
    };
    const Stored rows[] = {
        {0, 1, 0.0, 13.0},          {-3, 1, -1.0, 13.0},
        {2000000000, 8, 1e9, 32.0}, {qint64(1) << 40, 8, 2.0, 9.0},
        {3, 3, 14.5, 14.5},
    };
    for (const Stored &row : rows) {
        store.setInt(NBEPreferences::keyName(Key::tabSize), row.tabSize);
        EXPECT_EQ(preferences.tabSize(), row.expectedTabSize) << row.tabSize;
        EXPECT_EQ(preferences.editorSettings().indentUnit().size(), row.expectedTabSize);
        store.setDouble(NBEPreferences::keyName(Key::fontSize), row.fontSize);
        EXPECT_EQ(preferences.fontSize(), row.expectedFontSize) << row.fontSize;
    }
    store.setString(NBEPreferences::keyName(Key::autoSaveMode), QStringLiteral("sometimes"));
    EXPECT_EQ(preferences.autoSaveMode(), QStringLiteral("off"));
    store.setInt(NBEPreferences::keyName(Key::autoSaveDelay), 3);
    EXPECT_EQ(preferences.autoSaveDelay(), 3.0);
    store.setDouble(NBEPreferences::keyName(Key::autoSaveDelay), -1.0);
    EXPECT_EQ(preferences.autoSaveDelay(), 1.5);
    store.setString(NBEPreferences::keyName(Key::aiModel), QStringLiteral("claude-unknown"));
    EXPECT_EQ(preferences.aiModel(), NBEAnthropicServiceModel::sonnet5);
}
