#include "measurementspage.h"

#include "columnchooser.h"
#include "csvexportjob.h"
#include "latestvaluesmodel.h"
#include "trendchartview.h"
#include "trendloader.h"

#include "answers/latestanswers.h"
#include "model/clock.h"
#include "shell/station.h"
#include "trends/archivecolumns.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace {
// Beyond this many live points the trend is read again, thinned as a whole.
constexpr qint64 kMaxLivePoints = 5000;
constexpr int kAgeRefreshMs = 1000;

QList<int> columnsTitled(std::initializer_list<const char16_t*> titles)
{
    QList<int> columns;
    for (const char16_t* title : titles)
        columns.append(ArchiveColumns::indexOf(QString::fromUtf16(title)));
    std::sort(columns.begin(), columns.end());
    return columns;
}

QList<int> defaultTableColumns()
{
    return columnsTitled(
        {u"Уровень S1, мм", u"V жидк, м3", u"Масса жидк, т", u"Пл. жидк, кг/м3", u"T1"});
}

QPushButton* button(const QString& name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

qint64 measurementTime(const MeasurementRecord& m)
{
    const QDateTime time(QDate(int(m.year), int(m.month), int(m.day)),
                         QTime(int(m.hour), int(m.minute), int(m.second)));
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}
} // namespace

MeasurementsPage::MeasurementsPage(Station& station, QWidget* parent)
    : QWidget(parent), m_station(station)
{
    setObjectName(QStringLiteral("tsMeasurements"));
    m_model =
        new LatestValuesModel(station.latestAnswers(), station.state(), station.clock(), this);
    m_model->setValueColumns(defaultTableColumns());

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tblMeasurements"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(20);
    // Thirty rows at most: fitting the columns to their texts costs nothing.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && current.row() != m_trendRow) {
                    m_trendRow = current.row();
                    loadTrend();
                }
            });

    m_tableColumns =
        new ColumnChooser(QStringLiteral("Столбцы таблицы"), defaultTableColumns(), this);
    m_tableColumns->setObjectName(QStringLiteral("btnTableColumns"));
    connect(m_tableColumns, &ColumnChooser::chosenChanged, this, [this](const QList<int>& columns) {
        m_model->setValueColumns(columns);
        // A new set of columns resets the view: its hidden rows and its selection.
        hideUnnamedRows();
        if (m_trendRow >= 0)
            selectRow(m_trendRow);
    });

    m_chart = new TrendChartView(this);
    m_chart->setObjectName(QStringLiteral("chtTrend"));
    m_chart->setMinimumHeight(180);
    m_pointer = new QLabel(this);
    m_pointer->setObjectName(QStringLiteral("lblTrendPointer"));
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("lblTrendNote"));
    m_note->setWordWrap(true);
    connect(m_chart, &TrendChartView::pointerTextChanged, m_pointer, &QLabel::setText);

    auto* top = new QWidget(this);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    auto* tableBar = new QHBoxLayout;
    tableBar->addWidget(m_tableColumns);
    tableBar->addStretch(1);
    buildExportControls(tableBar);
    topLayout->addLayout(tableBar);
    topLayout->addWidget(m_table, 1);

    auto* bottom = new QWidget(this);
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addWidget(buildTrendBar());
    bottomLayout->addWidget(m_chart, 1);
    bottomLayout->addWidget(m_pointer);
    bottomLayout->addWidget(m_note);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(top);
    splitter->addWidget(bottom);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    m_loader = new TrendLoader(this);
    connect(m_loader, &TrendLoader::progressed, this, &MeasurementsPage::showProgress);
    connect(m_loader, &TrendLoader::loaded, this, &MeasurementsPage::showLoaded);
    connect(m_loader, &TrendLoader::cancelled, this, &MeasurementsPage::showCancelled);
    m_exportJob = new CsvExportJob(this);
    connect(m_exportJob, &CsvExportJob::progressed, this, &MeasurementsPage::showProgress);
    connect(m_exportJob, &CsvExportJob::finished, this, &MeasurementsPage::showExported);

    connect(&station.latestAnswers(), &LatestAnswers::rowsUpdated, this,
            &MeasurementsPage::rowsUpdated);
    connect(&station, &Station::channelsReassigned, this, &MeasurementsPage::channelsReassigned);
    m_ageTimer.setInterval(kAgeRefreshMs);
    connect(&m_ageTimer, &QTimer::timeout, m_model, &LatestValuesModel::refreshAges);
    hideUnnamedRows();
}

