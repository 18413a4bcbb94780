#include "liveclient.h"

#include "answers/answerrecord.h"
#include "answers/answerstatustext.h"
#include "answers/measurementrecord.h"
#include "model/codepage1251.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kRetryMs = 1000;
constexpr qint64 kFailureReportMs = 30000; // a station that stays away is told this often
constexpr int kNameColumn = 0;
constexpr int kTimeColumn = 1;
// The station's record layout.
constexpr int kRowOffset = AnswerRecord::kRow;
constexpr int kSensorOffset = AnswerRecord::kSensorAddress;
constexpr int kStatusOffset = AnswerRecord::kStatus;
constexpr int kFullTimeOffset = AnswerRecord::kFullStamp;
constexpr int kFullNameOffset = AnswerRecord::kFullName;
constexpr int kShortTimeOffset = AnswerRecord::kShortStamp;
constexpr int kShortNameOffset = AnswerRecord::kShortName;
constexpr int kNameLength = AnswerRecord::kNameLength;

// A JSON string literal of text (keys keep their order, which QJsonObject would sort).
QByteArray quoted(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Numbers as JSON numbers; the name without its padding, the time as text.
QByteArray jsonValue(int column, const QString& text)
{
    if (column == kNameColumn)
        return quoted(QString(text).remove(QRegularExpression(QStringLiteral(" +$"))));
    static const QRegularExpression number(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    if (column == kTimeColumn || !number.match(text).hasMatch())
        return quoted(text);
    return text.toLatin1();
}

QString timeText(const QByteArray& b, int at)
{
    // second, minute, hour, day, month, year - 2000
    return QStringLiteral("%1.%2.%3 %4:%5:%6")
        .arg(quint8(b[at + 3]), 2, 10, QChar(u'0'))
        .arg(quint8(b[at + 4]), 2, 10, QChar(u'0'))
        .arg(2000 + quint8(b[at + 5]))
        .arg(quint8(b[at + 2]), 2, 10, QChar(u'0'))
        .arg(quint8(b[at + 1]), 2, 10, QChar(u'0'))
        .arg(quint8(b[at]), 2, 10, QChar(u'0'));
}
} // namespace

LiveClient::LiveClient(const Options& options, QObject* parent)
    : QObject(parent), m_options(options), m_socket(new QTcpSocket(this)), m_retry(new QTimer(this))
{
    m_retry->setSingleShot(true);
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &LiveClient::connectNow);
    connect(m_socket, &QTcpSocket::connected, this, &LiveClient::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &LiveClient::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &LiveClient::onGone);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            onGone();
    });
}

void LiveClient::start()
{
    connectNow();
}

void LiveClient::connectNow()
{
    m_socket->abort();
    m_splitter.reset();
    m_socket->connectToHost(m_options.host, m_options.port);
}

void LiveClient::onConnected()
{
    std::fprintf(stderr, "kx7r-live: connected to %s:%u\n", qPrintable(m_options.host),
                 unsigned(m_options.port));
    m_wasConnected = true;
    m_failedAttempts = 0;
    m_failureReported.invalidate();
    if (m_options.forward && !m_forwardSent) {
        m_socket->write(*m_options.forward);
        m_socket->flush();
        m_forwardSent = true;
        std::fprintf(stderr, "kx7r-live: forwarded request %s left\n",
                     m_options.forward->constData());
        if (m_options.count == 0) {
            // Give the station the text before the connection closes.
            QTimer::singleShot(200, this, [this] { emit finished(0); });
        }
    }
}

void LiveClient::onGone()
{
    if (m_retry->isActive())
        return;
    if (m_wasConnected) {
        std::fprintf(stderr, "kx7r-live: connection lost (%s), reconnecting\n",
                     qPrintable(m_socket->errorString()));
    } else {
        ++m_failedAttempts;
        if (!m_failureReported.isValid() || m_failureReported.hasExpired(kFailureReportMs)) {
            std::fprintf(stderr,
                         "kx7r-live: cannot connect to %s:%u (%s), %d attempt(s), retrying\n",
                         qPrintable(m_options.host), unsigned(m_options.port),
                         qPrintable(m_socket->errorString()), m_failedAttempts);
            m_failureReported.start();
        }
    }
    m_wasConnected = false;
    m_retry->start();
}

void LiveClient::onReadyRead()
{
    const QByteArray bytes = m_socket->readAll();
    for (const QByteArray& frame : m_splitter.feed(bytes)) {
        if (m_options.raw) {
            print(':' + frame);
            continue;
        }
        QString error;
        const QByteArray json = toJson(frame, &error);
        if (json.isEmpty()) {
            std::fprintf(stderr, "kx7r-live: frame dropped: %s\n", qPrintable(error));
            continue;
        }
        print(json);
    }
}

void LiveClient::print(const QByteArray& line)
{
    if (m_options.count >= 0 && m_printed >= m_options.count)
        return;
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    ++m_printed;
    if (m_options.count >= 0 && m_printed >= m_options.count)
        emit finished(0);
}

QByteArray LiveClient::toJson(const QByteArray& digits, QString* error)
{
    const auto bytes = FrameSplitter::decodeChecked(digits);
    if (!bytes) {
        *error = QStringLiteral("not a hex frame with a correct LRC");
        return {};
    }
    const qsizetype length = bytes->size() - 1;
    if (length != AnswerRecord::kFullLength && length != AnswerRecord::kShortLength) {
        *error = QStringLiteral("a record of %1 bytes").arg(length);
        return {};
    }
    const bool full = length == AnswerRecord::kFullLength;
    const QByteArray& b = *bytes;
    const int nameAt = full ? kFullNameOffset : kShortNameOffset;
    QString name = fromCp1251(b.mid(nameAt, kNameLength));
    while (name.endsWith(u' '))
        name.chop(1);

    QByteArray out = "{\"row\":" + QByteArray::number(quint8(b[kRowOffset]) + 1);
    out += ",\"name\":" + quoted(name);
    out += ",\"status\":" + QByteArray::number(quint8(b[kStatusOffset]));
    out += ",\"time\":" + quoted(timeText(b, full ? kFullTimeOffset : kShortTimeOffset));
    out += full ? ",\"kind\":\"measurement\"" : ",\"kind\":\"status\"";
    if (!full)
        out += ",\"statusText\":" +
               quoted(answerStatusText(quint8(b[kStatusOffset]), quint8(b[kSensorOffset])));
    if (full) {
        AnswerRecord record;
        std::copy_n(b.constData(), AnswerRecord::kFullLength, record.bytes.begin());
        const MeasurementRecord m = MeasurementRecord::fromAnswer(record, QStringLiteral("."));
        const QStringList& titles = MeasurementRecord::columnTitles();
        out += ",\"values\":{";
        for (int i = 0; i < MeasurementRecord::kColumnCount && i < titles.size(); ++i) {
            if (i > 0)
                out += ',';
            out += quoted(titles[i]) + ':' + jsonValue(i, m.columns[size_t(i)]);
        }
        out += '}';
    }
    out += '}';
    return out;
}
