#include "archivereader.h"

#include "monthnames.h"

#include "model/logcategories.h"
#include "model/settingsstore.h"
#include "model/stationlimits.h"

#include <QDir>
#include <QFileInfo>

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

int ArchiveReader::SelectArchiveFiles(const QString& first, const QString& last, QStringList& files,
                                      QStringList& dates) const
{
    if (!isDateStamp(first) || !isDateStamp(last)) {
        qCWarning(lcArchive).noquote()
            << "archive selection with a stamp that is no date:" << first << last;
        return 0;
    }
    const QString root =
        m_settings.readSetting(SettingsStore::rootKey(), QStringLiteral("HistoryFolder"));
    const QString separator = QDir::separator();
    const StampDate from = dateOf(first);
    const StampDate to = dateOf(last);
    int count = 0;
    for (int year = from.year; year <= to.year; ++year) {
        const QString yearFolder = root + separator + QString::number(year);
        if (!QFileInfo(yearFolder).isDir())
            continue;
        const int firstMonth = year == from.year ? from.month : 1;
        const int lastMonth = year == to.year ? to.month : 12;
        for (int month = firstMonth; month <= lastMonth; ++month) {
            const QString name = monthName(month);
            if (name.isEmpty())
                continue; // no folder for a month outside 1..12
            const QString monthFolder = yearFolder + separator + name;
            if (!QFileInfo(monthFolder).isDir())
                continue;
            const bool firstOfPeriod = year == from.year && month == from.month;
            const bool lastOfPeriod = year == to.year && month == to.month;
            const int firstDay = qMax(1, firstOfPeriod ? from.day : 1);
            const int lastDay = qMin(kLastDay, lastOfPeriod ? to.day : kLastDay);
            for (int day = firstDay; day <= lastDay; ++day) {
                const QString dayFolder = monthFolder + separator + QString::number(day);
                if (!QFileInfo(dayFolder).isDir())
                    continue;
                const QString date = twoDigits(day) + twoDigits(month) + QString::number(year);
                for (int n = 1; n <= kChannelCount; ++n) {
                    const QString file = dayFolder + separator +
                                         QStringLiteral("Измерения по каналу ") +
                                         QString::number(n) + QStringLiteral(".mes");
                    if (!QFileInfo::exists(file))
                        continue;
                    files.append(file);
                    dates.append(date);
                    ++count;
                }
            }
        }
    }
    return count;
}