MeasurementsPage::~MeasurementsPage() = default;

QWidget* MeasurementsPage::buildTrendBar()
{
    auto* bar = new QWidget(this);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    m_range = new QComboBox(bar);
    m_range->setObjectName(QStringLiteral("cmbTrendRange"));
    m_range->addItems({QStringLiteral("Последний час"), QStringLiteral("Последние сутки"),
                       QStringLiteral("Последняя неделя"), QStringLiteral("Последний месяц"),
                       QStringLiteral("За период")});
    m_range->setCurrentIndex(int(Range::LastDay));
    const QDate today = m_station.clock().now().date();
    m_first = new QDateEdit(today, bar);
    m_first->setObjectName(QStringLiteral("dtTrendFirst"));
    m_last = new QDateEdit(today, bar);
    m_last->setObjectName(QStringLiteral("dtTrendLast"));
    for (QDateEdit* edit : {m_first, m_last}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        edit->setEnabled(false);
        connect(edit, &QDateEdit::dateChanged, this, &MeasurementsPage::loadTrend);
    }
    connect(m_range, &QComboBox::currentIndexChanged, this, &MeasurementsPage::rangeChanged);
    m_trendColumns = new ColumnChooser(QStringLiteral("Величины тренда"),
                                       columnsTitled({u"Уровень S1, мм"}), bar);
    m_trendColumns->setObjectName(QStringLiteral("btnTrendColumns"));
    connect(m_trendColumns, &ColumnChooser::chosenChanged, this, &MeasurementsPage::loadTrend);
    m_refresh = button(QStringLiteral("btnTrendRefresh"), QStringLiteral("Обновить"), bar);
    connect(m_refresh, &QPushButton::clicked, this, &MeasurementsPage::loadTrend);
    m_progress = new QProgressBar(bar);
    m_progress->setObjectName(QStringLiteral("pbTrend"));
    m_progress->setMaximumWidth(120);
    m_progress->hide();
    m_cancel = button(QStringLiteral("btnTrendCancel"), QStringLiteral("Отмена"), bar);
    m_cancel->hide();
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        cancelTrend();
        m_exportJob->cancel();
    });
    layout->addWidget(new QLabel(QStringLiteral("Тренд:"), bar));
    layout->addWidget(m_range);
    layout->addWidget(m_first);
    layout->addWidget(new QLabel(QStringLiteral("—"), bar));
    layout->addWidget(m_last);
    layout->addWidget(m_trendColumns);
    layout->addWidget(m_refresh);
    layout->addWidget(m_progress);
    layout->addWidget(m_cancel);
    layout->addStretch(1);
    return bar;
}

void MeasurementsPage::buildExportControls(QHBoxLayout* bar)
{
    m_export = button(QStringLiteral("btnExportCsv"), QStringLiteral("Экспорт CSV..."), this);
    connect(m_export, &QPushButton::clicked, this, &MeasurementsPage::btnExportClick);
    m_exportChosen = new QCheckBox(QStringLiteral("только величины тренда"), this);
    m_exportChosen->setObjectName(QStringLiteral("chkExportChosen"));
    m_bom = new QCheckBox(QStringLiteral("BOM"), this);
    m_bom->setObjectName(QStringLiteral("chkExportBom"));
    m_bom->setToolTip(QStringLiteral("Метка порядка байтов UTF-8 для табличных программ"));
    m_exportStatus = new QLabel(this);
    m_exportStatus->setObjectName(QStringLiteral("lblExportStatus"));

    bar->addWidget(m_exportStatus);
    bar->addWidget(m_export);
    bar->addWidget(m_exportChosen);
    bar->addWidget(m_bom);
}

std::pair<QDateTime, QDateTime> MeasurementsPage::period(Range range, const QDateTime& now,
                                                         const QDate& first, const QDate& last)
{
    switch (range) {
    case Range::LastHour:
        return {now.addSecs(-3600), now};
    case Range::LastDay:
        return {now.addDays(-1), now};
    case Range::LastWeek:
        return {now.addDays(-7), now};
    case Range::LastMonth:
        return {now.addMonths(-1), now};
    case Range::Dates:
        break;
    }
    const QDate to = std::max(first, last);
    return {std::min(first, last).startOfDay(), to.endOfDay()};
}

