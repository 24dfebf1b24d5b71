#include "NBETextPositions.h"

namespace NBETextPositions {

LineCharacter lineCharacter(int offset, const QString &text)
{
    if (offset <= 0)
        return {0, offset};
    const QStringView before = QStringView(text).left(std::min<qsizetype>(offset, text.size()));
    const qsizetype lastFeed = before.lastIndexOf(u'\n');
    return {int(before.count(u'\n')), int(offset - (lastFeed + 1))};
}

int startCharIndex(int line, const QString &text)
{
    if (line <= 1)
        return 0;
    qsizetype position = 0;
    for (int passed = 1; passed < line; ++passed) {
        const qsizetype feed = text.indexOf(u'\n', position);
        if (feed < 0)
            return int(text.size());
        position = feed + 1;
    }
    return int(position);
}

} // namespace NBETextPositions
