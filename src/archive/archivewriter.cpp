#include "archivewriter.h"

#include "archivepath.h"

#include "answers/measurementrecord.h"

#include "model/archivecounters.h"
#include "model/codepage1251.h"
#include "model/logcategories.h"
#include "model/settingsschema.h"
#include "model/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QHash>

namespace {
QByteArray tabbedLine(const QStringList& texts)
{
    QByteArray line;
    for (const QString& text : texts) {
        line += text.isEmpty() ? QByteArrayLiteral("-") : toCp1251(text);
        line += '\t';
    }
    line += "\r\n";
    return line;
}
} // namespace

ArchiveWriter::ArchiveWriter(const SettingsStore& settings, QObject* parent)
    : QObject(parent), m_settings(settings)
{
}

QByteArray ArchiveWriter::headerLine()
{
    return tabbedLine(MeasurementRecord::columnTitles());
}

QByteArray ArchiveWriter::dataLine(const MeasurementRecord& record)
{
    return tabbedLine(QStringList(record.columns.begin(), record.columns.end()));
}

void ArchiveWriter::AppendToArchive(const MeasurementRecord& record)
{
    AppendToArchive(QList<MeasurementRecord>{record});
}

void ArchiveWriter::AppendToArchive(const QList<MeasurementRecord>& records)
{
    QList<FileLines> files;
    QHash<QString, qsizetype> byPath;
    for (const MeasurementRecord& record : records) {
        if (ArchivePath::monthName(int(record.month)).isEmpty()) {
            qCWarning(lcArchive) << "measurement of row" << record.row + 1 << "has no month ("
                                 << record.month << "): not archived";
            continue;
        }
        // Read for every measurement: a new folder counts from the next one on.
        const QString root =
            m_settings.readSetting(SettingsStore::rootKey(), SettingsSchema::historyFolder);
        const QString folder =
            ArchivePath::dayFolder(root, int(record.year), int(record.month), int(record.day));
        const QString path = ArchivePath::filePath(folder, record.row + 1);
        auto found = byPath.constFind(path);
        if (found == byPath.constEnd()) {
            found = byPath.insert(path, files.size());
            files.append(FileLines{folder, path, {}, 0});
        }
        FileLines& file = files[found.value()];
        file.lines += dataLine(record);
        ++file.count;
    }
    for (const FileLines& file : files)
        appendLines(file);
}

void ArchiveWriter::count(quint64 ArchiveCounters::*counter, int lines)
{
    if (m_counters)
        m_counters->*counter += quint64(lines);
}

void ArchiveWriter::appendLines(const FileLines& batch)
{
    if (!QDir(batch.folder).exists() && !QDir().mkpath(batch.folder)) {
        count(&ArchiveCounters::folderFailures, batch.count);
        for (int i = 0; i < batch.count; ++i)
            emit folderCreationFailed(batch.folder);
        return;
    }
    QFile file(batch.path);
    const bool created = !file.exists();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        qCWarning(lcArchive).noquote()
            << "cannot" << (created ? "create" : "open") << file.fileName() << ":"
            << file.errorString() << "-" << batch.count << "measurement(s) lost";
        count(&ArchiveCounters::writeFailures, batch.count);
        return;
    }
    // One write for all lines, so a reader never sees half a line.
    const QByteArray bytes = created ? headerLine() + batch.lines : batch.lines;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        qCWarning(lcArchive).noquote()
            << "cannot write" << file.fileName() << ":" << file.errorString();
        count(&ArchiveCounters::writeFailures, batch.count);
        return;
    }
    count(&ArchiveCounters::linesWritten, batch.count);
}