std::pair<QDateTime, QDateTime> MeasurementsPage::chosenPeriod() const
{
    return period(Range(m_range->currentIndex()), m_station.clock().now(), m_first->date(),
                  m_last->date());
}

void MeasurementsPage::selectRow(int row)
{
    m_table->selectRow(row);
    m_table->setCurrentIndex(m_model->index(row, LatestValuesModel::Name));
}

void MeasurementsPage::setRange(Range range)
{
    m_range->setCurrentIndex(int(range));
}

void MeasurementsPage::setDates(const QDate& first, const QDate& last)
{
    const QSignalBlocker quietFirst(m_first);
    const QSignalBlocker quietLast(m_last);
    m_first->setDate(first);
    m_last->setDate(last);
    if (Range(m_range->currentIndex()) == Range::Dates)
        loadTrend();
}

void MeasurementsPage::setTrendColumns(const QList<int>& columns)
{
    m_trendColumns->setChosen(columns);
}

void MeasurementsPage::rangeChanged()
{
    const bool dates = Range(m_range->currentIndex()) == Range::Dates;
    m_first->setEnabled(dates);
    m_last->setEnabled(dates);
    loadTrend();
}

void MeasurementsPage::loadTrend()
{
    const QList<int> columns = m_trendColumns->chosen();
    if (m_trendRow < 0 || columns.isEmpty()) {
        m_loader->cancel();
        m_chart->clearTrend();
        m_note->setText(m_trendRow < 0 ? QStringLiteral("Выберите строку таблицы.")
                                       : QStringLiteral("Выберите величины тренда."));
        return;
    }
    const auto [from, to] = chosenPeriod();
    TrendRequest request;
    request.root = m_station.readArchiveFolder();
    request.channel = m_trendRow + 1;
    request.from = from;
    request.to = to;
    request.columns = columns;
    request.buckets = m_chart->plotColumns();
    m_trendFollowsNow = Range(m_range->currentIndex()) != Range::Dates;
    m_progress->setRange(0, 0);
    m_progress->show();
    m_cancel->show();
    m_note->setText(QStringLiteral("Чтение архива..."));
    m_loader->start(request);
}

void MeasurementsPage::cancelTrend()
{
    m_loader->cancel();
}

bool MeasurementsPage::isLoading() const
{
    return m_loader->isRunning();
}

void MeasurementsPage::showProgress(int done, int total)
{
    m_progress->setRange(0, std::max(total, 1));
    m_progress->setValue(done);
}

void MeasurementsPage::showLoaded(const TrendData& trend)
{
    m_progress->hide();
    m_cancel->setVisible(m_exportJob->isRunning());
    const auto [from, to] = chosenPeriod();
    // A period of whole days ends on the next midnight, not a millisecond before it.
    const QDateTime axisEnd = to.time() == QTime(23, 59, 59, 999) ? to.addMSecs(1) : to;
    m_chart->showTrend(m_trendColumns->chosen(), trend.series, from, axisEnd);
    m_lastX = to.toMSecsSinceEpoch();
    for (const QList<QPointF>& points : trend.series)
        if (!points.isEmpty())
            m_lastX = std::max(m_lastX, qint64(points.constLast().x()));
    const ScanSummary& s = trend.summary;
    QString note = QStringLiteral("%1: прочитано строк %2 за %3 из %4 дн.")
                       .arg(m_station.state().channels[size_t(m_trendRow)].name)
                       .arg(s.lines)
                       .arg(s.filesRead)
                       .arg(s.days);
    if (s.unreadableLines > 0)
        note += QStringLiteral(" Пропущено повреждённых или нечитаемых строк: %1.")
                    .arg(s.unreadableLines);
    if (s.missingDays > 0)
        note += QStringLiteral(" Нет архива за дн.: %1.").arg(s.missingDays);
    if (s.unopenedFiles > 0)
        note += QStringLiteral(" Не открылось файлов: %1.").arg(s.unopenedFiles);
    m_note->setText(note);
    emit trendLoaded();
}

