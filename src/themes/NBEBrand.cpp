#include "NBEBrand.h"

#include "NBEColor.h"

const QColor &NBEBrand::amber()
{
    static const QColor color = NBEColor::hex(u"#D97706");
    return color;
}

const QColor &NBEBrand::amberTint()
{
    static const QColor color = NBEColor::hex(u"#FEF3C7");
    return color;
}

const QColor &NBEBrand::amberText()
{
    static const QColor color = NBEColor::hex(u"#7A4D0F");
    return color;
}

const QColor &NBEBrand::amberDarkBG()
{
    static const QColor color = NBEColor::hex(u"#3D2808");
    return color;
}

const QColor &NBEBrand::amberDarkText()
{
    static const QColor color = NBEColor::hex(u"#FBBF24");
    return color;
}
