#include "historyprotocol.h"

#include "archivereader.h"
#include "historycodes.h"

#include "model/codepage1251.h"
#include "model/logcategories.h"
#include "model/settingsschema.h"
#include "model/settingsstore.h"
#include "model/stationstate.h"
#include "net/badinputlog.h"

#include <QFile>
#include <optional>
#include <utility>

namespace {
using HistoryCodes::lineEnd;
const QByteArray kNoLastStamp = "00000000000000";
constexpr int kStampLength = 14;

// Characters from position (1-based) on, at most count of them.
QByteArray field(const QByteArray& request, int position, int count)
{
    return request.mid(position - 1, count);
}

// A fixed-width field of decimal digits; a sign, a space, any other character
// or a field cut short is not a number.
std::optional<qint64> digits(const QByteArray& text, int count)
{
    if (text.size() != count)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool isStamp(const QString& stamp)
{
    return digits(stamp.toLatin1(), kStampLength).has_value();
}

QByteArray padded(qint64 value, int digitCount)
{
    return QByteArray::number(value).rightJustified(digitCount, '0');
}
} // namespace

HistoryProtocol::HistoryProtocol(StationState& state, const SettingsStore& settings,
                                 const ArchiveReader& reader)
    : m_state(state), m_settings(settings), m_reader(reader)
{
}

HistoryProtocol::~HistoryProtocol() = default;

HistoryProtocol::Answer HistoryProtocol::ServeRequest(QByteArray request, int row, bool sending)
{
    const qsizetype zero = request.indexOf('\0');
    if (zero >= 0)
        request.truncate(zero);
    const QByteArray code = field(request, 2, 2);
    Answer answer;
    if (code == HistoryCodes::select)
        answer.replies = select(request);
    else if (code == HistoryCodes::describe)
        answer.replies = describe(request);
    else if (code == HistoryCodes::fetch)
        answer = fetch(request, sending);
    else if (code == HistoryCodes::lastMeasure)
        answer.replies = HistoryCodes::start(HistoryCodes::lastMeasure) + lastMeasure() + lineEnd;
    else if (code == HistoryCodes::identify)
        answer.replies = identify(request, row);
    else
        m_badInput += u"request with an unknown code ignored: " + BadInputLog::quoted(request);
    answer.badInput = std::exchange(m_badInput, {});
    return answer;
}

QByteArray HistoryProtocol::lastMeasure() const
{
    return toCp1251(m_settings.readSetting(SettingsStore::rootKey(), SettingsSchema::lastMeasure));
}

QByteArray HistoryProtocol::identify(const QByteArray& request, int row)
{
    QByteArray id = field(request, 4, 3);
    if (id == "000") {
        int& seq = m_state.historyClientSeq;
        if (seq < 1 || seq >= kIdCount)
            seq = 1; // 000 is never handed out
        id = padded(seq, 3);
        seq = seq + 1 >= kIdCount ? 1 : seq + 1;
        qCInfo(lcArchive).noquote() << "history client gets the new ID" << id;
    }
    m_state.currentConnectionsForUpdate.setText(row, 0, fromCp1251(id));
    return HistoryCodes::start(HistoryCodes::identify) + id;
}

HistorySelection* HistoryProtocol::selectionOf(const QByteArray& request)
{
    const auto id = digits(field(request, 4, 3), 3);
    if (!id) {
        m_badInput += u"request with an ID that is no number 000..999 ignored: " +
                      BadInputLog::quoted(request);
        return nullptr;
    }
    return &m_selections[size_t(*id)];
}

QByteArray HistoryProtocol::select(const QByteArray& request)
{
    const QString first = fromCp1251(field(request, 7, kStampLength));
    QString last = fromCp1251(field(request, 21, kStampLength));
    if (last.toLatin1() == kNoLastStamp)
        last = fromCp1251(lastMeasure());
    // Equal stamps are answered before the ID is looked at.
    if (first == last)
        return HistoryCodes::start(HistoryCodes::select) + "00000" + lineEnd;
    HistorySelection* selection = selectionOf(request);
    if (!selection)
        return {};
    if (!isStamp(first) || !isStamp(last)) {
        // The earlier lists go all the same: a describe now finds nothing left.
        selection->clear();
        m_badInput += u"select with a stamp that is no date: nothing selected, " +
                      BadInputLog::quoted(field(request, 7, kStampLength)) + u' ' +
                      BadInputLog::quoted(field(request, 21, kStampLength));
        return {};
    }
    const int count = selection->select(m_reader, first, last);
    qCInfo(lcArchive).noquote() << "history select" << first << "to" << last << ":" << count
                                << "files";
    return HistoryCodes::start(HistoryCodes::select) + padded(count, 5) + lineEnd;
}

QByteArray HistoryProtocol::describe(const QByteArray& request)
{
    HistorySelection* selection = selectionOf(request);
    if (!selection)
        return {};
    if (!selection->isSelected())
        return HistoryCodes::refused;
    QByteArray replies;
    const auto index = digits(field(request, 7, 5), 5);
    if (!index)
        replies += HistoryCodes::refused;
    else if (*index + 1 == selection->size())
        selection->removeLast();
    if (selection->isEmpty())
        return replies + HistoryCodes::nothingLeft;
    const ArchivePlace place = selection->last();
    const QString path = selection->lastPath();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcArchive).noquote() << "history describe: cannot open" << path;
        return replies;
    }
    const qint64 size = file.size();
    selection->describedFile = path;
    selection->describedSize = size;
    const QByteArray channel = QByteArray::number(place.channel).rightJustified(2, ' ');
    return replies + HistoryCodes::start(HistoryCodes::describe) + channel +
           toCp1251(ArchiveReader::dateText(place)) + padded(size, 9);
}

HistoryProtocol::Answer HistoryProtocol::fetch(const QByteArray& request, bool sending)
{
    Answer answer;
    HistorySelection* selection = selectionOf(request);
    if (!selection || !selection->isSelected() || selection->isEmpty())
        return answer;
    if (sending) {
        m_badInput += QStringLiteral("fetch while a file is being sent ignored");
        return answer;
    }
    const QString path = selection->lastPath();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        qCWarning(lcArchive).noquote() << "history fetch: cannot open" << path;
        return answer;
    }
    // Exactly what the description announced; a line appended since then
    // goes with the next selection of that day.
    qint64 size = file->size();
    if (selection->describedFile == path && selection->describedSize >= 0) {
        if (selection->describedSize > size)
            qCWarning(lcArchive).noquote()
                << "history fetch:" << path << "shrank to" << size << "bytes since its description";
        size = qMin(size, selection->describedSize);
    }
    answer.file = std::move(file);
    answer.fileSize = size;
    return answer;
}
