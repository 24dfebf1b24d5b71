#include "NBEWebRendering.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <algorithm>
#include <optional>

#include <unistd.h>

namespace {

bool chosen = false;
bool software = false;

// The renderer of a fresh OpenGL context, or nothing when none can be made
// current.
std::optional<QString> glRenderer()
{
    if (!qGuiApp || QGuiApplication::platformName() == u"offscreen" ||
        QGuiApplication::platformName() == u"minimal")
        return std::nullopt;
    QOpenGLContext context;
    if (!context.create())
        return std::nullopt;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return std::nullopt;
    const auto *name =
        reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
    const QString renderer = name ? QString::fromLatin1(name) : QString();
    context.doneCurrent();
    return renderer;
}

} // namespace

bool NBEWebRendering::isSoftwareRenderer(const QString &renderer)
{
    static const QStringList cpuRenderers = {QStringLiteral("llvmpipe"),
                                             QStringLiteral("softpipe"),
                                             QStringLiteral("swrast"),
                                             QStringLiteral("swiftshader"),
                                             QStringLiteral("software rasterizer"),
                                             QStringLiteral("lavapipe")};
    const QString name = renderer.toLower();
    return name.isEmpty() || std::any_of(cpuRenderers.begin(), cpuRenderers.end(),
                                         [&](const QString &cpu) { return name.contains(cpu); });
}

void NBEWebRendering::chooseBeforeStart()
{
    if (chosen)
        return;
    chosen = true;
    // Chromium refuses to start its sandbox as root and then ends the whole
    // process, unsaved tabs included, the first time a preview shows.
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.contains("--disable-gpu")) {
        software = true;
        return;
    }
    if (qEnvironmentVariableIntValue("NBE_SOFTWARE_RENDERING") == 1) {
        software = true;
    } else {
        const std::optional<QString> renderer = glRenderer();
        software = !renderer || isSoftwareRenderer(*renderer);
    }
    if (!software)
        return;
    // The engine reads its switches when its first profile is made.
    if (!flags.isEmpty())
        flags += ' ';
    flags += "--disable-gpu";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

bool NBEWebRendering::isSoftware()
{
    return software;
}
