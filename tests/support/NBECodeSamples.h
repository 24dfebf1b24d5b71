#pragma once

// Sample texts shared by tests.

#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace NBECodeSamples {

// A page like a slide deck's demo, with code samples in pre and textarea
// elements, for the formatter tests: formatting re-indents the markup around
// the samples and must leave each sample's text as it is.
inline QString page()
{
    return QStringLiteral(
        "<!doctype html>\n<html>\n<body>\n<div class=\"reveal\">\n<div class=\"slides\">\n"
        "<section>\n<h2>Code</h2>\n"
        "<pre><code class=\"hljs\" data-trim data-line-numbers>\n"
        "function hello() {\n    if (a) {\n        return 1;\n    }\n}\n"
        "</code></pre>\n"
        "      <pre><code data-trim data-noescape>\n"
        "import React, { useState } from 'react';\nfunction Example() {\n"
        "  const [count, setCount] = useState(0);\n  return (\n    <div>\n"
        "      <p>You clicked {count} times</p>\n    </div>\n  );\n}\n"
        "</code></pre>\n"
        "<section><pre class=\"wrap\"><code>let a = 1;\n    let b = 2;   \n\n"
        "\tlet c = 3;</code></pre></section>\n"
        "<p>Inline <code>x  =  1</code> and a sample:</p>\n"
        "<pre>  two  spaces\n   <b>bold</b>   kept\n</pre>\n"
        "<textarea name=\"t\">\n   keep   me\n\t\there\n</textarea>\n"
        "</section>\n</div>\n</div>\n</body>\n</html>\n");
}

// The text inside each pre and textarea element, in order.
inline QStringList samples(const QString &html)
{
    static const QRegularExpression element(
        QStringLiteral(R"(<(pre|textarea)\b[^>]*>([\s\S]*?)</\1>)"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList found;
    for (auto it = element.globalMatch(html); it.hasNext();)
        found.append(it.next().captured(2));
    return found;
}

// Functions on one line, like a minified script, of at least `units`
// characters.
inline QString minifiedScript(qsizetype units)
{
    QString text;
    for (int i = 0; text.size() < units; ++i)
        text += QStringLiteral("function f%1(a){return a*%1};").arg(i);
    return text;
}

} // namespace NBECodeSamples
