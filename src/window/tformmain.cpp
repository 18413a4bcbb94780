#include "tformmain.h"

#include "applystatus.h"
#include "brokersettingsbox.h"
#include "cellgridview.h"
#include "diagnosticspage.h"
#include "folderlistproxy.h"
#include "grideditors.h"
#include "linemonitorfeed.h"
#include "listenstatelabel.h"
#include "modbuspage.h"
#include "taboutbox.h"

#include "model/integertext.h"
#include "model/logcategories.h"
#include "model/settingsschema.h"
#include "model/settingsstore.h"
#include "model/stationtexts.h"
#include "serial/linemonitor.h"
#include "shell/station.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kMinWidth = 1040;
constexpr int kMaxWidth = 1085;
constexpr int kMinHeight = 285;
constexpr int kMaxHeight = 812;
constexpr int kRsSettingsHeight = 177;
constexpr int kRsRowHeight = 22;
constexpr int kPortBoxWidth = 64;
constexpr int kArchiveBoxWidth = 449;
constexpr int kMonitorMinLines = 6;

const QString kCloseCaption = QStringLiteral("КХ7Р"); // Cyrillic letters
const QString kCloseText = QStringLiteral("Завершить работу программы опроса блоков ПДЛ?");

QPushButton* button(const QString& name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

// A bar with its button at the right end and the Apply's status line before it.
QHBoxLayout* rightButtonBar(QPushButton* b, ApplyStatus* status)
{
    auto* bar = new QHBoxLayout;
    bar->addWidget(status, 1);
    bar->addWidget(b);
    return bar;
}

CellEditor noEditor(int, int)
{
    return {};
}

// A page that never shrinks below the size its controls need to stay whole
// and apart: in a smaller window it scrolls.
QWidget* scrollingPage(QWidget* content)
{
    auto* page = new QScrollArea;
    page->setObjectName(content->objectName() + QStringLiteral("Scroll"));
    page->setFrameShape(QFrame::NoFrame);
    page->setWidgetResizable(true);
    page->setWidget(content);
    return page;
}
} // namespace

TFormMain::TFormMain(Station& station, QWidget* parent) : QMainWindow(parent), m_station(station)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(Texts::windowCaption);
    setWindowIcon(m_icons.imgBlackTextIcon());
    // Hidden to the notification area, the window is gone but the program is
    // not: only the close question ends it.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    m_pageControl = new QTabWidget(this);
    m_pageControl->setObjectName(QStringLiteral("PageControl"));
    m_pageControl->addTab(scrollingPage(buildQueryListPage()), QStringLiteral("Порядок опроса"));
    m_pageControl->addTab(scrollingPage(buildRsSettingsPage()),
                          QStringLiteral("Настройка COM портов"));
    m_pageControl->addTab(scrollingPage(buildTcpPage()), QStringLiteral("TCP/IP"));
    m_pageControl->addTab(scrollingPage(buildArchivePage()),
                          QStringLiteral("Дополнительные настройки"));
    // Pages beyond the station's own come after its four.
    auto* modbusPage = new ModbusPage(m_station);
    connect(modbusPage, &ModbusPage::applyFailed, this,
            [this](const QString& text) { showError(Texts::applicationTitle, text); });
    m_pageControl->addTab(scrollingPage(new DiagnosticsPage(m_station)),
                          QStringLiteral("Диагностика"));
    m_pageControl->addTab(scrollingPage(modbusPage), QStringLiteral("Modbus TCP"));
    m_pageControl->setCurrentIndex(0);
    connect(m_pageControl, &QTabWidget::currentChanged, this, &TFormMain::PageControlChange);
    setCentralWidget(m_pageControl);

    setMinimumSize(kMinWidth, kMinHeight);
    setMaximumSize(kMaxWidth, kMaxHeight);
    resize(kClientWidth, kClientHeight);

    m_aboutBox = new TAboutBox(this);
    buildTrayIcon();
    connect(&m_station, &Station::messageRaised, this, &TFormMain::showError);
    connect(&m_station, &Station::archiveFolderFailed, this, &TFormMain::showArchiveFolderError);
}

