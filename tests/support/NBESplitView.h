#pragma once

#include "NBECodeTextEdit.h"
#include "NBELongLineDocument.h"

namespace NBETest {

// The split document `view` shows its text in, or null while it shows the
// text whole.
inline NBELongLineDocument *longLines(const NBECodeTextEdit *view)
{
    return const_cast<NBELongLineDocument *>(
        dynamic_cast<const NBELongLineDocument *>(&view->textGeometry()));
}

} // namespace NBETest
