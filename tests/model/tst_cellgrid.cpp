#include "model/cellgrid.h"

#include <QSignalSpy>
#include <QTest>

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

    // Removing a row moves the rows below up with their cells; numbered rows
    // keep counting 1, 2, 3 without being rewritten.
    void removedRowTakesOnlyItself()
    {
        CellGrid grid(5, 2);
        for (int row = 1; row <= 4; ++row)
            grid.setText(row, 1, QStringLiteral("client ") + QString::number(row));
        grid.setRowNumbers(0, 4);
        QCOMPARE(grid.text(4, 0), QStringLiteral("4"));

        QSignalSpy changed(&grid, &CellGrid::dataChanged);
        grid.removeRow(2);
        QCOMPARE(grid.rows(), 4);
        QCOMPARE(changed.size(), 0);
        const QStringList expected{QStringLiteral("client 1"), QStringLiteral("client 3"),
                                   QStringLiteral("client 4")};
        for (int row = 1; row <= 3; ++row) {
            QCOMPARE(grid.text(row, 0), QString::number(row));
            QCOMPARE(grid.text(row, 1), expected[row - 1]);
            QCOMPARE(grid.data(grid.index(row - 1, 0), Qt::DisplayRole).toString(),
                     QString::number(row));
        }
        grid.removeRow(0); // the heading row stays
        grid.removeRow(4); // beyond the last row
        QCOMPARE(grid.rows(), 4);
        QCOMPARE(grid.text(0, 1), QString());

        grid.setRowNumbers(0, 0);
        QVERIFY(grid.text(1, 0).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCellGrid)
#include "tst_cellgrid.moc"
