#pragma once

#include <QColor>

// The amber accent colours shared by many views. The tint/text pair is for the
// light appearance; the dark pair stands in for it in the dark appearance.
struct NBEBrand
{
    static const QColor &amber();
    static const QColor &amberTint();
    static const QColor &amberText();
    static const QColor &amberDarkBG();
    static const QColor &amberDarkText();
};
