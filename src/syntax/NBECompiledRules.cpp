#include "NBECompiledRules.h"

#include "NBEToken.h"

#include <map>

namespace {

// Patterns are compiled once per thread: QRegularExpression objects are not
// meant to be shared between threads, and compiling (with JIT) for every call
// would dominate the cost of highlighting a single line.
//
// (*ANY) makes "^", "$" and "." treat every Unicode line terminator as a line
// end, and Unicode properties make \w, \d, \s and \b see letters beyond ASCII.
// Those properties make matching markedly slower and change nothing in text
// that is all ASCII, so such text is matched without them.
//
// A map's entries stay where they are as it grows: a pass holds on to every
// rule's compiled pattern while it compiles the next.
const QRegularExpression &compiled(const QString &pattern, bool unicode)
{
    thread_local std::map<QString, QRegularExpression> cache[2];
    std::map<QString, QRegularExpression> &patterns = cache[unicode ? 1 : 0];
    auto it = patterns.find(pattern);
    if (it == patterns.end()) {
        QRegularExpression::PatternOptions options = QRegularExpression::MultilineOption;
        if (unicode)
            options |= QRegularExpression::UseUnicodePropertiesOption;
        QRegularExpression expression(QStringLiteral("(*ANY)") + pattern, options);
        if (expression.isValid())
            expression.optimize();
        it = patterns.emplace(pattern, expression).first;
    }
    return it->second;
}

// Whether a match of the rule, or a search for one, can read past a line
// end. Conservative: any escape or class that can stand for a line end.
bool canSpanLines(const NBETokenRule &rule)
{
    const QString &p = rule.pattern;
    if (p.contains(QLatin1StringView("[^")) || p.contains(QLatin1StringView("(?s")))
        return true;
    static const QString lineEscapes = QStringLiteral("sSWDvVRnrfHXpPxc0");
    for (qsizetype i = 0; i + 1 < p.size(); ++i) {
        if (p[i] != u'\\')
            continue;
        if (lineEscapes.contains(p[i + 1]))
            return true;
        ++i;
    }
    return false;
}

} // namespace

namespace NBETokenizer {

CompiledRules compiledRules(const NBELanguage &language, bool unicode)
{
    CompiledRules rules;
    for (const NBETokenRule &rule : language.tokenRules) {
        const QRegularExpression &expression = compiled(rule.pattern, unicode);
        rules.expressions.append(expression.isValid() ? &expression : nullptr);
        rules.codes.append(static_cast<unsigned char>(NBETokenTypes::ordinal(rule.tokenType) + 1));
        const bool crossing = expression.isValid() && canSpanLines(rule);
        rules.crossing.append(crossing ? int(rules.crossingCount++) : -1);
        if (crossing && rule.pattern.contains(QLatin1StringView("(?<")))
            rules.followable = false;
    }
    return rules;
}

} // namespace NBETokenizer
