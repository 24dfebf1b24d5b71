#pragma once

#include "NBELSPDiagnostic.h"

#include <QList>
#include <QString>

// A tag-balance checker for HTML text: it lexes tags, keeps a stack of open
// elements and reports unterminated, stray closing and unclosed tags as
// errors that travel like language-server diagnostics.
namespace NBEHTMLValidator {

// Diagnostics in the order they were found; positions count UTF-16 units and
// lines break only at LF.
QList<NBELSPDiagnostic> validate(const QString &text);

} // namespace NBEHTMLValidator