TFormMain::~TFormMain()
{
    // The icon leaves the notification area with the window.
    m_trayIcon->hide();
}

QWidget* TFormMain::buildQueryListPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsQueryList"));
    m_tblQueryList =
        new CellGridView(m_station.state().queryList, &GridEditors::queryListEditor, page);
    m_tblQueryList->setObjectName(QStringLiteral("tblQueryList"));
    m_tblQueryList->setColumnWidths({24, 79, 89, 100, 88, 95, 86, 128, 139, 122});
    m_tblQueryList->setRowHeights(kRsRowHeight);

    auto* apply = button(QStringLiteral("btnApplyQuerryList"), QStringLiteral("Применить"), page);
    connect(apply, &QPushButton::clicked, this, &TFormMain::btnApplyQuerryListClick);
    m_queryListStatus = new ApplyStatus(QStringLiteral("lblQueryListStatus"), page);

    // Edits not in force are marked until an Apply takes them.
    rememberAppliedPollList();
    if (auto* delegate = qobject_cast<CellGridDelegate*>(m_tblQueryList->itemDelegate()))
        delegate->setMarker(
            [this](int row, int column) { return isUnappliedPollListCell(row, column); });

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_tblQueryList, 1);
    layout->addLayout(rightButtonBar(apply, m_queryListStatus));
    return page;
}

QWidget* TFormMain::buildRsSettingsPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsRSSettings"));
    m_tblRSSettings =
        new CellGridView(m_station.state().rsSettings, &GridEditors::rsSettingsEditor, page);
    m_tblRSSettings->setObjectName(QStringLiteral("tblRSSettings"));
    m_tblRSSettings->setColumnWidths({111, 88, 89, 88, 88, 88, 89, 87, 87, 88, 89});
    m_tblRSSettings->setRowHeights(kRsRowHeight);
    m_tblRSSettings->setFixedHeight(kRsSettingsHeight);
    m_tblRSSettings->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_tblRSSettings->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* apply = button(QStringLiteral("btnApplyCOM"), QStringLiteral("Применить"), page);
    connect(apply, &QPushButton::clicked, this, &TFormMain::btnApplyCOMClick);
    m_rsSettingsStatus = new ApplyStatus(QStringLiteral("lblRSSettingsStatus"), page);

    m_chkReciveToMemo = new QCheckBox(QStringLiteral("Включить  мониторинг линии связи"), page);
    m_chkReciveToMemo->setObjectName(QStringLiteral("chkReciveToMemo"));
    m_chkReciveToMemo->setChecked(false);
    auto* clear = button(QStringLiteral("btnClearReciveMemo"), QStringLiteral("Очистить"), page);

    m_memoRSMonitor = new QPlainTextEdit(page);
    m_memoRSMonitor->setObjectName(QStringLiteral("memoRSMonitor"));
    m_memoRSMonitor->setReadOnly(true);
    m_memoRSMonitor->setUndoRedoEnabled(false);
    m_memoRSMonitor->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memoRSMonitor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memoRSMonitor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memoRSMonitor->setMaximumBlockCount(LineMonitor::kMaxLines);
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setFixedPitch(true);
    m_memoRSMonitor->setFont(courier);
    m_memoRSMonitor->setMinimumHeight(kMonitorMinLines *
                                          m_memoRSMonitor->fontMetrics().lineSpacing() +
                                      m_memoRSMonitor->horizontalScrollBar()->sizeHint().height() +
                                      2 * m_memoRSMonitor->frameWidth());

    auto* monitorBar = new QHBoxLayout;
    monitorBar->addWidget(m_chkReciveToMemo);
    monitorBar->addSpacing(16);
    monitorBar->addWidget(clear);
    monitorBar->addStretch();

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_tblRSSettings);
    layout->addLayout(rightButtonBar(apply, m_rsSettingsStatus));
    layout->addLayout(monitorBar);
    layout->addWidget(m_memoRSMonitor, 1);

    connect(clear, &QPushButton::clicked, &m_station.monitor(),
            &LineMonitor::btnClearReciveMemoClick);
    connectMonitor();
    return page;
}

