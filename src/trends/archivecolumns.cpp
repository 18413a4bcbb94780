#include "archivecolumns.h"

#include "archiveline.h"

#include "answers/measurementrecord.h"

#include <algorithm>

int ArchiveColumns::indexOf(const QString& title)
{
    return int(MeasurementRecord::columnTitles().indexOf(title));
}

QString ArchiveColumns::title(int column)
{
    return MeasurementRecord::columnTitles().value(column);
}

std::optional<QList<int>> ArchiveColumns::parseList(const QString& text, QString* unknown)
{
    QList<int> columns;
    const QStringList titles = text.split(u';', Qt::SkipEmptyParts);
    for (const QString& item : titles) {
        const QString wanted = item.trimmed();
        if (wanted.isEmpty())
            continue;
        const int column = indexOf(wanted);
        if (column < 0) {
            if (unknown)
                *unknown = wanted;
            return std::nullopt;
        }
        if (column != ArchiveLine::kTimeColumn && !columns.contains(column))
            columns.append(column);
    }
    std::sort(columns.begin(), columns.end());
    return columns;
}

QList<int> ArchiveColumns::allButTime()
{
    QList<int> columns;
    for (int c = 0; c < ArchiveLine::kColumnCount; ++c)
        if (c != ArchiveLine::kTimeColumn)
            columns.append(c);
    return columns;
}

bool ArchiveColumns::isNumber(int column)
{
    return column >= ArchiveLine::kFirstNumberColumn && column < ArchiveLine::kColumnCount;
}

QString ArchiveColumns::unitOf(int column)
{
    const QString name = title(column);
    const qsizetype comma = name.lastIndexOf(QStringLiteral(", "));
    if (comma >= 0)
        return name.sliced(comma + 2);
    // T1..T6 (Latin T) and ТД (Cyrillic) are temperatures.
    if ((name.size() == 2 && name.startsWith(u'T')) || name == QStringLiteral("ТД"))
        return QStringLiteral("°C");
    return name;
}
