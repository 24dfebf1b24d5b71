#include "NBEEditorSession.h"
#include "NBEDefaultThemes.h"
#include "NBELanguageRegistry.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

// Each setter announces a change by what changed, and only a real one.
TEST(NBEEditorSession, SettersAnnounceOnlyWhatChanged)
{
    NBEEditorSession session;
    ASSERT_TRUE(session.buffer());
    EXPECT_TRUE(session.buffer()->text().isEmpty());

    QSignalSpy language(&session, &NBEEditorSession::languageChanged);
    QSignalSpy theme(&session, &NBEEditorSession::themeChanged);
    QSignalSpy settings(&session, &NBEEditorSession::settingsChanged);
    QSignalSpy head(&session, &NBEEditorSession::headContentChanged);
    QSignalSpy diagnostics(&session, &NBEEditorSession::diagnosticsChanged);
    const auto counts = [&] {
        return QList<qsizetype>{language.size(), theme.size(), settings.size(), head.size(),
                                diagnostics.size()};
    };

    const struct
    {
        const char *name;
        std::function<void()> change;
        QList<qsizetype> after;
    } steps[] = {
        {"language", [&] { session.setLanguage(NBELanguageRegistry::css()); }, {1, 0, 0, 0, 0}},
        {"same language",
         [&] { session.setLanguage(NBELanguageRegistry::css()); },
         {1, 0, 0, 0, 0}},
        {"no language", [&] { session.setLanguage(std::nullopt); }, {2, 0, 0, 0, 0}},
        {"theme", [&] { session.setTheme(NBEDefaultThemes::dark()); }, {2, 1, 0, 0, 0}},
        {"same id, other colours",
         [&] {
             NBETheme recoloured = NBEDefaultThemes::dark();
             recoloured.editorBackground = Qt::magenta;
             session.setTheme(recoloured);
         },
         {2, 1, 0, 0, 0}},
        {"same settings", [&] { session.setSettings(session.settings()); }, {2, 1, 0, 0, 0}},
        {"head", [&] { session.setHeadContent(QStringLiteral("a\n")); }, {2, 1, 0, 1, 0}},
        {"same head", [&] { session.setHeadContent(QStringLiteral("a\n")); }, {2, 1, 0, 1, 0}},
        {"diagnostics", [&] { session.setDiagnostics({NBELSPDiagnostic{}}); }, {2, 1, 0, 1, 1}},
        {"same diagnostics",
         [&] { session.setDiagnostics({NBELSPDiagnostic{}}); },
         {2, 1, 0, 1, 1}},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        EXPECT_EQ(counts(), step.after);
    }

    // A settings change carries the settings it replaced.
    const NBEEditorSettings before = session.settings();
    NBEEditorSettings larger = before;
    larger.fontSize = before.fontSize + 4;
    session.setSettings(larger);
    ASSERT_EQ(settings.size(), 1);
    EXPECT_EQ(settings.first().first().value<NBEEditorSettings>(), before);
    EXPECT_EQ(session.settings(), larger);
}