void TFormMain::connectMonitor()
{
    LineMonitor& monitor = m_station.monitor();
    monitor.setEnabled(m_chkReciveToMemo->isChecked());
    connect(m_chkReciveToMemo, &QCheckBox::toggled, &monitor, &LineMonitor::setEnabled);
    m_monitorFeed = new LineMonitorFeed(monitor, *m_memoRSMonitor, this);
}

QWidget* TFormMain::buildTcpPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsTCP"));

    auto* portLabel = new QLabel(QStringLiteral("Порт"), page);
    // The port text as stored, a number or not; an Apply changes it from then on.
    m_txtTCP_PORT = new QLineEdit(
        m_station.settings().readSetting(SettingsStore::rootKey(), SettingsSchema::tcpPort), page);
    m_txtTCP_PORT->setObjectName(QStringLiteral("txtTCP_PORT"));
    m_txtTCP_PORT->setFixedWidth(kPortBoxWidth);
    portLabel->setBuddy(m_txtTCP_PORT);
    auto* apply = button(QStringLiteral("btnSaveTcpSettings"), QStringLiteral("Применить"), page);
    connect(apply, &QPushButton::clicked, this, &TFormMain::btnSaveTcpSettingsClick);
    connect(m_txtTCP_PORT, &QLineEdit::returnPressed, this, &TFormMain::btnSaveTcpSettingsClick);

    m_tcpStatus = new ApplyStatus(QStringLiteral("lblTcpStatus"), page);

    auto* portBar = new QHBoxLayout;
    portBar->addWidget(portLabel);
    portBar->addWidget(m_txtTCP_PORT);
    portBar->addWidget(apply);
    portBar->addSpacing(16);
    portBar->addWidget(m_tcpStatus, 1);
    portBar->addWidget(new ListenStateLabel(m_station, page));

    auto* heading = new QLabel(QStringLiteral("    Текущие подключения по TCP/IP"), page);
    heading->setTextFormat(Qt::PlainText);
    heading->setFrameShape(QFrame::StyledPanel);
    heading->setObjectName(QStringLiteral("lblCurrentConnections"));

    m_tblCurrentConnections =
        new CellGridView(m_station.state().currentConnections, &noEditor, page);
    m_tblCurrentConnections->setObjectName(QStringLiteral("tblCurrentConnections"));
    m_tblCurrentConnections->setColumnWidths({32, 132, 104, 131, 109});
    m_tblCurrentConnections->setColumnsFitWidth(true);
    m_tblCurrentConnections->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tblCurrentConnections->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_tblCurrentConnections->setRowHeights(kRsRowHeight);

    m_tblCurrentConnectionsForUpdate =
        new CellGridView(m_station.state().currentConnectionsForUpdate, &noEditor, page);
    m_tblCurrentConnectionsForUpdate->setObjectName(
        QStringLiteral("tblCurrentConnectionsForUpdate"));
    m_tblCurrentConnectionsForUpdate->setColumnWidths({32, 130, 104, 131, 109});
    m_tblCurrentConnectionsForUpdate->setColumnsFitWidth(true);
    m_tblCurrentConnectionsForUpdate->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tblCurrentConnectionsForUpdate->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_tblCurrentConnectionsForUpdate->setRowHeights(kRsRowHeight);

    auto* splitter = new QSplitter(Qt::Horizontal, page);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(m_tblCurrentConnections);
    splitter->addWidget(m_tblCurrentConnectionsForUpdate);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(portBar);
    layout->addWidget(heading);
    layout->addWidget(splitter, 1);
    return page;
}

