#pragma once

#include "texticons.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QSystemTrayIcon>
#include <chrono>
#include <optional>

class ApplyStatus;
class Outcome;
class BrokerSettingsBox;
class CellGridView;
class QAction;
class QCheckBox;
class QFileDialog;
class LineMonitorFeed;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class Station;
class TAboutBox;

// The main window over the running station: four pages that show and edit the
// station's grids and call its Applies, the line monitor, the notification icon
// with its menu, the about box and the close question. It holds no logic of its
// own: every "Применить" is one Station call, every grid a view of a core model.
// No handler blocks: message boxes and dialogs open with open()/show().
class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 1069;
    static constexpr int kClientHeight = 450;

    explicit TFormMain(Station& station, QWidget* parent = nullptr);
    ~TFormMain() override;

    // Whether minimise hides to the notification area; by default whether the
    // platform has one, asked at every minimise.
    bool hidesToTray() const;
    void setTrayAvailable(bool available) { m_trayAvailable = available; }

    QSystemTrayIcon& trayIcon() { return *m_trayIcon; }
    const TextIcons& icons() const { return m_icons; }
    TAboutBox& aboutBox() { return *m_aboutBox; }
    QMessageBox* closeQuestion() const { return m_closeQuestion; }

    // Handlers, named as the window binds them.
    void btnApplyQuerryListClick();
    void btnApplyCOMClick();
    void btnSaveTcpSettingsClick();
    void btnSelectFolderClick();
    void btnApplyHistoryFolderClick();
    void PageControlChange();
    void pumOpenFormClick();
    void mmAboutProgClick();
    void pumShutdownClick();
    void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);

    // A stop asked from outside (SIGTERM, SIGINT): the program ends at once,
    // without the close question; one still open goes with the window.
    void stopOnRequest();

    // Visible and in front, on the page last shown.
    void showMainWindow();
    // The error box of an Apply or of the engine, opened without blocking; an
    // identical box still open is not opened twice.
    void showError(const QString& caption, const QString& text);
    // The archive folder box: one at a time, and once dismissed not again for
    // the same folder within archiveBoxQuietTime (every failure is logged).
    void showArchiveFolderError(const QString& folder);
    void setArchiveBoxQuietTime(std::chrono::milliseconds quiet) { m_archiveBoxQuiet = quiet; }
    static constexpr std::chrono::milliseconds kArchiveBoxQuietTime{60000};

signals:
    // The close question was answered Yes; the event loop is told to quit.
    void shutdownConfirmed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* buildQueryListPage();
    QWidget* buildRsSettingsPage();
    QWidget* buildTcpPage();
    QWidget* buildArchivePage();
    void buildTrayIcon();
    void connectMonitor();
    void askCloseQuestion();
    void shutdownProgram();
    void showIconState(int iconState);
    // The status line of an Apply, and on a refusal the system's message too.
    void reportApply(ApplyStatus& status, const Outcome& outcome, const QString& applied,
                     const QString& refused);
    // The poll list's columns 1..6 as in force now; cells that differ are marked.
    void rememberAppliedPollList();
    bool isUnappliedPollListCell(int row, int column) const;
    void showArchiveFolderPending();

    Station& m_station;
    TextIcons m_icons;
    std::optional<bool> m_trayAvailable;
    bool m_shuttingDown = false;
    bool m_centred = false;

    QTabWidget* m_pageControl = nullptr;
    CellGridView* m_tblQueryList = nullptr;
    CellGridView* m_tblRSSettings = nullptr;
    CellGridView* m_tblCurrentConnections = nullptr;
    CellGridView* m_tblCurrentConnectionsForUpdate = nullptr;
    QCheckBox* m_chkReciveToMemo = nullptr;
    QPlainTextEdit* m_memoRSMonitor = nullptr;
    LineMonitorFeed* m_monitorFeed = nullptr;
    QLineEdit* m_txtTCP_PORT = nullptr;
    QLineEdit* m_txtArchivePath = nullptr;
    QFileDialog* m_selectArchiveFolderDialog = nullptr;
    BrokerSettingsBox* m_brokerSettings = nullptr;
    ApplyStatus* m_queryListStatus = nullptr;
    ApplyStatus* m_rsSettingsStatus = nullptr;
    ApplyStatus* m_tcpStatus = nullptr;
    ApplyStatus* m_archiveStatus = nullptr;
    QList<QStringList> m_appliedPollList; // rows 1..30, columns Name..Timeout

    QMenu* m_popupMenu1 = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
    TAboutBox* m_aboutBox = nullptr;
    QPointer<QMessageBox> m_closeQuestion;
    QHash<QString, QPointer<QMessageBox>> m_openErrors;
    QPointer<QMessageBox> m_archiveBox;
    QString m_archiveBoxFolder;
    QDeadlineTimer m_archiveBoxSilence; // the dismissed folder's box stays away until then
    std::chrono::milliseconds m_archiveBoxQuiet = kArchiveBoxQuietTime;
};
