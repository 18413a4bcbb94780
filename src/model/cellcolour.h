#pragma once

#include <QtGlobal>

// Font colours of a grid cell: green RGB (0,128,0), red (255,0,0), blue (0,0,255), black.
enum class CellColour { Black, Green, Red, Blue };

// RGB of a cell colour, 0xRRGGBB.
constexpr quint32 cellColourRgb(CellColour colour)
{
    switch (colour) {
    case CellColour::Green:
        return 0x008000;
    case CellColour::Red:
        return 0xFF0000;
    case CellColour::Blue:
        return 0x0000FF;
    case CellColour::Black:
        break;
    }
    return 0x000000;
}
