#include "stationprobe.h"
#include "windowrig.h"

#include "model/stationtexts.h"
#include "pseudoterminal.h"
#include "shell/station.h"
#include "window/cellgriddelegate.h"
#include "window/cellgridview.h"
#include "window/folderlistproxy.h"
#include "window/grideditors.h"
#include "window/qttranslations.h"
#include "window/taboutbox.h"
#include "window/tformmain.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHostAddress>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QModelIndex>
#include <QPainter>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTcpServer>
#include <QTest>
#include <QTextBlock>
#include <QWidget>
#include <memory>

namespace {
using Kind = CellEditor::Kind;

QString readChannel(SettingsStore& store, int row, const char16_t* value)
{
    return store.readSetting(SettingsStore::channelKey(row), QString::fromUtf16(value));
}

// The visible message boxes of a given object name.
QList<QMessageBox*> openBoxes(const QWidget& window, const QString& name)
{
    QList<QMessageBox*> boxes;
    const auto all = window.findChildren<QMessageBox*>(name);
    for (QMessageBox* box : all) {
        if (box->isVisible())
            boxes.append(box);
    }
    return boxes;
}
} // namespace

class TestTFormMain : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowRig> m_rig;

    TFormMain& window() { return *m_rig->window; }
    template <typename T> T* child(const QString& name)
    {
        T* found = m_rig->window->findChild<T*>(name);
        if (!found)
            qWarning("no child %s", qPrintable(name));
        return found;
    }
    CellGridView* grid(const QString& name) { return child<CellGridView>(name); }

    // Whether a cell (grid coordinates) is drawn on the background of an edit not in force.
    bool isMarked(CellGridView* view, int row, int column)
    {
        const QModelIndex index = view->model()->index(row - 1, column);
        view->scrollTo(index);
        const QRect cell = view->visualRect(index);
        const QImage image = view->viewport()->grab().toImage();
        return image.pixelColor(cell.right() - 3, cell.top() + 3) ==
               CellGridDelegate::markedBackground();
    }

    // Starts editing a cell (grid coordinates) and returns its editor, if any.
    QWidget* startEditing(CellGridView* view, int row, int column)
    {
        const QModelIndex index = view->model()->index(row - 1, column);
        view->setCurrentIndex(index);
        view->edit(index);
        // A closed editor is hidden at once and deleted later: look for the open one.
        const auto editors = view->viewport()->findChildren<QWidget*>();
        for (QWidget* editor : editors) {
            if (editor->property("cellEditorKind").isValid() && !editor->isHidden())
                return editor;
        }
        return nullptr;
    }
    void commitEditing(CellGridView* view, QWidget* editor)
    {
        QMetaObject::invokeMethod(view, "commitData", Q_ARG(QWidget*, editor));
        QMetaObject::invokeMethod(
            view, "closeEditor", Q_ARG(QWidget*, editor),
            Q_ARG(QAbstractItemDelegate::EndEditHint, QAbstractItemDelegate::NoHint));
    }

