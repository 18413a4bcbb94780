#pragma once

#include <QStringList>

// The editor a grid cell gets when it enters editing. DropDown accepts only its
// items, which are taken afresh every time; Numeric accepts digits only and may
// be left empty; None leaves the cell read-only.
struct CellEditor {
    enum class Kind { None, FreeText, DropDown, Numeric };

    Kind kind = Kind::None;
    QStringList items;
};
