#include "NBEWebRendering.h"
#include "NBEHTMLPreview.h"
#include "NBETestSupport.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

TEST(NBEWebRendering, RenderersThatDrawOnTheProcessorAreKnown)
{
    const struct
    {
        const char *renderer;
        bool software;
    } cases[] = {
        {"llvmpipe (LLVM 15.0.6, 256 bits)", true},
        {"softpipe", true},
        {"Software Rasterizer", true},
        {"Google SwiftShader", true},
        {"", true},
        {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
        {"AMD Radeon RX 6600 (navy_flounder, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)", false},
        {"NVIDIA GeForce GTX 1060/PCIe/SSE2", false},
    };
    for (const auto &row : cases)
        EXPECT_EQ(NBEWebRendering::isSoftwareRenderer(QString::fromLatin1(row.renderer)),
                  row.software)
            << row.renderer;
}

// Run first: the engine starts once per process. As root, without the
// variable that turns its sandbox off, the engine used to end the process at
// the first preview.
TEST(NBEWebRendering, AsRootThePreviewShowsWithoutTheSandboxVariable)
{
    const bool root = ::geteuid() == 0;
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    QTemporaryDir folder;
    NBEHTMLPreview preview(QStringLiteral("<!DOCTYPE html><p>sandbox</p>"),
                           QUrl::fromLocalFile(folder.path() + u'/'), nullptr);
    QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
    preview.resize(300, 200);
    preview.show();
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    EXPECT_EQ(qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"), root);
}

// With software drawing asked for, the engine starts without its GPU path
// and pages still show on screen.
TEST(NBEWebRendering, ForcedSoftwareDrawingShowsThePage)
{
    qputenv("NBE_SOFTWARE_RENDERING", "1");
    QTemporaryDir folder;
    NBEHTMLPreview preview(QStringLiteral("<!DOCTYPE html><html><body style=\"background: rgb(10, "
                                          "120, 90)\"><h1 style=\"color: rgb(250, 250, 0)\">"
                                          "Drawn in software</h1></body></html>"),
                           QUrl::fromLocalFile(folder.path() + u'/'), nullptr);
    QSignalSpy loaded(&preview, &NBEHTMLPreview::pageLoaded);
    preview.resize(600, 300);
    preview.show();
    ASSERT_TRUE(NBETest::waitUntil([&] { return !loaded.isEmpty(); }));
    EXPECT_TRUE(NBEWebRendering::isSoftware());
    EXPECT_TRUE(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").contains("--disable-gpu"));
    if (QGuiApplication::platformName() != u"xcb")
        GTEST_SKIP() << "no display to read";
    const auto shown = [&] {
        const QPoint at = preview.mapToGlobal(QPoint(0, 0));
        return preview.screen()
            ->grabWindow(0, at.x(), at.y(), preview.width(), preview.height())
            .toImage();
    };
    const auto hasHeading = [](const QImage &image) {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == QColor(250, 250, 0))
                    return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(NBETest::waitUntil([&] {
        const QImage image = shown();
        return image.pixelColor(5, image.height() - 5) == QColor(10, 120, 90) && hasHeading(image);
    }));
}

} // namespace