QWidget* TFormMain::buildArchivePage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsAdditional"));

    auto* label = new QLabel(QStringLiteral("Архив данных измерений"), page);
    m_txtArchivePath = new QLineEdit(m_station.readArchiveFolder(), page);
    m_txtArchivePath->setObjectName(QStringLiteral("txtArchivePath"));
    m_txtArchivePath->setFixedWidth(kArchiveBoxWidth);
    label->setBuddy(m_txtArchivePath);
    auto* select = button(QStringLiteral("btnSelectFolder"), QStringLiteral("..."), page);
    select->setFixedWidth(select->sizeHint().height() + 8);
    connect(select, &QPushButton::clicked, this, &TFormMain::btnSelectFolderClick);
    auto* apply =
        button(QStringLiteral("btnApplyHistoryFolder"), QStringLiteral("Применить"), page);
    connect(apply, &QPushButton::clicked, this, &TFormMain::btnApplyHistoryFolderClick);

    auto* folderBar = new QHBoxLayout;
    folderBar->addWidget(m_txtArchivePath);
    folderBar->addWidget(select);
    folderBar->addStretch();

    m_archiveStatus = new ApplyStatus(QStringLiteral("lblArchiveStatus"), page);
    connect(m_txtArchivePath, &QLineEdit::textChanged, this, &TFormMain::showArchiveFolderPending);

    m_brokerSettings = new BrokerSettingsBox(m_station, page);
    connect(m_brokerSettings, &BrokerSettingsBox::applyFailed, this,
            [this](const QString& text) { showError(Texts::applicationTitle, text); });

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label);
    layout->addLayout(folderBar);
    layout->addWidget(m_brokerSettings);
    layout->addStretch(1);
    layout->addLayout(rightButtonBar(apply, m_archiveStatus));

    m_selectArchiveFolderDialog = new QFileDialog(this);
    m_selectArchiveFolderDialog->setObjectName(QStringLiteral("SelectArchiveFolderDialog"));
    m_selectArchiveFolderDialog->setWindowTitle(label->text());
    m_selectArchiveFolderDialog->setFileMode(QFileDialog::Directory);
    m_selectArchiveFolderDialog->setOption(QFileDialog::ShowDirsOnly, true);
    m_selectArchiveFolderDialog->setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own dialog speaks the installed Russian translations; a desktop's
    // native one would speak the desktop's language.
    m_selectArchiveFolderDialog->setOption(QFileDialog::DontUseNativeDialog, true);
    m_selectArchiveFolderDialog->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    m_selectArchiveFolderDialog->setProxyModel(new FolderListProxy(m_selectArchiveFolderDialog));
    connect(m_selectArchiveFolderDialog, &QFileDialog::fileSelected, this,
            [this](const QString& folder) {
                if (!folder.isEmpty())
                    m_txtArchivePath->setText(QDir::toNativeSeparators(folder));
            });
    return page;
}

void TFormMain::buildTrayIcon()
{
    m_popupMenu1 = new QMenu(this);
    m_popupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* open = m_popupMenu1->addAction(QStringLiteral("Открыть"));
    open->setObjectName(QStringLiteral("pumOpenForm"));
    QAction* about = m_popupMenu1->addAction(QStringLiteral("О программе"));
    about->setObjectName(QStringLiteral("mmAboutProg"));
    QAction* shutdown = m_popupMenu1->addAction(QStringLiteral("Выключить программу"));
    shutdown->setObjectName(QStringLiteral("pumShutdown"));
    connect(open, &QAction::triggered, this, &TFormMain::pumOpenFormClick);
    connect(about, &QAction::triggered, this, &TFormMain::mmAboutProgClick);
    connect(shutdown, &QAction::triggered, this, &TFormMain::pumShutdownClick);

    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setObjectName(QStringLiteral("TrayIcon"));
    m_trayIcon->setToolTip(Texts::windowCaption.left(127));
    m_trayIcon->setContextMenu(m_popupMenu1);
    showIconState(m_station.state().iconState);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &TFormMain::TrayIconActivated);
    connect(&m_station, &Station::iconStateChanged, this, &TFormMain::showIconState);
    m_trayIcon->show();
}

void TFormMain::showIconState(int iconState)
{
    m_trayIcon->setIcon(m_icons.icon(iconState));
}

