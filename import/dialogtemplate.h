#pragma once
// What the window's dialog templates share: their font, dialog units, and the application icon.
#include <QFont>
#include <QIcon>
#include <QRect>

// Pixels per 4 horizontal and per 8 vertical dialog units of a font.
struct DialogBaseUnits {
    int x;
    int y;
};

// The 9-point template font, on the application's own face.
QFont DialogFont();

// Average character width and line height of font, measured the way Windows measures them.
DialogBaseUnits DialogBaseUnitsOf(const QFont& font);

// A template rectangle in dialog units, converted to pixels (rounded like MulDiv).
QRect DialogRect(DialogBaseUnits units, int x, int y, int width, int height);

// Icon resource 128.
QIcon AppIcon();
