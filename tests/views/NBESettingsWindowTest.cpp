#include "NBESettingsWindow.h"
#include "../viewmodels/NBEWorkspaceFixture.h"
#include "NBEKeychain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

namespace {

using Key = NBEPreferences::Key;

class NBESettingsWindowTest : public NBEWorkspaceFixture
{
protected:
    std::unique_ptr<NBEPreferences> preferences;
    std::unique_ptr<NBESettingsWindow> window;

    void SetUp() override
    {
        NBEWorkspaceFixture::SetUp();
        preferences = std::make_unique<NBEPreferences>(*settings);
        model = makeModel([this](NBEWorkspaceEnvironment &environment) {
            environment.preferences = preferences.get();
        });
        window = std::make_unique<NBESettingsWindow>(*preferences);
        window->show();
    }

    void TearDown() override
    {
        NBETest::await(NBEKeychain::remove(NBEKeychainKey::anthropicAPIKey));
    }

    QString name(Key key) const { return NBEPreferences::keyName(key); }

    void choose(QComboBox *box, const QString &data)
    {
        box->setCurrentIndex(box->findData(data));
        Q_EMIT box->activated(box->currentIndex());
    }

    bool keyringSettled(QSignalSpy &spy)
    {
        const qsizetype seen = spy.size();
        return NBETest::waitUntil([&] { return spy.size() > seen; });
    }
};

} // namespace

TEST_F(NBESettingsWindowTest, EachControlWritesItsKeyWithItsTypeAndLimitsClamp)
{
    NBESettingsWindow &w = *window;
    w.fontSize()->setValue(40);
    EXPECT_EQ(settings->doubleValue(name(Key::fontSize)), 32.0);
    w.fontSize()->setValue(15);
    EXPECT_EQ(settings->doubleValue(name(Key::fontSize)), 15.0);
    w.tabSize()->setValue(0);
    EXPECT_EQ(settings->intValue(name(Key::tabSize)), 1);
    w.tabSize()->setValue(2);
    EXPECT_EQ(settings->intValue(name(Key::tabSize)), 2);

    const QList<std::pair<QCheckBox *, Key>> switches = {
        {w.softTabs(), Key::useSoftTabs},
        {w.wordWrap(), Key::wordWrap},
        {w.lineNumbers(), Key::showLineNumbers},
        {w.invisibles(), Key::showInvisibles},
        {w.formatOnSave(), Key::formatOnSave},
        {w.gitAutoFetch(), Key::gitAutoFetch},
        {w.aiEnabled(), Key::aiEnabled},
        {w.showWelcomeAtLaunch(), Key::showWelcomeAtLaunch},
    };
    for (const auto &[box, key] : switches) {
        SCOPED_TRACE(name(key).toStdString());
        const bool before = box->isChecked();
        box->click();
        EXPECT_EQ(settings->boolValue(name(key)), !before);
        box->click();
        EXPECT_EQ(settings->boolValue(name(key)), before);
    }

    // The choices about the whole application open the window.
    EXPECT_EQ(w.tabs()->tabText(0), QStringLiteral("General"));
    EXPECT_TRUE(w.tabs()->widget(0)->isAncestorOf(w.appearance()));
    EXPECT_TRUE(w.tabs()->widget(0)->isAncestorOf(w.showWelcomeAtLaunch()));
    choose(w.appearance(), QStringLiteral("dark"));
    EXPECT_EQ(settings->stringValue(name(Key::appearance)), QStringLiteral("dark"));
    EXPECT_FALSE(w.autoSaveDelay()->isEnabled());
    choose(w.autoSaveMode(), QStringLiteral("afterDelay"));
    EXPECT_EQ(settings->stringValue(name(Key::autoSaveMode)), QStringLiteral("afterDelay"));
    EXPECT_TRUE(w.autoSaveDelay()->isEnabled());
    w.autoSaveDelay()->setValue(2.5);
    EXPECT_EQ(settings->doubleValue(name(Key::autoSaveDelay)), 2.5);
    EXPECT_EQ(model->preferences().autoSaveDelay(), 2.5);
    choose(w.aiModel(), QStringLiteral("claude-opus-5"));
    EXPECT_EQ(settings->stringValue(name(Key::aiModel)), QStringLiteral("claude-opus-5"));

    // What another window writes shows here.
    preferences->setTabSize(6);
    preferences->setAutoSaveMode(QStringLiteral("onFocusChange"));
    preferences->setGitAutoFetch(false);
    EXPECT_EQ(w.tabSize()->value(), 6);
    EXPECT_EQ(w.autoSaveMode()->currentData().toString(), QStringLiteral("onFocusChange"));
    EXPECT_FALSE(w.gitAutoFetch()->isChecked());
    EXPECT_FALSE(model->workspaceGit().isAutoFetchEnabled());
}