bool TFormMain::hidesToTray() const
{
    return m_trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void TFormMain::rememberAppliedPollList()
{
    const CellGrid& grid = m_station.state().queryList;
    m_appliedPollList.clear();
    for (int row = 1; row <= kChannelCount; ++row) {
        QStringList texts;
        for (int column = QueryColumn::Name; column <= QueryColumn::Timeout; ++column)
            texts.append(grid.text(row, column));
        m_appliedPollList.append(texts);
    }
    m_tblQueryList->viewport()->update();
}

bool TFormMain::isUnappliedPollListCell(int row, int column) const
{
    if (row < 1 || row > m_appliedPollList.size() || column < QueryColumn::Name ||
        column > QueryColumn::Timeout)
        return false;
    return m_station.state().queryList.text(row, column) !=
           m_appliedPollList[row - 1][column - QueryColumn::Name];
}

void TFormMain::btnApplyQuerryListClick()
{
    QPoint cell;
    const Outcome outcome = m_station.applyPollList(&cell);
    if (cell.isNull()) // taken, even when the store refused to keep it
        rememberAppliedPollList();
    if (outcome) {
        m_queryListStatus->showApplied(QStringLiteral("Список опроса применен"));
        return;
    }
    if (cell.isNull()) {
        reportApply(*m_queryListStatus, outcome, {}, QStringLiteral("Список опроса не сохранен"));
        return;
    }
    const QModelIndex index = m_tblQueryList->model()->index(cell.y() - 1, cell.x());
    m_tblQueryList->setCurrentIndex(index);
    m_tblQueryList->scrollTo(index);
    const QString column = m_tblQueryList->model()->headerData(cell.x(), Qt::Horizontal).toString();
    const QString where = QStringLiteral("Строка %1, столбец «%2»").arg(cell.y()).arg(column);
    m_queryListStatus->showRefused(
        QStringLiteral("Список опроса не применен (строка %1, столбец «%2»); выделенные ячейки "
                       "не действуют")
            .arg(cell.y())
            .arg(column));
    showError(Texts::applicationTitle,
              outcome.error() + QStringLiteral("\n\n") + where +
                  QStringLiteral(".\nСписок опроса не применен: выделенные цветом ячейки не "
                                 "действуют, опрос идет по прежнему списку."));
}

void TFormMain::btnApplyCOMClick()
{
    reportApply(*m_rsSettingsStatus, m_station.applyTerminals(),
                QStringLiteral("Настройки COM портов применены"),
                QStringLiteral("Настройки COM портов не сохранены"));
}

void TFormMain::btnSaveTcpSettingsClick()
{
    const QString typed = m_txtTCP_PORT->text();
    const Outcome outcome = m_station.applyTcpPort(typed);
    const LiveServer& live = m_station.liveServer();
    const QString listening =
        live.isListening()
            ? QStringLiteral("подключения принимаются на порту ") + QString::number(live.port())
            : QStringLiteral("подключения не принимаются");
    if (outcome) {
        m_tcpStatus->showApplied(QStringLiteral("Порт применен: ") + listening);
        return;
    }
    // The box shows the port that is in force, not the one refused.
    if (live.isListening())
        m_txtTCP_PORT->setText(QString::number(live.port()));
    m_tcpStatus->showRefused(QStringLiteral("Порт не применен: ") + listening);
    QString text = outcome.error();
    const auto port = parseInteger(typed);
    if (port && *port >= 1 && *port <= 65535) {
        // A port the service could not take: say where it is now.
        const bool moved = live.isListening() && live.port() == quint16(*port);
        text += QStringLiteral("\n\n") +
                (!live.isListening()
                     ? QStringLiteral("Служба TCP/IP остановлена: подключения не принимаются.")
                 : moved ? QStringLiteral("Служба TCP/IP принимает подключения на порту %1.")
                               .arg(live.port())
                         : QStringLiteral("Служба TCP/IP по-прежнему принимает подключения на "
                                          "порту %1.")
                               .arg(live.port()));
    }
    showError(Texts::applicationTitle, text);
}

void TFormMain::btnSelectFolderClick()
{
    m_selectArchiveFolderDialog->setDirectory(m_txtArchivePath->text());
    m_selectArchiveFolderDialog->open();
}

void TFormMain::btnApplyHistoryFolderClick()
{
    reportApply(*m_archiveStatus, m_station.applyArchiveFolder(m_txtArchivePath->text()),
                QStringLiteral("Папка архива применена"),
                QStringLiteral("Папка архива не сохранена"));
}

void TFormMain::reportApply(ApplyStatus& status, const Outcome& outcome, const QString& applied,
                            const QString& refused)
{
    if (outcome) {
        status.showApplied(applied);
        return;
    }
    status.showRefused(refused);
    showError(Texts::applicationTitle, outcome.error());
}

void TFormMain::showArchiveFolderPending()
{
    if (m_txtArchivePath->text() != m_station.readArchiveFolder())
        m_archiveStatus->showPending(
            QStringLiteral("Папка архива не применена: она действует после «Применить»"));
    else if (m_archiveStatus->isPending())
        m_archiveStatus->clearStatus();
}

void TFormMain::PageControlChange()
{
    // Both sections of the page drop what was typed and not applied.
    m_txtArchivePath->setText(m_station.readArchiveFolder());
    m_brokerSettings->showStored();
}

void TFormMain::pumOpenFormClick()
{
    showMainWindow();
}

void TFormMain::mmAboutProgClick()
{
    m_aboutBox->showBox();
}

void TFormMain::pumShutdownClick()
{
    askCloseQuestion();
}

void TFormMain::TrayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    // The right button opens PopupMenu1 as the icon's context menu; a double
    // click or a middle click does nothing.
    if (reason == QSystemTrayIcon::Trigger)
        showMainWindow();
}

