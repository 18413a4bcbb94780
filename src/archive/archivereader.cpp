#include "archivereader.h"

#include "archivepath.h"
#include "monthnames.h"

#include "model/logcategories.h"
#include "model/settingsschema.h"
#include "model/settingsstore.h"
#include "model/stationlimits.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {
constexpr int kLastDay = 31; // day folders are 1..31; no other is ever written

struct StampDate {
    int day = 0;
    int month = 0;
    int year = 0;
};

StampDate dateOf(const QString& stamp)
{
    return {stamp.first(2).toInt(), stamp.sliced(2, 2).toInt(), stamp.sliced(4, 4).toInt()};
}

QString twoDigits(int value)
{
    return QString::number(value).rightJustified(2, u'0');
}

// The months and days the walk visits, the same forwards and backwards.
struct Period {
    StampDate from;
    StampDate to;

    int firstMonth(int year) const { return year == from.year ? from.month : 1; }
    int lastMonth(int year) const { return year == to.year ? to.month : 12; }
    int firstDay(int year, int month) const
    {
        return qMax(1, year == from.year && month == from.month ? from.day : 1);
    }
    int lastDay(int year, int month) const
    {
        return qMin(kLastDay, year == to.year && month == to.month ? to.day : kLastDay);
    }
};

QString monthFolder(const QString& root, int year, int month)
{
    return ArchivePath::monthFolder(root, year, month);
}

QString dayFolder(const QString& root, int year, int month, int day)
{
    return ArchivePath::dayFolder(root, year, month, day);
}

QString channelFile(const QString& folder, int channel)
{
    return ArchivePath::filePath(folder, channel);
}

bool isDir(const QString& path)
{
    return QFileInfo(path).isDir();
}

// The year folders of the archive within first..last, ascending: a listing
// instead of one test per year of a period that may span thousands.
QList<int> yearsOf(const QString& root, int first, int last)
{
    QList<int> years;
    const QStringList names =
        QDir(root + QDir::separator()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool ok = false;
        const int year = name.toInt(&ok);
        if (ok && year >= first && year <= last && name == QString::number(year))
            years.append(year);
    }
    std::sort(years.begin(), years.end());
    return years;
}

bool isMonthDir(const QString& root, int year, int month)
{
    return !monthName(month).isEmpty() && isDir(monthFolder(root, year, month));
}
} // namespace

ArchiveReader::ArchiveReader(const SettingsStore& settings) : m_settings(settings) {}

bool ArchiveReader::isDateStamp(const QString& stamp)
{
    if (stamp.size() < 8)
        return false;
    for (int i = 0; i < 8; ++i)
        if (stamp[i] < u'0' || stamp[i] > u'9')
            return false;
    return true;
}

QString ArchiveReader::root() const
{
    return m_settings.readSetting(SettingsStore::rootKey(), SettingsSchema::historyFolder);
}

QString ArchiveReader::filePath(const QString& root, const ArchivePlace& place)
{
    return channelFile(dayFolder(root, place.year, place.month, place.day), place.channel);
}

QString ArchiveReader::dateText(const ArchivePlace& place)
{
    return twoDigits(place.day) + twoDigits(place.month) + QString::number(place.year);
}

int ArchiveReader::SelectArchiveFiles(const QString& first, const QString& last, QStringList& files,
                                      QStringList& dates) const
{
    return walkArchiveFiles(root(), first, last,
                            [&](const ArchivePlace& place, const QString& path) {
                                files.append(path);
                                dates.append(dateText(place));
                            });
}

int ArchiveReader::walkArchiveFiles(const QString& folder, const QString& first,
                                    const QString& last, const Visit& visit)
{
    if (!isDateStamp(first) || !isDateStamp(last)) {
        qCWarning(lcArchive).noquote()
            << "archive selection with a stamp that is no date:" << first << last;
        return 0;
    }
    const Period period{dateOf(first), dateOf(last)};
    int count = 0;
    for (const int year : yearsOf(folder, period.from.year, period.to.year)) {
        for (int month = period.firstMonth(year); month <= period.lastMonth(year); ++month) {
            if (!isMonthDir(folder, year, month))
                continue;
            for (int day = period.firstDay(year, month); day <= period.lastDay(year, month);
                 ++day) {
                const QString days = dayFolder(folder, year, month, day);
                if (!isDir(days))
                    continue;
                for (int n = 1; n <= kChannelCount; ++n) {
                    const QString file = channelFile(days, n);
                    if (!QFileInfo::exists(file))
                        continue;
                    visit(ArchivePlace{year, month, day, n}, file);
                    ++count;
                }
            }
        }
    }
    return count;
}

std::optional<ArchivePlace>
ArchiveReader::previousArchiveFile(const QString& first, const QString& last,
                                   const std::optional<ArchivePlace>& before) const
{
    if (!isDateStamp(first) || !isDateStamp(last))
        return std::nullopt;
    const QString folder = root();
    const Period period{dateOf(first), dateOf(last)};
    const int lastYear = before ? qMin(before->year, period.to.year) : period.to.year;
    const QList<int> years = yearsOf(folder, period.from.year, lastYear);
    for (auto y = years.crbegin(); y != years.crend(); ++y) {
        const int year = *y;
        const bool beforeYear = before && year == before->year;
        int lastMonth = period.lastMonth(year);
        if (beforeYear)
            lastMonth = qMin(lastMonth, before->month);
        for (int month = lastMonth; month >= period.firstMonth(year); --month) {
            if (!isMonthDir(folder, year, month))
                continue;
            const bool beforeMonth = beforeYear && month == before->month;
            int lastDay = period.lastDay(year, month);
            if (beforeMonth)
                lastDay = qMin(lastDay, before->day);
            for (int day = lastDay; day >= period.firstDay(year, month); --day) {
                const QString days = dayFolder(folder, year, month, day);
                if (!isDir(days))
                    continue;
                const bool beforeDay = beforeMonth && day == before->day;
                for (int n = beforeDay ? before->channel - 1 : kChannelCount; n >= 1; --n)
                    if (QFileInfo::exists(channelFile(days, n)))
                        return ArchivePlace{year, month, day, n};
            }
        }
    }
    return std::nullopt;
}
