#include "NBEEditorSession.h"
#include "NBEDefaultThemes.h"
#include "NBELanguageRegistry.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

// A theme counts as changed by its id; the document's parts are the
// document's, and the session keeps the buffer its editor was made for.
TEST(NBEEditorSession, ThemesChangeByIdAndTheBufferStaysTheEditors)
{
    NBEEditorSession session;
    ASSERT_TRUE(session.buffer());
    EXPECT_TRUE(session.buffer()->text().isEmpty());
    EXPECT_EQ(session.buffer(), session.document().buffer());

    QSignalSpy theme(&session, &NBEEditorSession::themeChanged);
    session.setTheme(NBEDefaultThemes::dark());
    EXPECT_EQ(theme.size(), 1);
    NBETheme recoloured = NBEDefaultThemes::dark();
    recoloured.editorBackground = Qt::magenta;
    session.setTheme(recoloured);
    EXPECT_EQ(theme.size(), 1);

    session.document().setLanguage(NBELanguageRegistry::css());
    EXPECT_EQ(session.languageID(), QStringLiteral("css"));

    const std::shared_ptr<NBETextBuffer> shown = session.buffer();
    session.document().setBuffer(NBETextBuffer::make(QStringLiteral("other")));
    EXPECT_EQ(session.buffer(), shown);
}
