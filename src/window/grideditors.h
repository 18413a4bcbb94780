#pragma once

#include "celleditor.h"

#include <QStringList>

// Which editor each cell of the two editable grids gets: tblQueryList chooses
// by column, tblRSSettings by row. Rows and columns are grid coordinates (row 0
// the heading row, column 0 the fixed column). The cell grid delegate asks this
// every time a cell enters editing.
class GridEditors {
public:
    static CellEditor queryListEditor(int row, int column);
    static CellEditor rsSettingsEditor(int row, int column);

    static QStringList terminalItems();
    static QStringList modeItems();
    static QStringList comNameItems();
    static QStringList baudRateItems();
    static QStringList dataBitsItems();
    static QStringList stopBitsItems();
    static QStringList parityItems();
};
