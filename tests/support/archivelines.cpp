#include "archivelines.h"

#include "archive/archivewriter.h"

QByteArray archiveLine(const QByteArray& cp1251Name, const QByteArray& time,
                       const QList<QPair<int, QByteArray>>& values)
{
    QList<QByteArray> fields(29, QByteArrayLiteral("-"));
    fields[0] = cp1251Name;
    fields[1] = time;
    for (const auto& [column, text] : values)
        fields[column] = text;
    QByteArray line;
    for (const QByteArray& field : fields)
        line += field + '\t';
    return line + "\r\n";
}

QByteArray archiveHeader()
{
    return ArchiveWriter::headerLine();
}
