#pragma once

class QWidget;

namespace NBEWindowKeys {

// A secondary window (settings, help, about) closes on Escape and on the
// platform's Close keys (Ctrl+W), as a dialog does.
void closeOnEscape(QWidget *window);

} // namespace NBEWindowKeys
