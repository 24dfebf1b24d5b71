#include "NBEHoverPanelView.h"
#include "../NBEQtPrinters.h"
#include "NBEHoverController.h"

#include <QCoreApplication>
#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

// The TypeScript server sends a signature as a fence named after the
// language: the panel shows the code alone, not the backticks or the name.
TEST(NBEHoverPanelView, ShowsAFencedSignatureAsCode)
{
    EXPECT_EQ(NBEHoverPanelView::contentHTML(
                  QStringLiteral("```typescript\nfunction total(list: any): number\n```")),
              QStringLiteral("<code>function total(list: any): number</code>"));
    EXPECT_EQ(NBEHoverPanelView::contentHTML(
                  QStringLiteral("```ts\nlet a: Map<string, number>\n```\n\nThe *sum*.")),
              QStringLiteral("<code>let a: Map&lt;string, number&gt;</code><br><br>The "
                             "<em>sum</em>."));
}

TEST(NBEHoverPanelView, CodeSpansCloseOnARunOfTheSameLength)
{
    EXPECT_EQ(NBEHoverPanelView::contentHTML(QStringLiteral("a ``x`y`` b")),
              QStringLiteral("a <code>x`y</code> b"));
    EXPECT_EQ(NBEHoverPanelView::contentHTML(QStringLiteral("`` `tick` ``")),
              QStringLiteral("<code>`tick`</code>"));
    // Single backticks, and runs that never close, stay with the inline rules.
    EXPECT_EQ(NBEHoverPanelView::contentHTML(QStringLiteral("`one` and ``two")),
              QStringLiteral("<code>one</code> and ``two"));
    // A run that never closes doesn't keep a later span of another width
    // from closing, nor one of its own width after a span.
    EXPECT_EQ(NBEHoverPanelView::contentHTML(QStringLiteral("```a ``b`` c ``` d ``` e")),
              QStringLiteral("<code>a ``b`` c </code> d ``` e"));
    EXPECT_EQ(NBEHoverPanelView::contentHTML(QStringLiteral("``a ```b`` ``c``")),
              QStringLiteral("<code>a ```b</code> <code>c</code>"));
}

// A text that fits gets a panel of its height with no scroll bar; only one
// taller than the largest panel scrolls.
TEST(NBEHoverPanelView, ScrollsOnlyWhenTheTextIsTallerThanThePanel)
{
    QWidget window;
    window.resize(800, 900);
    NBEHoverPanelView panel(&window);
    const auto scrollBarShown = [&](const QString &text) {
        panel.setText(text);
        panel.setGeometry(0, 0, NBEHoverController::panelWidth, panel.fittingHeight());
        window.show();
        QCoreApplication::processEvents();
        return panel.findChild<QScrollArea *>()->verticalScrollBar()->isVisible();
    };
    EXPECT_FALSE(
        scrollBarShown(QStringLiteral("```typescript\nfunction total(list: any): number\n```")));
    EXPECT_FALSE(
        scrollBarShown(QStringLiteral("Shorthand property to set values for the thickness "
                                      "of the margin area.\n\nSyntax: <'margin-top'>{1,4}")));
    QStringList lines;
    for (int i = 0; i < 60; ++i)
        lines.append(QStringLiteral("line %1").arg(i));
    EXPECT_TRUE(scrollBarShown(lines.join(u'\n')));
    EXPECT_EQ(panel.fittingHeight(), NBEHoverController::maxPanelHeight);
}