TEST_F(NBESettingsWindowTest, TheKeyGoesIntoTheKeyringAndIsNeverShownAgain)
{
    QSignalSpy keyState(window.get(), &NBESettingsWindow::keyStateChanged);
    ASSERT_TRUE(NBETest::waitUntil([&] { return !keyState.isEmpty(); }));
    EXPECT_FALSE(window->hasStoredKey());
    EXPECT_FALSE(NBETest::await(model->commitBox().isAIConfigured()));

    const QString key = QStringLiteral("sk-ant-test-123");
    QTest::keyClicks(window->apiKey(), key);
    EXPECT_EQ(window->apiKey()->echoMode(), QLineEdit::Password);
    window->saveKey()->click();
    ASSERT_TRUE(keyringSettled(keyState));
    EXPECT_TRUE(window->hasStoredKey());
    EXPECT_EQ(NBETest::await(NBEKeychain::get(NBEKeychainKey::anthropicAPIKey)), key);
    EXPECT_TRUE(NBETest::await(model->commitBox().isAIConfigured()));

    // A new window knows a key is stored and shows nothing of it.
    window = std::make_unique<NBESettingsWindow>(*preferences);
    QSignalSpy reopened(window.get(), &NBESettingsWindow::keyStateChanged);
    ASSERT_TRUE(NBETest::waitUntil([&] { return !reopened.isEmpty(); }));
    EXPECT_TRUE(window->hasStoredKey());
    EXPECT_TRUE(window->apiKey()->text().isEmpty());
    EXPECT_FALSE(window->apiKey()->placeholderText().contains(key));

    window->removeKey()->click();
    ASSERT_TRUE(keyringSettled(reopened));
    EXPECT_FALSE(window->hasStoredKey());
    EXPECT_FALSE(NBETest::await(NBEKeychain::has(NBEKeychainKey::anthropicAPIKey)));
    EXPECT_FALSE(NBETest::await(model->commitBox().isAIConfigured()));
}

TEST_F(NBESettingsWindowTest, TurningAIOffMakesGenerateSayWhereToTurnItOn)
{
    NBETest::git(root, {QStringLiteral("init"), QStringLiteral("-q")});
    write(QStringLiteral("a.txt"), "a\n");
    NBETest::git(root, {QStringLiteral("add"), QStringLiteral("a.txt")});
    load();
    ASSERT_TRUE(window->aiEnabled()->isChecked());
    window->aiEnabled()->click();
    EXPECT_FALSE(window->apiKey()->isEnabled());
    NBETest::await(model->commitBox().generateCommitMessage());
    EXPECT_EQ(model->errorMessage(),
              QStringLiteral("AI features are turned off. Enable them in Settings → AI."));
}

TEST(NBESettingsWindowShared, OneWindowIsBroughtForward)
{
    QTemporaryDir dir;
    NBEDefaults store(dir.filePath(QStringLiteral("settings.json")));
    NBEPreferences preferences(store);
    NBESettingsWindow *first = NBESettingsWindow::present(preferences);
    EXPECT_EQ(NBESettingsWindow::present(preferences), first);
    EXPECT_EQ(NBESettingsWindow::instance(), first);
    first->close();
    EXPECT_TRUE(NBETest::waitUntil([] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return NBESettingsWindow::instance() == nullptr;
    }));
}

TEST(NBESettingsWindowShared, AChangeThatCantBeSavedSaysSoAndShowsWhatIsStored)
{
    QTemporaryDir dir;
    // A file stands where the settings folder would be made.
    NBETest::writeFile(dir.filePath(QStringLiteral("blocked")), "x");
    NBEDefaults store(dir.filePath(QStringLiteral("blocked/settings.json")));
    NBEPreferences preferences(store);
    NBESettingsWindow window(preferences);
    window.show();
    const bool wrapped = window.wordWrap()->isChecked();
    window.wordWrap()->click();
    EXPECT_FALSE(window.saveProblem()->isHidden());
    EXPECT_TRUE(
        window.saveProblem()->text().startsWith(QStringLiteral("The setting couldn't be saved: ")));
    EXPECT_EQ(window.wordWrap()->isChecked(), wrapped);
}

// Numbers are typed key by key, each key a write: the field keeps what is
// being typed, so "2.5" gives 2.5 seconds, not 2.
TEST_F(NBESettingsWindowTest, ANumberTypedIntoAFieldIsTakenWhole)
{
    NBESettingsWindow &w = *window;
    choose(w.autoSaveMode(), QStringLiteral("afterDelay"));
    const struct
    {
        QAbstractSpinBox *field;
        int tab;
        QString typed;
        Key key;
        double stored;
    } cases[] = {{w.autoSaveDelay(), 2, QStringLiteral("2.5"), Key::autoSaveDelay, 2.5},
                 {w.autoSaveDelay(), 2, QStringLiteral("12.5"), Key::autoSaveDelay, 12.5},
                 {w.fontSize(), 1, QStringLiteral("14"), Key::fontSize, 14.0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        w.tabs()->setCurrentIndex(c.tab);
        c.field->setFocus();
        c.field->selectAll();
        QTest::keyClicks(c.field, c.typed);
        EXPECT_EQ(settings->doubleValue(name(c.key)), c.stored);
        EXPECT_TRUE(c.field->text().startsWith(c.typed)) << c.field->text().toStdString();
    }
}