void MeasurementsPage::showCancelled()
{
    m_progress->hide();
    m_cancel->setVisible(m_exportJob->isRunning());
    // A read replaced by a newer one is no cancel the operator asked for.
    if (m_loader->isRunning())
        return;
    m_note->setText(QStringLiteral("Чтение архива отменено."));
    emit trendCancelled();
}

QString MeasurementsPage::noteText() const
{
    return m_note->text();
}

void MeasurementsPage::rowsUpdated(const QList<int>& rows)
{
    if (!m_trendFollowsNow || !rows.contains(m_trendRow) || m_loader->isRunning())
        return;
    const LatestAnswers::Entry& entry = m_station.latestAnswers().entry(m_trendRow);
    if (!entry.measurement)
        return;
    const qint64 x = measurementTime(*entry.measurement);
    if (x <= m_lastX)
        return;
    m_lastX = x;
    QList<double> values;
    for (int column : m_chart->columns())
        values.append(entry.measurement->numbers[size_t(column)]);
    m_chart->appendPoint(x, values);
    if (m_chart->livePoints() > kMaxLivePoints)
        loadTrend();
}

void MeasurementsPage::channelsReassigned(const QList<int>& rows)
{
    m_model->refreshRows();
    hideUnnamedRows();
    if (rows.contains(m_trendRow))
        loadTrend();
}

void MeasurementsPage::hideUnnamedRows()
{
    for (int row = 0; row < kChannelCount; ++row)
        m_table->setRowHidden(row, m_station.state().channels[size_t(row)].name.isEmpty());
}

bool MeasurementsPage::exportTo(const QString& path)
{
    if (m_trendRow < 0)
        return false;
    const auto [from, to] = chosenPeriod();
    CsvRequest request;
    request.root = m_station.readArchiveFolder();
    request.channel = m_trendRow + 1;
    request.first = from.date();
    request.last = to.date();
    request.columns =
        m_exportChosen->isChecked() ? m_trendColumns->chosen() : ArchiveColumns::allButTime();
    request.byteOrderMark = m_bom->isChecked();
    if (request.columns.isEmpty() || !m_exportJob->start(path, request))
        return false;
    m_exportStatus->setText(QStringLiteral("Экспорт..."));
    m_cancel->show();
    return true;
}

void MeasurementsPage::btnExportClick()
{
    if (m_trendRow < 0 || m_exportJob->isRunning())
        return;
    if (!m_exportDialog) {
        m_exportDialog = new QFileDialog(this, QStringLiteral("Экспорт в CSV"));
        m_exportDialog->setAcceptMode(QFileDialog::AcceptSave);
        m_exportDialog->setNameFilter(QStringLiteral("CSV (*.csv)"));
        m_exportDialog->setDefaultSuffix(QStringLiteral("csv"));
        connect(m_exportDialog, &QFileDialog::fileSelected, this,
                [this](const QString& path) { exportTo(path); });
    }
    const auto [from, to] = chosenPeriod();
    m_exportDialog->selectFile(
        QStringLiteral("канал %1 %2 - %3.csv")
            .arg(m_trendRow + 1)
            .arg(from.date().toString(Qt::ISODate), to.date().toString(Qt::ISODate)));
    m_exportDialog->open();
}

void MeasurementsPage::showExported(const QString& path, const CsvResult& result)
{
    m_cancel->setVisible(m_loader->isRunning());
    if (!result.error.isEmpty())
        m_exportStatus->setText(QStringLiteral("Экспорт не выполнен: ") + result.error);
    else if (result.summary.unreadableLines > 0)
        m_exportStatus->setText(QStringLiteral("Экспорт готов, пропущено строк: %1")
                                    .arg(result.summary.unreadableLines));
    else
        m_exportStatus->setText(QStringLiteral("Экспорт готов"));
    m_exportStatus->setToolTip(path);
    emit exportFinished(path, result.error);
}

void MeasurementsPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_model->refreshAges();
    m_ageTimer.start();
    if (!m_shownOnce) {
        m_shownOnce = true;
        hideUnnamedRows();
        for (int row = 0; row < kChannelCount; ++row) {
            if (!m_table->isRowHidden(row)) {
                selectRow(row);
                break;
            }
        }
    }
}

void MeasurementsPage::hideEvent(QHideEvent* event)
{
    m_ageTimer.stop();
    QWidget::hideEvent(event);
}
