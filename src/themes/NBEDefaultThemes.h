#pragma once

#include "NBETheme.h"

// The two built-in themes: the light one and the one for a dark colour scheme.
struct NBEDefaultThemes
{
    static const NBETheme &light();
    static const NBETheme &dark();
};
