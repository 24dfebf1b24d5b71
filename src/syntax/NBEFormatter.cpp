#include "NBEFormatter.h"

#include "NBECSSFormatter.h"
#include "NBEHTMLFormatter.h"

namespace NBEFormatter {

bool canFormat(const std::optional<QString> &languageID)
{
    return languageID == QLatin1String("html") || languageID == QLatin1String("css");
}

std::optional<QString> format(const QString &text, const std::optional<QString> &languageID,
                              const QString &indentUnit)
{
    if (languageID == QLatin1String("css"))
        return NBECSSFormatter::format(text, indentUnit);
    if (languageID == QLatin1String("html"))
        return NBEHTMLFormatter::format(text, indentUnit);
    return std::nullopt;
}

} // namespace NBEFormatter