void TFormMain::showMainWindow()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TFormMain::showError(const QString& caption, const QString& text)
{
    // A box answered is hidden at once and deleted later.
    m_openErrors.removeIf(
        [](const auto& entry) { return entry.value().isNull() || !entry.value()->isVisible(); });
    const QString key = caption + u'\n' + text;
    if (QMessageBox* open = m_openErrors.value(key)) {
        open->raise();
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("errorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_openErrors.insert(key, box);
    box->open();
}

void TFormMain::showArchiveFolderError(const QString& folder)
{
    if (m_archiveBox && m_archiveBox->isVisible())
        return;
    if (folder == m_archiveBoxFolder && !m_archiveBoxSilence.hasExpired())
        return;
    auto* box = new QMessageBox(QMessageBox::Critical, Texts::archiveCaption,
                                Texts::archiveFolderMessage, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("errorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, folder] {
        m_archiveBoxFolder = folder;
        m_archiveBoxSilence = QDeadlineTimer(m_archiveBoxQuiet);
    });
    m_archiveBox = box;
    box->open();
}

void TFormMain::askCloseQuestion()
{
    if (m_closeQuestion && m_closeQuestion->isVisible()) {
        m_closeQuestion->raise();
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Question, kCloseCaption, kCloseText,
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("closeQuestion"));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box] {
        if (box->standardButton(box->clickedButton()) != QMessageBox::Yes)
            return;
        qCInfo(lcShell) << "stop confirmed by the operator";
        shutdownProgram();
    });
    m_closeQuestion = box;
    box->open();
}

void TFormMain::stopOnRequest()
{
    if (m_shuttingDown)
        return;
    shutdownProgram();
    if (m_closeQuestion)
        m_closeQuestion->done(QMessageBox::No);
}

void TFormMain::shutdownProgram()
{
    m_shuttingDown = true;
    m_trayIcon->hide();
    emit shutdownConfirmed();
    QCoreApplication::quit();
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    if (m_shuttingDown) {
        event->accept();
        return;
    }
    event->ignore();
    askCloseQuestion();
}

void TFormMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !hidesToTray())
        return;
    // Hidden after the state change is through, so the platform is not asked to
    // hide a window it is still minimising.
    QTimer::singleShot(0, this, [this] {
        if (!isMinimized())
            return;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        hide();
    });
}

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TFormMain::contextMenuEvent(QContextMenuEvent* event)
{
    m_popupMenu1->popup(event->globalPos());
    event->accept();
}
