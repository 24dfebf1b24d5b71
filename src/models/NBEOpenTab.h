#pragma once

#include "NBELanguage.h"
#include "NBESourceFile.h"

#include <QUuid>

#include <optional>

// One tab of a project window. Tabs are addressed by `id`; two tabs that
// differ in any field are different values. Where its editor left the caret,
// selection and scroll is kept by the tab's document.
struct NBEOpenTab
{
    QUuid id;
    NBESourceFile sourceFile;
    // Absent for file types no language claims.
    std::optional<NBELanguage> language;
    bool isShowingPreview = false;
    // A preview tab, replaced in place by the next preview open.
    bool isEphemeral = false;

    NBEOpenTab() = default;
    NBEOpenTab(const NBESourceFile &sourceFile, const std::optional<NBELanguage> &language,
               bool isEphemeral = false);

    std::optional<QString> languageID() const
    {
        return language ? std::optional(language->id) : std::nullopt;
    }
    bool isMarkdown() const { return language && language->id == QLatin1StringView("markdown"); }
    bool isHTML() const { return language && language->id == QLatin1StringView("html"); }
    // Only previewable tabs offer the preview toggle.
    bool isPreviewable() const { return isMarkdown() || isHTML(); }

    bool operator==(const NBEOpenTab &) const = default;
};
