#pragma once

#include <QString>

// Chooses how the web engine draws pages before it starts. Without a usable
// graphics driver (a virtual machine, a remote desktop, a virtual display)
// its GPU process fails and every page stays blank, so there it draws in
// software. NBE_SOFTWARE_RENDERING=1 asks for software drawing anyway. As
// root the engine runs without its sandbox, which can't start there.
class NBEWebRendering
{
public:
    NBEWebRendering() = delete;

    // Call once after the application object exists and before the first
    // web engine profile is made; later calls change nothing.
    static void chooseBeforeStart();
    // Whether pages are drawn in software (after chooseBeforeStart).
    static bool isSoftware();
    // Whether an OpenGL renderer name is one that draws on the CPU.
    static bool isSoftwareRenderer(const QString &renderer);
};
