#include "NBEAnthropicServiceModel.h"

namespace NBEAnthropicModels {

QList<NBEAnthropicServiceModel> allCases()
{
    return {NBEAnthropicServiceModel::sonnet5, NBEAnthropicServiceModel::haiku45,
            NBEAnthropicServiceModel::opus5};
}

QString rawValue(NBEAnthropicServiceModel model)
{
    switch (model) {
    case NBEAnthropicServiceModel::sonnet5:
        return QStringLiteral("claude-sonnet-5");
    case NBEAnthropicServiceModel::haiku45:
        return QStringLiteral("claude-haiku-4-5");
    case NBEAnthropicServiceModel::opus5:
        return QStringLiteral("claude-opus-5");
    }
    return {};
}

QString displayName(NBEAnthropicServiceModel model)
{
    switch (model) {
    case NBEAnthropicServiceModel::sonnet5:
        return QStringLiteral("Claude Sonnet 5 (recommended)");
    case NBEAnthropicServiceModel::haiku45:
        return QStringLiteral("Claude Haiku 4.5 (fastest)");
    case NBEAnthropicServiceModel::opus5:
        return QStringLiteral("Claude Opus 5 (most capable)");
    }
    return {};
}

std::optional<NBEAnthropicServiceModel> fromRawValue(const QString &raw)
{
    for (const NBEAnthropicServiceModel model : allCases()) {
        if (rawValue(model) == raw)
            return model;
    }
    return std::nullopt;
}

} // namespace NBEAnthropicModels
