#include "NBEScrollLink.h"

#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(NBEScrollLink, ClampsFractions)
{
    const struct
    {
        double in, out;
    } cases[] = {{-0.5, 0},
                 {1.7, 1},
                 {std::nan(""), 0},
                 {std::numeric_limits<double>::infinity(), 1},
                 {-std::numeric_limits<double>::infinity(), 0},
                 {0.25, 0.25}};
    for (const auto &c : cases)
        EXPECT_EQ(NBEScrollLink::clamped(c.in), c.out) << c.in;
}

TEST(NBEScrollLink, DropsEchoesOfTheOtherSideForAWhile)
{
    NBEScrollLink link;
    QList<double> preview, editor;
    link.scrollPreview = [&](double f) { preview.append(f); };
    link.scrollEditor = [&](double f) { editor.append(f); };

    link.editorScrolled(0.4);  // first report passes
    link.editorScrolled(2.0);  // same side again passes, clamped
    link.previewScrolled(0.1); // echo of the preview: dropped
    EXPECT_EQ(preview, (QList<double>{0.4, 1.0}));
    EXPECT_TRUE(editor.isEmpty());

    QTest::qWait(NBEScrollLink::echoWindowMs + 40);
    link.previewScrolled(0.3);
    link.editorScrolled(0.9); // echo of the editor now: dropped
    EXPECT_EQ(editor, (QList<double>{0.3}));
    EXPECT_EQ(preview.size(), 2);
}

TEST(NBEScrollLink, ReportWithoutTheOtherActionStillSuppresses)
{
    NBEScrollLink link;
    QList<double> editor;
    link.scrollEditor = [&](double f) { editor.append(f); };
    link.editorScrolled(0.5); // no preview action installed
    link.previewScrolled(0.7);
    EXPECT_TRUE(editor.isEmpty());
}
