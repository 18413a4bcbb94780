#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QTimer>
#include <QWidget>
#include <utility>

class ColumnChooser;
class CsvExportJob;
class LatestValuesModel;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFileDialog;
class QHBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class Station;
class TrendChartView;
class TrendLoader;
struct CsvResult;
struct TrendData;

// The "Измерения" page, after the station's own pages: the latest values of
// every poll-list row (LatestAnswers), a trend of the selected row read from
// its archive files off the window's thread with the live values appended,
// and the CSV export kx7r-export writes. Reads only: it changes nothing of
// the station.
class MeasurementsPage : public QWidget {
    Q_OBJECT
public:
    // The range choices, in the order of the range box.
    enum class Range : int { LastHour = 0, LastDay, LastWeek, LastMonth, Dates };

    explicit MeasurementsPage(Station& station, QWidget* parent = nullptr);
    ~MeasurementsPage() override;

    // [from, to] of a range at a time now; Dates: first day 00:00 .. last day's end.
    static std::pair<QDateTime, QDateTime> period(Range range, const QDateTime& now,
                                                  const QDate& first, const QDate& last);

    LatestValuesModel& model() { return *m_model; }
    TrendChartView& chartView() { return *m_chart; }
    int trendRow() const { return m_trendRow; }
    QString noteText() const;

    void selectRow(int row);
    void setRange(Range range);
    void setDates(const QDate& first, const QDate& last);
    void setTrendColumns(const QList<int>& columns);
    // Reads the trend again for the row, range and columns now chosen.
    void loadTrend();
    void cancelTrend();
    bool isLoading() const;
    // The chosen row over the days of the chosen range; false while one runs.
    bool exportTo(const QString& path);
    void btnExportClick();

signals:
    void trendLoaded();
    void trendCancelled();
    void exportFinished(const QString& path, const QString& error);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* buildTrendBar();
    void buildExportControls(QHBoxLayout* bar);
    void showLoaded(const TrendData& trend);
    void showCancelled();
    void showExported(const QString& path, const CsvResult& result);
    void showProgress(int done, int total);
    void rowsUpdated(const QList<int>& rows);
    void channelsReassigned(const QList<int>& rows);
    void hideUnnamedRows();
    void rangeChanged();
    std::pair<QDateTime, QDateTime> chosenPeriod() const;

    Station& m_station;
    LatestValuesModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    ColumnChooser* m_tableColumns = nullptr;
    ColumnChooser* m_trendColumns = nullptr;
    QComboBox* m_range = nullptr;
    QDateEdit* m_first = nullptr;
    QDateEdit* m_last = nullptr;
    QPushButton* m_refresh = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_export = nullptr;
    QCheckBox* m_bom = nullptr;
    QCheckBox* m_exportChosen = nullptr;
    QProgressBar* m_progress = nullptr;
    TrendChartView* m_chart = nullptr;
    QLabel* m_pointer = nullptr;
    QLabel* m_note = nullptr;
    QLabel* m_exportStatus = nullptr;
    QFileDialog* m_exportDialog = nullptr;
    TrendLoader* m_loader = nullptr;
    CsvExportJob* m_exportJob = nullptr;
    QTimer m_ageTimer;
    int m_trendRow = -1;
    bool m_trendFollowsNow = false; // the range ends now: live values are appended
    qint64 m_lastX = 0;             // the newest point drawn, ms since the epoch
    bool m_shownOnce = false;
};
