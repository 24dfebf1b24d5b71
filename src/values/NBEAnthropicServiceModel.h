#pragma once

#include <QList>
#include <QString>

#include <optional>

// The Claude models offered for commit messages, in the order the settings
// picker lists them.
enum class NBEAnthropicServiceModel { sonnet5, haiku45, opus5 };

namespace NBEAnthropicModels {

QList<NBEAnthropicServiceModel> allCases();
// The name sent as "model" and stored under "nbe.ai.model".
QString rawValue(NBEAnthropicServiceModel model);
QString displayName(NBEAnthropicServiceModel model);
std::optional<NBEAnthropicServiceModel> fromRawValue(const QString &rawValue);

} // namespace NBEAnthropicModels
