#include "model/cellgrid.h"

#include <QtTest>

class TestCellGrid : public QObject {
    Q_OBJECT
private slots:
    void cellsKeepTextAndColour()
    {
        CellGrid grid(3, 4);
        grid.setCell(2, 3, QStringLiteral("Занят"), CellColour::Red);
        QCOMPARE(grid.text(2, 3), QStringLiteral("Занят"));
        QCOMPARE(grid.colour(2, 3), CellColour::Red);
        QCOMPARE(grid.data(grid.index(1, 3), CellGrid::ColourRole).toInt(), int(CellColour::Red));
    }
    void outOfRangeCellsAreEmptyAndIgnoreWrites()
    {
        CellGrid grid(3, 4);
        grid.setText(3, 0, QStringLiteral("x"));
        grid.setText(-1, 0, QStringLiteral("x"));
        QCOMPARE(grid.text(3, 0), QString());
        QCOMPARE(grid.text(0, 99), QString());
    }
    void headingRowIsTheHeader()
    {
        CellGrid grid(3, 2);
        grid.setHeadings({QStringLiteral("ID"), QStringLiteral("Имя канала")});
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(grid.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Имя канала"));
    }
    void onlyEditableCellsTakeEdits()
    {
        CellGrid grid(7, 3);
        grid.setColumnEditable(1, true);
        grid.setRowEditable(6, false);
        QVERIFY(grid.setData(grid.index(0, 1), QStringLiteral("COM1"), Qt::EditRole));
        QVERIFY(!grid.setData(grid.index(5, 1), QStringLiteral("x"), Qt::EditRole));
        QVERIFY(!grid.setData(grid.index(0, 2), QStringLiteral("x"), Qt::EditRole));
        QCOMPARE(grid.text(1, 1), QStringLiteral("COM1"));
    }
    void rowsGrowAndShrink()
    {
        CellGrid grid(2, 5);
        grid.setText(1, 0, QStringLiteral("1"));
        grid.setRows(4);
        QCOMPARE(grid.rows(), 4);
        QCOMPARE(grid.text(3, 0), QString());
        grid.setRows(0);
        QCOMPARE(grid.rows(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCellGrid)
#include "tst_cellgrid.moc"