private slots:
    void init() { m_rig = std::make_unique<WindowRig>(QStringLiteral("Канал")); }
    void cleanup() { m_rig.reset(); }

    void frameCaptionPagesAndNames()
    {
        QCOMPARE(window().windowTitle(), QStringLiteral("Программа опроса блоков ПДЛ v1.3"));
        QCOMPARE(window().size(), QSize(1069, 450));
        QVERIFY(window().minimumWidth() >= 1040 && window().maximumWidth() <= 1085);
        QVERIFY(window().minimumHeight() >= 285 && window().maximumHeight() <= 812);
        auto* pages = child<QTabWidget>(QStringLiteral("PageControl"));
        QVERIFY(pages);
        const QStringList captions{QStringLiteral("Порядок опроса"),
                                   QStringLiteral("Настройка COM портов"), QStringLiteral("TCP/IP"),
                                   QStringLiteral("Дополнительные настройки")};
        // The four pages come first, as they always were; later pages follow them.
        QVERIFY(pages->count() >= captions.size());
        for (int i = 0; i < captions.size(); ++i)
            QCOMPARE(pages->tabText(i), captions[i]);
        QCOMPARE(pages->currentIndex(), 0);

        for (const char* name :
             {"tblQueryList", "btnApplyQuerryList", "tblRSSettings", "btnApplyCOM",
              "chkReciveToMemo", "btnClearReciveMemo", "memoRSMonitor", "txtTCP_PORT",
              "btnSaveTcpSettings", "tblCurrentConnections", "tblCurrentConnectionsForUpdate",
              "txtArchivePath", "btnSelectFolder", "btnApplyHistoryFolder", "PopupMenu1"})
            QVERIFY2(window().findChild<QWidget*>(QLatin1String(name)), name);
        const QStringList menu{QStringLiteral("Открыть"), QStringLiteral("О программе"),
                               QStringLiteral("Выключить программу")};
        const auto actions = child<QWidget>(QStringLiteral("PopupMenu1"))->actions();
        QCOMPARE(actions.size(), 3);
        const char* names[] = {"pumOpenForm", "mmAboutProg", "pumShutdown"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(actions[i]->objectName(), QLatin1String(names[i]));
            QCOMPARE(actions[i]->text(), menu[i]);
        }
    }

    void gridLook()
    {
        CellGridView* query = grid(QStringLiteral("tblQueryList"));
        const QList<int> widths{24, 79, 89, 100, 88, 95, 86, 128, 139, 122};
        for (int c = 0; c < widths.size(); ++c)
            QCOMPARE(query->columnWidth(c), widths[c]);
        QCOMPARE(query->font().pointSize(), 8);
        QVERIFY(query->horizontalHeader()->font().bold());
        QCOMPARE(query->model()->headerData(9, Qt::Horizontal).toString(),
                 QStringLiteral("Версия ПО датчика"));
        CellGridView* rs = grid(QStringLiteral("tblRSSettings"));
        QCOMPARE(rs->columnWidth(0), 111);
        QCOMPARE(rs->height(), 177);
        QCOMPARE(rs->model()->rowCount(), 6);

        // The font colour of a cell follows its CellColour.
        m_rig->station->state().queryList.setCell(
            1, QueryColumn::Status, QStringLiteral("ПДЛ не отвечает"), CellColour::Red);
        QStyleOptionViewItem option;
        option.initFrom(query);
        const QModelIndex status = query->model()->index(0, QueryColumn::Status);
        auto* delegate = query->itemDelegate();
        // Painted as the view paints it: some of the text's pixels are red.
        QImage picture(200, 30, QImage::Format_ARGB32);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        option.rect = QRect(0, 0, 200, 30);
        delegate->paint(&painter, option, status);
        painter.end();
        bool sawRed = false;
        for (int y = 0; y < picture.height() && !sawRed; ++y)
            for (int x = 0; x < picture.width() && !sawRed; ++x) {
                const QColor c = picture.pixelColor(x, y);
                sawRed = c.red() > 200 && c.green() < 80 && c.blue() < 80;
            }
        QVERIFY2(sawRed, "status text drawn in red");
    }

    // The grid font keeps the waiting, version and terminal texts whole at the
    // layout's widths; the longer status texts show whole in a tooltip.
    void gridTextsFitOrShowInATooltip()
    {
        CellGridView* query = grid(QStringLiteral("tblQueryList"));
        const QFontMetrics metrics(query->font());
        const int margins = 2 * (query->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
        const struct {
            const char16_t* text;
            int width;
        } fitting[] = {{u"Ожидание ответа 10 сек", 139},
                       {u"RLX.042.307.DTC.001", 122},
                       {u"Ожидание ответа 999 сек", 139},
                       {u"Не определен", 88},
                       {u"Терминал10", 89},
                       {u"Получены данные", 128}};
        for (const auto& f : fitting) {
            const QString text = QString::fromUtf16(f.text);
            QVERIFY2(metrics.horizontalAdvance(text) <= f.width - margins,
                     qPrintable(text + u' ' + QFontInfo(query->font()).family()));
        }

        CellGrid& list = m_rig->station->state().queryList;
        const QString longText = QStringLiteral("Нет сигнала от датчика (адрес 7)");
        list.setText(1, QueryColumn::Status, longText);
        list.setText(2, QueryColumn::Status, QStringLiteral("Подключен"));
        auto centre = [query](int row, int column) {
            return query->visualRect(query->model()->index(row - 1, column)).center();
        };
        QCOMPARE(query->toolTipAt(centre(1, QueryColumn::Status)), longText);
        QCOMPARE(query->toolTipAt(centre(2, QueryColumn::Status)), QString());

        CellGridView* clients = grid(QStringLiteral("tblCurrentConnections"));
        clients->setColumnWidth(1, 40);
        const int x = clients->horizontalHeader()->sectionViewportPosition(1) + 5;
        QCOMPARE(clients->headingToolTipAt(x), QStringLiteral("Локальный IP адрес"));
        QCOMPARE(
            clients->headingToolTipAt(clients->horizontalHeader()->sectionViewportPosition(0) + 5),
            QString());
    }

    void editorOfEachCell_data()
    {
        QTest::addColumn<QString>("gridName");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("items");

        const QString query = QStringLiteral("tblQueryList");
        const QString rs = QStringLiteral("tblRSSettings");
        QTest::newRow("poll list ID column is fixed")
            << query << 1 << 0 << int(Kind::None) << QStringList();
        QTest::newRow("poll list name is free text")
            << query << 3 << 1 << int(Kind::FreeText) << QStringList();
        QTest::newRow("poll list terminal drop-down")
            << query << 30 << 2 << int(Kind::DropDown) << GridEditors::terminalItems();
        QTest::newRow("poll list mode drop-down")
            << query << 1 << 3 << int(Kind::DropDown) << GridEditors::modeItems();
        QTest::newRow("poll list address numeric")
            << query << 2 << 4 << int(Kind::Numeric) << QStringList();
        QTest::newRow("poll list channel numeric")
            << query << 2 << 5 << int(Kind::Numeric) << QStringList();
        QTest::newRow("poll list timeout numeric")
            << query << 2 << 6 << int(Kind::Numeric) << QStringList();
        QTest::newRow("poll list status read-only")
            << query << 2 << 7 << int(Kind::None) << QStringList();
        QTest::newRow("poll list waiting read-only")
            << query << 2 << 8 << int(Kind::None) << QStringList();
        QTest::newRow("poll list version free text")
            << query << 2 << 9 << int(Kind::FreeText) << QStringList();
        QTest::newRow("terminal label column fixed")
            << rs << 1 << 0 << int(Kind::None) << QStringList();
        QTest::newRow("terminal COM port")
            << rs << 1 << 10 << int(Kind::DropDown) << GridEditors::comNameItems();
        QTest::newRow("terminal baud rate")
            << rs << 2 << 1 << int(Kind::DropDown) << GridEditors::baudRateItems();
        QTest::newRow("terminal data bits")
            << rs << 3 << 4 << int(Kind::DropDown) << GridEditors::dataBitsItems();
        QTest::newRow("terminal stop bits")
            << rs << 4 << 5 << int(Kind::DropDown) << GridEditors::stopBitsItems();
        QTest::newRow("terminal parity")
            << rs << 5 << 6 << int(Kind::DropDown) << GridEditors::parityItems();
        QTest::newRow("terminal status read-only")
            << rs << 6 << 2 << int(Kind::None) << QStringList();
    }
    void editorOfEachCell()
    {
        QFETCH(QString, gridName);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, kind);
        QFETCH(QStringList, items);

        CellGridView* view = grid(gridName);
        QVERIFY(view);
        QWidget* editor = startEditing(view, row, column);
        if (Kind(kind) == Kind::None) {
            QVERIFY(!editor);
            return;
        }
        QVERIFY(editor);
        QCOMPARE(editor->property("cellEditorKind").toInt(), kind);
        QVERIFY(editor->font().bold());
        if (Kind(kind) == Kind::DropDown) {
            auto* combo = qobject_cast<QComboBox*>(editor);
            QVERIFY(combo);
            QVERIFY(!combo->isEditable());
            QStringList shown;
            for (int i = 0; i < combo->count(); ++i)
                shown.append(combo->itemText(i));
            QCOMPARE(shown, items);
        } else {
            QVERIFY(qobject_cast<QLineEdit*>(editor));
        }
    }

    void itemListsHoldTheSystemsTexts()
    {
        const QStringList com = GridEditors::comNameItems();
        QCOMPARE(com.size(), 256);
        QCOMPARE(com.first(), QStringLiteral("Не определен"));
        QCOMPARE(com.last(), QStringLiteral("COM255"));
        QCOMPARE(GridEditors::terminalItems().size(), 11);
        QCOMPARE(GridEditors::terminalItems().last(), QStringLiteral("Терминал10"));
        QCOMPARE(GridEditors::parityItems(),
                 QStringList({QStringLiteral("Чет"), QStringLiteral("Нечет"), QStringLiteral("Нет"),
                              QStringLiteral("Маркер"), QStringLiteral("Пробел")}));
    }

    void dropDownWritesOnlyItsItemsAndIsRefilled()
    {
        CellGridView* view = grid(QStringLiteral("tblQueryList"));
        CellGrid& list = m_rig->station->state().queryList;

        auto* combo = qobject_cast<QComboBox*>(startEditing(view, 1, QueryColumn::Terminal));
        QVERIFY(combo);
        QCOMPARE(combo->currentText(), Texts::notConnected);
        combo->addItem(QStringLiteral("stray"));
        combo->setCurrentIndex(3);
        commitEditing(view, combo);
        QCOMPARE(list.text(1, QueryColumn::Terminal), QStringLiteral("Терминал3"));

        // A cell text outside the list shows no choice and is kept when nothing is chosen.
        list.setText(2, QueryColumn::Mode, QStringLiteral("чепуха"));
        combo = qobject_cast<QComboBox*>(startEditing(view, 2, QueryColumn::Mode));
        QVERIFY(combo);
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentIndex(), -1);
        commitEditing(view, combo);
        QCOMPARE(list.text(2, QueryColumn::Mode), QStringLiteral("чепуха"));

        // Refilled afresh: the stray item added above is gone.
        combo = qobject_cast<QComboBox*>(startEditing(view, 1, QueryColumn::Terminal));
        QVERIFY(combo);
        QCOMPARE(combo->count(), 11);
        QCOMPARE(combo->currentText(), QStringLiteral("Терминал3"));
        // No wider than its cell; its list wide enough for every item.
        const QModelIndex cell = view->model()->index(0, QueryColumn::Terminal);
        QCOMPARE(combo->width(), view->visualRect(cell).width());
        const QFontMetrics metrics(combo->view()->font());
        QVERIFY(combo->view()->minimumWidth() > metrics.horizontalAdvance(Texts::notConnected));
        commitEditing(view, combo);
    }

    void numericEditorTakesDigitsOnlyAndMayBeEmptied()
    {
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        CellGridView* view = grid(QStringLiteral("tblQueryList"));
        auto* line = qobject_cast<QLineEdit*>(startEditing(view, 4, QueryColumn::Address));
        QVERIFY(line);
        line->selectAll();
        QTest::keyClicks(line, QStringLiteral("3a0-0"));
        QCOMPARE(line->text(), QStringLiteral("300"));
        commitEditing(view, line);
        QCOMPARE(m_rig->station->state().queryList.text(4, QueryColumn::Address),
                 QStringLiteral("300"));

        line = qobject_cast<QLineEdit*>(startEditing(view, 4, QueryColumn::Timeout));
        QVERIFY(line);
        line->clear();
        commitEditing(view, line);
        QCOMPARE(m_rig->station->state().queryList.text(4, QueryColumn::Timeout), QString());
    }

    void editThenApplyReachesStoreAndQueues()
    {
        CellGridView* view = grid(QStringLiteral("tblQueryList"));
        auto* combo = qobject_cast<QComboBox*>(startEditing(view, 4, QueryColumn::Terminal));
        QVERIFY(combo);
        combo->setCurrentText(QStringLiteral("Терминал2"));
        commitEditing(view, combo);
        auto* line = qobject_cast<QLineEdit*>(startEditing(view, 4, QueryColumn::Address));
        QVERIFY(line);
        line->setText(QStringLiteral("300"));
        commitEditing(view, line);
        auto* version = qobject_cast<QLineEdit*>(startEditing(view, 4, QueryColumn::Version));
        QVERIFY(version);
        version->setText(QStringLiteral("typed"));
        commitEditing(view, version);

        child<QPushButton>(QStringLiteral("btnApplyQuerryList"))->click();
        QVERIFY(openBoxes(window(), QStringLiteral("errorBox")).isEmpty());
        QCOMPARE(readChannel(m_rig->fixture.store(), 4, u"Terminal"), QStringLiteral("Терминал2"));
        QCOMPARE(readChannel(m_rig->fixture.store(), 4, u"AddresBO"), QStringLiteral("300"));
        const StationState& state = m_rig->station->state();
        QCOMPARE(state.channels[3].blockAddress, quint8(44));
        QCOMPARE(state.pollQueues[1].count, 1);
        QCOMPARE(state.pollQueues[1].entries[0], 3);
        QCOMPARE(state.queryList.text(4, QueryColumn::Version), QStringLiteral("typed"));
    }

    void badCellShowsItsMessageAndStoresNothing()
    {
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        CellGrid& list = m_rig->station->state().queryList;
        list.setText(1, QueryColumn::Terminal, QStringLiteral("Терминал1"));
        list.setText(1, QueryColumn::Timeout, QString());
        child<QPushButton>(QStringLiteral("btnApplyQuerryList"))->click();

        const auto boxes = openBoxes(window(), QStringLiteral("errorBox"));
        QCOMPARE(boxes.size(), 1);
        // The system's text first, then where it stopped and what is in force.
        QCOMPARE(boxes[0]->text().section(u'\n', 0, 2),
                 QStringLiteral("'' is not a valid integer value\n\nСтрока 1, столбец "
                                "«Таймаут, сек»."));
        QVERIFY(!boxes[0]->isModal() || boxes[0]->windowModality() == Qt::WindowModal);
        CellGridView* view = grid(QStringLiteral("tblQueryList"));
        const QModelIndex current = view->currentIndex();
        QCOMPARE(current.row() + 1, 1);
        QCOMPARE(current.column(), int(QueryColumn::Timeout));
        QCOMPARE(readChannel(m_rig->fixture.store(), 1, u"Terminal"), Texts::notConnected);
        QCOMPARE(readChannel(m_rig->fixture.store(), 1, u"Timeout"), QStringLiteral("5"));
        boxes[0]->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(openBoxes(window(), QStringLiteral("errorBox")).isEmpty());

        // The edits not in force stay in the grid, marked; the rest is not.
        view->setCurrentIndex(view->model()->index(5, QueryColumn::Version));
        QVERIFY(isMarked(view, 1, QueryColumn::Terminal));
        QVERIFY(isMarked(view, 1, QueryColumn::Timeout));
        QVERIFY(!isMarked(view, 1, QueryColumn::Mode));
        QVERIFY(!isMarked(view, 2, QueryColumn::Terminal));
        auto* status = child<QLabel>(QStringLiteral("lblQueryListStatus"));
        QCOMPARE(status->text(), QStringLiteral("Список опроса не применен (строка 1, столбец "
                                                "«Таймаут, сек»); выделенные ячейки не действуют"));

        // Once applied, nothing is marked and the status line says so, without a box.
        list.setText(1, QueryColumn::Timeout, QStringLiteral("7"));
        child<QPushButton>(QStringLiteral("btnApplyQuerryList"))->click();
        QVERIFY(openBoxes(window(), QStringLiteral("errorBox")).isEmpty());
        QCOMPARE(readChannel(m_rig->fixture.store(), 1, u"Timeout"), QStringLiteral("7"));
        QVERIFY(!isMarked(view, 1, QueryColumn::Terminal));
        QVERIFY(!isMarked(view, 1, QueryColumn::Timeout));
        QVERIFY2(status->text().startsWith(QStringLiteral("Список опроса применен (")),
                 qPrintable(status->text()));
    }

    void terminalApplyOpensThePortAndShowsIt()
    {
        PseudoTerminal line;
        QVERIFY(line.isValid());
        m_rig->fixture.mapPort(QStringLiteral("COM7"), line.slavePath());
        CellGridView* view = grid(QStringLiteral("tblRSSettings"));
        auto* combo = qobject_cast<QComboBox*>(startEditing(view, RsRow::ComName, 3));
        QVERIFY(combo);
        QCOMPARE(combo->currentText(), Texts::portUndefined);
        combo->setCurrentText(QStringLiteral("COM7"));
        commitEditing(view, combo);

        child<QPushButton>(QStringLiteral("btnApplyCOM"))->click();
        const CellGrid& rs = m_rig->station->state().rsSettings;
        QCOMPARE(rs.text(RsRow::Status, 3), Texts::portConnected);
        QCOMPARE(rs.colour(RsRow::Status, 3), CellColour::Green);
        QCOMPARE(rs.text(RsRow::Status, 1), QStringLiteral("-"));
        QCOMPARE(m_rig->fixture.store().readSetting(SettingsStore::terminalKey(3),
                                                    QStringLiteral("COMName")),
                 QStringLiteral("COM7"));
    }

    void tcpPortApply()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();

        auto* box = child<QLineEdit>(QStringLiteral("txtTCP_PORT"));
        QCOMPARE(box->text(), QStringLiteral("0"));
        QCOMPARE(box->width(), 64);
        box->setText(QStringLiteral("5x"));
        child<QPushButton>(QStringLiteral("btnSaveTcpSettings"))->click();
        auto boxes = openBoxes(window(), QStringLiteral("errorBox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->text(), QStringLiteral("'5x' is not a valid integer value"));
        QVERIFY(m_rig->station->liveServer().isListening());
        QCOMPARE(box->text(), QString::number(m_rig->station->liveServer().port()));
        QCOMPARE(m_rig->fixture.store().readSetting(SettingsStore::rootKey(),
                                                    QStringLiteral("TCP_IP_Port")),
                 QStringLiteral("0"));

        const QString typed = u'0' + QString::number(port);
        box->setText(typed);
        child<QPushButton>(QStringLiteral("btnSaveTcpSettings"))->click();
        QCOMPARE(openBoxes(window(), QStringLiteral("errorBox")).size(), 1); // only the first
        QCOMPARE(m_rig->fixture.store().readSetting(SettingsStore::rootKey(),
                                                    QStringLiteral("TCP_IP_Port")),
                 typed);
        QCOMPARE(m_rig->station->liveServer().port(), port);
    }

    void tcpPortMessagesSayWhatHappened()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 live = probe.serverPort();
        probe.close();
        auto* box = child<QLineEdit>(QStringLiteral("txtTCP_PORT"));
        auto* apply = child<QPushButton>(QStringLiteral("btnSaveTcpSettings"));
        box->setText(QString::number(live));
        apply->click();
        QCOMPARE(m_rig->station->liveServer().port(), live);
        QVERIFY(openBoxes(window(), QStringLiteral("errorBox")).isEmpty());
        const QString applied = child<QLabel>(QStringLiteral("lblTcpStatus"))->text();
        QVERIFY2(
            applied.startsWith(
                QStringLiteral("Порт применен: подключения принимаются на порту %1 (").arg(live)),
            qPrintable(applied));
        auto takeBox = [&]() -> QString {
            const auto boxes = openBoxes(window(), QStringLiteral("errorBox"));
            if (boxes.size() != 1)
                return QStringLiteral("%1 boxes").arg(boxes.size());
            const QString text = boxes[0]->text();
            boxes[0]->done(QMessageBox::Ok);
            return text;
        };
        for (const char* typed : {"70000", "0"}) {
            box->setText(QLatin1String(typed));
            apply->click();
            QCOMPARE(takeBox(),
                     QStringLiteral("Порт '%1' недопустим: номер порта должен быть от 1 до 65535")
                         .arg(QLatin1String(typed)));
        }

        QTcpServer occupier;
        QVERIFY(occupier.listen(QHostAddress::Any, 0));
        box->setText(QString::number(occupier.serverPort()));
        apply->click();
        const QString text = takeBox();
        QVERIFY2(text.startsWith(QStringLiteral("Windows socket error: ")), qPrintable(text));
        QVERIFY2(
            text.endsWith(QStringLiteral("on API 'bind'\n\nСлужба TCP/IP по-прежнему принимает "
                                         "подключения на порту %1.")
                              .arg(live)),
            qPrintable(text));
        QCOMPARE(box->text(), QString::number(live));
        QCOMPARE(child<QLabel>(QStringLiteral("lblTcpStatus"))->text(),
                 QStringLiteral("Порт не применен: подключения принимаются на порту %1").arg(live));
    }

    void archiveFolderPage()
    {
        auto* path = child<QLineEdit>(QStringLiteral("txtArchivePath"));
        auto* pages = child<QTabWidget>(QStringLiteral("PageControl"));
        QCOMPARE(path->text(), m_rig->fixture.dirPath());
        QCOMPARE(path->width(), 449);

        // "..." opens the folder dialog at the box's folder without blocking.
        QDir(m_rig->fixture.dirPath()).mkpath(QStringLiteral("chosen"));
        const QString chosen = m_rig->fixture.dirPath() + QStringLiteral("/chosen");
        path->setText(chosen);
        child<QPushButton>(QStringLiteral("btnSelectFolder"))->click();
        auto* dialog =
            window().findChild<QFileDialog*>(QStringLiteral("SelectArchiveFolderDialog"));
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(chosen).canonicalPath());
        dialog->reject();

        // Not applied: a page change brings the stored folder back.
        pages->setCurrentIndex(3);
        path->setText(QStringLiteral("/nowhere/else"));
        pages->setCurrentIndex(0);
        QCOMPARE(path->text(), m_rig->fixture.dirPath());

        pages->setCurrentIndex(3);
        path->setText(QStringLiteral("/does/not/exist"));
        child<QPushButton>(QStringLiteral("btnApplyHistoryFolder"))->click();
        QCOMPARE(m_rig->fixture.store().readSetting(SettingsStore::rootKey(),
                                                    QStringLiteral("HistoryFolder")),
                 QStringLiteral("/does/not/exist"));
        pages->setCurrentIndex(2);
        QCOMPARE(path->text(), QStringLiteral("/does/not/exist"));
    }

    // Two sections, two Applies that say what they take; leaving the page
    // drops what either section holds unapplied.
    void additionalPageSectionsAlike()
    {
        auto* pages = child<QTabWidget>(QStringLiteral("PageControl"));
        auto* path = child<QLineEdit>(QStringLiteral("txtArchivePath"));
        auto* host = child<QLineEdit>(QStringLiteral("txtMqttHost"));
        QCOMPARE(child<QPushButton>(QStringLiteral("btnApplyHistoryFolder"))->text(),
                 QStringLiteral("Применить"));
        QCOMPARE(child<QPushButton>(QStringLiteral("btnApplyMqtt"))->text(),
                 QStringLiteral("Применить настройки MQTT"));

        pages->setCurrentIndex(3);
        QTest::keyClicks(path, QStringLiteral("/typed"));
        QTest::keyClicks(host, QStringLiteral("broker.local"));
        auto* archiveStatus = child<QLabel>(QStringLiteral("lblArchiveStatus"));
        QVERIFY(!archiveStatus->text().isEmpty()); // not applied yet
        pages->setCurrentIndex(0);
        QCOMPARE(path->text(), m_rig->fixture.dirPath());
        QCOMPARE(host->text(), QString());
        QCOMPARE(archiveStatus->text(), QString());
        QCOMPARE(child<QLabel>(QStringLiteral("lblMqttApplyStatus"))->text(), QString());

        pages->setCurrentIndex(3);
        child<QPushButton>(QStringLiteral("btnApplyHistoryFolder"))->click();
        QVERIFY2(archiveStatus->text().startsWith(QStringLiteral("Папка архива применена (")),
                 qPrintable(archiveStatus->text()));
    }

    // The folder dialog is Qt's own, in Russian whatever the locale: its list
    // calls a folder "Папка" and dates are numeric.
    void folderDialogInRussian()
    {
        QDir(m_rig->fixture.dirPath()).mkpath(QStringLiteral("sub"));
        child<QPushButton>(QStringLiteral("btnSelectFolder"))->click();
        auto* dialog =
            window().findChild<QFileDialog*>(QStringLiteral("SelectArchiveFolderDialog"));
        QVERIFY(dialog);
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        auto* proxy = qobject_cast<FolderListProxy*>(dialog->proxyModel());
        QVERIFY(proxy);
        auto* files = qobject_cast<QFileSystemModel*>(proxy->sourceModel());
        QVERIFY(files);
        const QModelIndex sub =
            proxy->mapFromSource(files->index(m_rig->fixture.dirPath() + QStringLiteral("/sub")));
        QTRY_COMPARE(sub.siblingAtColumn(FolderListProxy::Type).data().toString(),
                     QStringLiteral("Папка"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d$"))
                    .match(sub.siblingAtColumn(FolderListProxy::Modified).data().toString())
                    .hasMatch());
        QCOMPARE(proxy->headerData(FolderListProxy::Type, Qt::Horizontal).toString(),
                 QStringLiteral("Тип"));
        dialog->reject();
    }

    void archiveFolderMessageOneAtATime()
    {
        emit m_rig->station->messageRaised(QStringLiteral("KX7R"),
                                           QStringLiteral("Unable to create archive folder"));
        emit m_rig->station->messageRaised(QStringLiteral("KX7R"),
                                           QStringLiteral("Unable to create archive folder"));
        auto boxes = openBoxes(window(), QStringLiteral("errorBox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->windowTitle(), QStringLiteral("KX7R"));
        QCOMPARE(boxes[0]->icon(), QMessageBox::Critical);
        boxes[0]->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(openBoxes(window(), QStringLiteral("errorBox")).isEmpty());
        emit m_rig->station->messageRaised(QStringLiteral("KX7R"),
                                           QStringLiteral("Unable to create archive folder"));
        QCOMPARE(openBoxes(window(), QStringLiteral("errorBox")).size(), 1);
    }

    // One box at a time; once dismissed, the same folder stays quiet for a while.
    void archiveFolderBoxQuietAfterDismissal()
    {
        const QString a = QStringLiteral("/nowhere/a");
        const QString b = QStringLiteral("/nowhere/b");
        emit m_rig->station->archiveFolderFailed(a);
        emit m_rig->station->archiveFolderFailed(b);
        auto boxes = openBoxes(window(), QStringLiteral("errorBox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->windowTitle(), QStringLiteral("KX7R"));
        QCOMPARE(boxes[0]->text(), QStringLiteral("Unable to create archive folder"));
        boxes[0]->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(openBoxes(window(), QStringLiteral("errorBox")).isEmpty());

        emit m_rig->station->archiveFolderFailed(a);
        QVERIFY(openBoxes(window(), QStringLiteral("errorBox")).isEmpty());
        emit m_rig->station->archiveFolderFailed(b); // another folder is told at once
        boxes = openBoxes(window(), QStringLiteral("errorBox"));
        QCOMPARE(boxes.size(), 1);
        window().setArchiveBoxQuietTime(std::chrono::milliseconds(0));
        boxes[0]->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(openBoxes(window(), QStringLiteral("errorBox")).isEmpty());
        emit m_rig->station->archiveFolderFailed(b); // the quiet time is over
        QCOMPARE(openBoxes(window(), QStringLiteral("errorBox")).size(), 1);
    }

    void closeQuestionNoThenYes()
    {
        QSignalSpy shutdown(&window(), &TFormMain::shutdownConfirmed);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        window().close();
        QMessageBox* question = window().closeQuestion();
        QVERIFY(question);
        QVERIFY(question->isVisible());
        QCOMPARE(question->windowTitle(), QStringLiteral("КХ7Р"));
        QCOMPARE(question->text(), QStringLiteral("Завершить работу программы опроса блоков ПДЛ?"));
        QCOMPARE(question->icon(), QMessageBox::Question);
        QCOMPARE(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);

        question->button(QMessageBox::No)->click();
        QVERIFY(window().isVisible());
        QCOMPARE(shutdown.count(), 0);
        QTRY_VERIFY(!window().closeQuestion());

        window().close();
        question = window().closeQuestion();
        QVERIFY(question);
        question->button(QMessageBox::Yes)->click();
        QCOMPARE(shutdown.count(), 1);
        QVERIFY(!window().trayIcon().isVisible());
    }

    // SIGTERM and SIGINT end the program without the question, even one
    // already open; the window's own close still asks it.
    void stopOnRequestSkipsTheQuestion()
    {
        QSignalSpy shutdown(&window(), &TFormMain::shutdownConfirmed);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        window().close();
        QVERIFY(window().closeQuestion());
        window().stopOnRequest();
        QCOMPARE(shutdown.count(), 1);
        QTRY_VERIFY(!window().closeQuestion());
        QVERIFY(window().close());
        QVERIFY(openBoxes(window(), QStringLiteral("closeQuestion")).isEmpty());
    }

    // Captions are exactly the system's: no display name for X11 to append,
    // and Qt's own buttons speak Russian.
    void captionsAndQtTextsInRussian()
    {
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        QVERIFY(installQtTranslations(*QCoreApplication::instance()));
        QMessageBox box(QMessageBox::Question, QStringLiteral("КХ7Р"), QStringLiteral("?"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(u'&'), QStringLiteral("Да"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(u'&'), QStringLiteral("Нет"));
        QCOMPARE(box.button(QMessageBox::Ok)->text().remove(u'&'), QStringLiteral("OK"));
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::Directory);
        const auto buttons = dialog.findChildren<QPushButton*>();
        QStringList texts;
        for (const QPushButton* b : buttons)
            texts.append(b->text().remove(u'&'));
        QVERIFY2(texts.contains(QStringLiteral("Отмена")), qPrintable(texts.join(u',')));
    }

    void shutdownItemAsksOnce()
    {
        QSignalSpy shutdown(&window(), &TFormMain::shutdownConfirmed);
        window().show();
        auto* item = window().findChild<QAction*>(QStringLiteral("pumShutdown"));
        QVERIFY(item);
        item->trigger();
        QVERIFY(window().closeQuestion());
        window().closeQuestion()->button(QMessageBox::No)->click();
        QCOMPARE(shutdown.count(), 0);
        QVERIFY(window().isVisible());
        QTRY_VERIFY(!window().closeQuestion());

        item->trigger();
        window().closeQuestion()->button(QMessageBox::Yes)->click();
        QCOMPARE(shutdown.count(), 1);
        QTRY_VERIFY(!window().closeQuestion());
        // The window closing as the program ends asks nothing more.
        QVERIFY(window().close());
        QVERIFY(!window().closeQuestion());
        QVERIFY(openBoxes(window(), QStringLiteral("closeQuestion")).isEmpty());
    }

    void minimiseHidesWithANotificationArea()
    {
        window().setTrayAvailable(true);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        child<QTabWidget>(QStringLiteral("PageControl"))->setCurrentIndex(2);
        window().setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!window().isVisible());

        window().TrayIconActivated(QSystemTrayIcon::DoubleClick);
        QVERIFY(!window().isVisible());
        window().TrayIconActivated(QSystemTrayIcon::Trigger);
        QVERIFY(window().isVisible());
        QVERIFY(!window().isMinimized());
        QCOMPARE(child<QTabWidget>(QStringLiteral("PageControl"))->currentIndex(), 2);

        window().setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!window().isVisible());
        window().findChild<QAction*>(QStringLiteral("pumOpenForm"))->trigger();
        QVERIFY(window().isVisible());
    }

    void minimiseMinimisesWithoutOne()
    {
        window().setTrayAvailable(false);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        window().setWindowState(Qt::WindowMinimized);
        QTest::qWait(20); // a hide would be posted: give it its chance
        QVERIFY(window().isVisible());
        QVERIFY(window().isMinimized());
    }

    void iconFollowsIconState()
    {
        QSystemTrayIcon& tray = window().trayIcon();
        QCOMPARE(tray.toolTip(), QStringLiteral("Программа опроса блоков ПДЛ v1.3"));
        QCOMPARE(tray.icon().cacheKey(), window().icons().imgBlackTextIcon().cacheKey());
        StationProbe::blinker(*m_rig->station).flash(2);
        QCOMPARE(tray.icon().cacheKey(), window().icons().imgRedTextIcon().cacheKey());
        StationProbe::blinker(*m_rig->station).flash(1);
        QCOMPARE(tray.icon().cacheKey(), window().icons().imgGreenTextIcon().cacheKey());
        StationProbe::blinker(*m_rig->station).TimerBlinkTimer();
        QCOMPARE(m_rig->station->state().iconState, 0);
        QCOMPARE(tray.icon().cacheKey(), window().icons().imgBlackTextIcon().cacheKey());

        // The three pictures differ in their lettering only.
        const QImage black = window().icons().imgBlackTextIcon().pixmap(16).toImage();
        const QImage green = window().icons().imgGreenTextIcon().pixmap(16).toImage();
        QCOMPARE(black.size(), QSize(16, 16));
        QVERIFY(black != green);
        QCOMPARE(black.pixelColor(0, 0), green.pixelColor(0, 0));
    }

    void monitorControls()
    {
        auto* check = child<QCheckBox>(QStringLiteral("chkReciveToMemo"));
        auto* memo = child<QPlainTextEdit>(QStringLiteral("memoRSMonitor"));
        QCOMPARE(check->text(), QStringLiteral("Включить  мониторинг линии связи"));
        QVERIFY(!check->isChecked());
        QVERIFY(!m_rig->station->monitor().isEnabled());
        QVERIFY(memo->isReadOnly());
        QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(memo->font().family(), QStringLiteral("Courier New"));

        check->click();
        QVERIFY(m_rig->station->monitor().isEnabled());
        m_rig->station->monitor().appendLine(QStringLiteral("+---------------------------------+"));
        m_rig->station->monitor().appendLine(QStringLiteral("Терминал 1 (COM1)"));
        QTRY_COMPARE(memo->toPlainText(),
                     QStringLiteral("+---------------------------------+\nТерминал 1 (COM1)"));

        child<QPushButton>(QStringLiteral("btnClearReciveMemo"))->click();
        QVERIFY(m_rig->station->monitor().isEmpty());
        QCOMPARE(memo->toPlainText(), QString());
        QVERIFY(check->isChecked());
        m_rig->station->monitor().appendLine(QStringLiteral("next"));
        QTRY_COMPARE(memo->toPlainText(), QStringLiteral("next"));
        check->click();
        QVERIFY(!m_rig->station->monitor().isEnabled());
    }

    void monitorKeepsTheLastLines()
    {
        auto* memo = child<QPlainTextEdit>(QStringLiteral("memoRSMonitor"));
        const int extra = 5;
        for (int i = 0; i < LineMonitor::kMaxLines + extra; ++i)
            m_rig->station->monitor().appendLine(QString::number(i));
        QTRY_COMPARE(memo->blockCount(), LineMonitor::kMaxLines);
        QCOMPARE(memo->document()->firstBlock().text(), QString::number(extra));
        QCOMPARE(memo->document()->lastBlock().text(),
                 QString::number(LineMonitor::kMaxLines + extra - 1));
    }

    // Once full, a tick's lines reach the text box in one edit, and as many of
    // the oldest lines leave it in one more: the box stays at its bound.
    void fullMonitorTakesATickInTwoEdits()
    {
        auto* memo = child<QPlainTextEdit>(QStringLiteral("memoRSMonitor"));
        LineMonitor& monitor = m_rig->station->monitor();
        for (int i = 0; i < LineMonitor::kMaxLines; ++i)
            monitor.appendLine(QString::number(i));
        QTRY_COMPARE(memo->blockCount(), LineMonitor::kMaxLines);

        QSignalSpy edits(memo->document(), &QTextDocument::contentsChange);
        for (int tick = 0; tick < 3; ++tick) {
            for (int i = 0; i < 14; ++i)
                monitor.appendLine(QStringLiteral("tick %1 line %2").arg(tick).arg(i));
            QTRY_COMPARE(edits.size(), 2 * (tick + 1));
            QCOMPARE(memo->blockCount(), LineMonitor::kMaxLines);
            QCOMPARE(memo->document()->firstBlock().text(), QString::number(14 * (tick + 1)));
            QCOMPARE(memo->document()->lastBlock().text(),
                     QStringLiteral("tick %1 line 13").arg(tick));
        }
        QCoreApplication::processEvents();
        QCOMPARE(edits.size(), 6);
    }

    void aboutBox()
    {
        TAboutBox& about = window().aboutBox();
        QVERIFY(!about.isVisible());
        window().findChild<QAction*>(QStringLiteral("mmAboutProg"))->trigger();
        QVERIFY(about.isVisible());
        QVERIFY(!about.isModal());
        QVERIFY(about.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(about.windowTitle(), QStringLiteral("О программе"));
        QCOMPARE(about.size(), QSize(432, 168));
        QStringList texts;
        const auto labels = about.findChildren<QLabel*>();
        for (const QLabel* label : labels) {
            if (!label->text().isEmpty()) {
                QVERIFY(label->font().bold());
                QCOMPARE(label->font().pixelSize(), 16);
                QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
                texts.append(label->text());
            }
        }
        QCOMPARE(texts, QStringList({QStringLiteral("Программа опроса блоков ПДЛ системы КХ7Р "),
                                     QStringLiteral("Версия 1.3")}));
        auto* ok = about.findChild<QPushButton*>(QStringLiteral("OKButton"));
        QVERIFY(ok && ok->isDefault());
        ok->click();
        QVERIFY(!about.isVisible());
        window().mmAboutProgClick(); // reused
        QVERIFY(about.isVisible());
    }

    void connectionGridsAreReadOnly()
    {
        m_rig->station->state().currentConnections.setCell(1, 1, QStringLiteral("127.0.0.1"),
                                                           CellColour::Black);
        for (const char* name : {"tblCurrentConnections", "tblCurrentConnectionsForUpdate"}) {
            CellGridView* view = grid(QLatin1String(name));
            QVERIFY(view);
            QVERIFY(!startEditing(view, 1, 1));
            QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        }
        QCOMPARE(grid(QStringLiteral("tblCurrentConnections"))->columnWidth(1), 132);
        QCOMPARE(grid(QStringLiteral("tblCurrentConnectionsForUpdate"))->columnWidth(1), 130);
    }
};

QTEST_MAIN(TestTFormMain)
#include "tst_tformmain.moc"
