#pragma once

#include "NBELanguage.h"
#include "NBESourceFile.h"

#include <QUuid>

#include <optional>

// A tab's caret position, 1-based.
struct NBECursorPosition
{
    int line = 1;
    int column = 1;

    bool operator==(const NBECursorPosition &) const = default;
};

// One tab of a project window. Tabs are addressed by `id`; two tabs that
// differ in any field (even the caret) are different values.
struct NBEOpenTab
{
    QUuid id;
    NBESourceFile sourceFile;
    // Absent for file types no language claims.
    std::optional<NBELanguage> language;
    NBECursorPosition cursorPosition;
    bool isShowingPreview = false;
    // A preview tab, replaced in place by the next preview open.
    bool isEphemeral = false;

    NBEOpenTab() = default;
    NBEOpenTab(const NBESourceFile &sourceFile, const std::optional<NBELanguage> &language,
               bool isEphemeral = false);

    bool isMarkdown() const { return language && language->id == QLatin1StringView("markdown"); }
    bool isHTML() const { return language && language->id == QLatin1StringView("html"); }
    // Only previewable tabs offer the preview toggle.
    bool isPreviewable() const { return isMarkdown() || isHTML(); }

    bool operator==(const NBEOpenTab &) const = default;
};
