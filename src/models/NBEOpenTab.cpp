#include "NBEOpenTab.h"

NBEOpenTab::NBEOpenTab(const NBESourceFile &sourceFile, const std::optional<NBELanguage> &language,
                       bool isEphemeral)
    : id(QUuid::createUuid())
    , sourceFile(sourceFile)
    , language(language)
    , isEphemeral(isEphemeral)
{}
