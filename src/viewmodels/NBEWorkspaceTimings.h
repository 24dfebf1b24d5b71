#pragma once

#include <chrono>

// The delays of a workspace view model. The defaults are the program's; tests
// shorten them.
struct NBEWorkspaceTimings
{
    // Rest after the last edit of an HTML file before the built-in check runs.
    std::chrono::milliseconds validationDelay{300};
    // How long a save waits for a language server to format before it falls
    // back to the built-in formatter.
    std::chrono::milliseconds serverFormattingLimit{2500};
    // Multiplies the auto-save delay read from the settings.
    double autoSaveDelayScale = 1.0;
    // Background fetch: first run after a load, then every interval.
    std::chrono::milliseconds autoFetchStartDelay{2000};
    std::chrono::milliseconds autoFetchInterval{180000};
    // Rest after a burst of changes by other programs before the tabs, the
    // tree and the git state follow them; zero: they aren't followed (no
    // watch, no refresh on activation).
    std::chrono::milliseconds outsideChangeQuiet{300};
    // How long a confirmation stays in the sync status.
    std::chrono::milliseconds syncStatusDuration{4000};
};
