#include "historymirror.h"

#include "archive/archivepath.h"
#include "archive/historycodes.h"

#include "model/codepage1251.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

namespace {
constexpr int kReplyTimeoutMs = 10000;
constexpr int kRetryMs = 1000;
constexpr int kMaxAttempts = 5;
constexpr int kSettleMs = 150;        // quiet time after a file that shows it did not grow
constexpr int kNoAcknowledge = 99999; // an index that matches no selection
constexpr qint64 kMaxFileSize = qint64(1) << 31;
using HistoryCodes::lineEnd;
const QString kFirstEver = QStringLiteral("01012000000000");
const QString kToLast = QStringLiteral("00000000000000");

void note(const QString& text)
{
    std::fprintf(stderr, "kx7r-history: %s\n", text.toLocal8Bit().constData());
}

bool allDigits(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}
} // namespace

HistoryMirror::HistoryMirror(const QString& host, quint16 port, const QString& outDir,
                             QObject* parent)
    : QObject(parent), m_host(host), m_port(port), m_outDir(outDir), m_socket(new QTcpSocket(this)),
      m_replyTimer(new QTimer(this)), m_settleTimer(new QTimer(this)),
      m_retryTimer(new QTimer(this))
{
    m_replyTimer->setSingleShot(true);
    m_replyTimer->setInterval(kReplyTimeoutMs);
    m_settleTimer->setSingleShot(true);
    m_settleTimer->setInterval(kSettleMs);
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(kRetryMs);
    connect(m_replyTimer, &QTimer::timeout, this, [this] {
        onBroken(QStringLiteral("no answer within %1 s").arg(kReplyTimeoutMs / 1000));
    });
    connect(m_settleTimer, &QTimer::timeout, this, &HistoryMirror::handle);
    connect(m_retryTimer, &QTimer::timeout, this, &HistoryMirror::connectNow);
    connect(m_socket, &QTcpSocket::connected, this, &HistoryMirror::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &HistoryMirror::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        // The service takes one client at a time and closes any other at once.
        if (m_step == Step::Identify && m_buffer.isEmpty())
            onBroken(QStringLiteral("the station closed the connection at once: its history "
                                    "service is busy with another client"));
        else
            onBroken(QStringLiteral("the station closed the connection"));
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            onBroken(m_socket->errorString());
    });
}

HistoryMirror::~HistoryMirror() = default;

void HistoryMirror::start()
{
    // The folder is made once the station answers, so a failed run leaves none.
    if (!loadState())
        return;
    connectNow();
}

bool HistoryMirror::loadState()
{
    QFile file(QDir(m_outDir).filePath(stateFileName()));
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        finish(LocalFailure, QStringLiteral("cannot read %1").arg(file.fileName()));
        return false;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray value = line.mid(line.indexOf('=') + 1).trimmed();
        if (line.startsWith("id=") && value.size() == 3 && allDigits(value))
            m_id = QString::fromLatin1(value);
        else if (line.startsWith("stamp=") && value.size() == 14 && allDigits(value))
            m_stamp = QString::fromLatin1(value);
    }
    return true;
}

bool HistoryMirror::saveState()
{
    QSaveFile file(QDir(m_outDir).filePath(stateFileName()));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("id=" + m_id.toLatin1() + "\nstamp=" + m_stamp.toLatin1() + '\n');
    return file.commit();
}

void HistoryMirror::connectNow()
{
    ++m_attempts;
    m_buffer.clear();
    m_step = Step::Idle;
    m_socket->abort();
    m_socket->connectToHost(m_host, m_port);
    m_replyTimer->start();
}

void HistoryMirror::onConnected()
{
    m_replyTimer->stop();
    if (!QDir().mkpath(m_outDir)) {
        finish(LocalFailure, QStringLiteral("cannot create %1").arg(m_outDir));
        return;
    }
    m_reselected = false;
    send(Step::Identify, HistoryCodes::start(HistoryCodes::identify) + m_id.toLatin1());
}

void HistoryMirror::onBroken(const QString& why)
{
    if (m_finished || m_retryTimer->isActive())
        return;
    m_replyTimer->stop();
    m_settleTimer->stop();
    m_file.reset(); // an unfinished file is discarded, never half written
    if (m_step == Step::Idle && m_attempts == 1 &&
        m_socket->state() != QAbstractSocket::ConnectedState && m_filesWritten == 0 &&
        m_lastMeasure.isEmpty()) {
        // Never got through at all: say so at once.
        finish(Unreachable, QStringLiteral("cannot reach the station at %1:%2: %3")
                                .arg(m_host)
                                .arg(m_port)
                                .arg(why));
        return;
    }
    if (m_attempts >= kMaxAttempts) {
        finish(Unreachable,
               QStringLiteral("giving up after %1 attempts: %2").arg(m_attempts).arg(why));
        return;
    }
    note(QStringLiteral("%1; resuming in %2 s").arg(why).arg(kRetryMs / 1000));
    m_step = Step::Idle;
    m_socket->abort();
    m_retryTimer->start();
}

void HistoryMirror::send(Step step, const QByteArray& request)
{
    m_step = step;
    m_buffer.clear();
    m_socket->write(request);
    m_replyTimer->start();
}

void HistoryMirror::onReadyRead()
{
    m_buffer += m_socket->readAll();
    if (m_step == Step::Fetch || m_step == Step::Settle) {
        handleFetchBytes();
        return;
    }
    handle();
}

void HistoryMirror::describe(int acknowledgeIndex)
{
    send(Step::Describe, HistoryCodes::start(HistoryCodes::describe) + m_id.toLatin1() +
                             QByteArray::number(acknowledgeIndex).rightJustified(5, '0'));
}

void HistoryMirror::handle()
{
    switch (m_step) {
    case Step::Idle:
    case Step::Fetch:
        if (!m_buffer.isEmpty())
            protocolError(QStringLiteral("bytes nobody asked for"));
        return;
    case Step::Identify: {
        if (m_buffer.size() < 6)
            return;
        const QByteArray id = m_buffer.mid(3, 3);
        if (!m_buffer.startsWith(HistoryCodes::start(HistoryCodes::identify)) ||
            m_buffer.size() > 6 || !allDigits(id)) {
            protocolError(QStringLiteral("identify reply ") + QString::fromLatin1(m_buffer));
            return;
        }
        m_replyTimer->stop();
        if (m_id != QString::fromLatin1(id)) {
            m_id = QString::fromLatin1(id);
            if (!saveState()) {
                finish(LocalFailure, QStringLiteral("cannot write the state file"));
                return;
            }
            note(QStringLiteral("identified as %1").arg(m_id));
        }
        send(Step::Last, HistoryCodes::start(HistoryCodes::lastMeasure));
        return;
    }
    case Step::Last: {
        if (!m_buffer.endsWith(lineEnd))
            return;
        const QByteArray stamp = m_buffer.mid(3, m_buffer.size() - 5);
        if (!m_buffer.startsWith(HistoryCodes::start(HistoryCodes::lastMeasure)) ||
            !(stamp.isEmpty() || (stamp.size() == 14 && allDigits(stamp)))) {
            protocolError(QStringLiteral("last-measurement reply ") +
                          QString::fromLatin1(m_buffer));
            return;
        }
        m_replyTimer->stop();
        m_lastMeasure = QString::fromLatin1(stamp);
        if (m_lastMeasure.isEmpty()) {
            finish(Done, QStringLiteral("the station has no measurement yet"));
            return;
        }
        const QString first = m_stamp.isEmpty() ? kFirstEver : m_stamp;
        send(Step::Select, HistoryCodes::start(HistoryCodes::select) + m_id.toLatin1() +
                               first.toLatin1() + kToLast.toLatin1());
        return;
    }
    case Step::Select: {
        if (!m_buffer.endsWith(lineEnd))
            return;
        const QByteArray count = m_buffer.mid(3, m_buffer.size() - 5);
        if (!m_buffer.startsWith(HistoryCodes::start(HistoryCodes::select)) || count.size() < 5 ||
            !allDigits(count)) {
            protocolError(QStringLiteral("select reply ") + QString::fromLatin1(m_buffer));
            return;
        }
        m_replyTimer->stop();
        m_remaining = count.toInt();
        if (m_selected == 0)
            m_selected = m_remaining;
        if (m_remaining == 0) {
            m_stamp = m_lastMeasure;
            finish(saveState() ? Done : LocalFailure, QStringLiteral("up to date"));
            return;
        }
        note(QStringLiteral("%1 files selected since %2")
                 .arg(m_remaining)
                 .arg(m_stamp.isEmpty() ? QStringLiteral("the beginning") : m_stamp));
        describe(kNoAcknowledge);
        return;
    }
    case Step::Describe: {
        if (m_buffer.size() < 7)
            return;
        if (!m_buffer.startsWith(HistoryCodes::start(HistoryCodes::describe))) {
            protocolError(QStringLiteral("describe reply ") + QString::fromLatin1(m_buffer));
            return;
        }
        const QByteArray channelField = m_buffer.mid(3, 2);
        if (channelField == "00" || channelField == "99") {
            if (m_buffer.size() < 7)
                return;
            if (m_buffer.mid(5) != lineEnd) {
                protocolError(QStringLiteral("describe reply ") + QString::fromLatin1(m_buffer));
                return;
            }
            m_replyTimer->stop();
            if (channelField == "99") {
                // The station lost our selection (restarted): select once more.
                if (m_reselected) {
                    protocolError(QStringLiteral("describe refused after a fresh select"));
                    return;
                }
                m_reselected = true;
                const QString first = m_stamp.isEmpty() ? kFirstEver : m_stamp;
                send(Step::Select, HistoryCodes::start(HistoryCodes::select) + m_id.toLatin1() +
                                       first.toLatin1() + kToLast.toLatin1());
                return;
            }
            m_stamp = m_lastMeasure;
            if (!saveState()) {
                finish(LocalFailure, QStringLiteral("cannot write the state file"));
                return;
            }
            finish(Done, QStringLiteral("%1 files written, %2 unchanged, %3 bytes")
                             .arg(m_filesWritten)
                             .arg(m_filesUnchanged)
                             .arg(m_bytes));
            return;
        }
        if (m_buffer.size() < 22)
            return;
        const QByteArray date = m_buffer.mid(5, 8);
        const QByteArray size = m_buffer.mid(13);
        const int channel = channelField.trimmed().toInt();
        m_relativePath = ArchivePath::relativePath(QString::fromLatin1(date), channel);
        if (!allDigits(channelField.trimmed()) || !allDigits(date) || !allDigits(size) ||
            m_relativePath.isEmpty() || size.toLongLong() > kMaxFileSize) {
            protocolError(QStringLiteral("describe reply ") + QString::fromLatin1(m_buffer));
            return;
        }
        m_replyTimer->stop();
        m_size = size.toLongLong();
        const QString target = QDir(m_outDir).filePath(m_relativePath);
        if (QFileInfo(target).exists() && QFileInfo(target).size() == m_size) {
            // Archive files only grow: the same size is the same file.
            ++m_filesUnchanged;
            note(QStringLiteral("[%1 left] %2 unchanged").arg(m_remaining - 1).arg(m_relativePath));
            describe(--m_remaining);
            return;
        }
        if (!QDir().mkpath(QFileInfo(target).absolutePath())) {
            finish(LocalFailure, QStringLiteral("cannot create the folder of %1").arg(target));
            return;
        }
        m_file = std::make_unique<QSaveFile>(target);
        if (!m_file->open(QIODevice::WriteOnly)) {
            finish(LocalFailure, QStringLiteral("cannot write %1").arg(target));
            return;
        }
        m_received = 0;
        send(Step::Fetch, HistoryCodes::start(HistoryCodes::fetch) + m_id.toLatin1());
        handleFetchBytes();
        return;
    }
    case Step::Settle: {
        if (!m_buffer.isEmpty()) {
            // The station appended to the file between describe and fetch.
            note(QStringLiteral("%1 grew during the transfer; fetching it again")
                     .arg(m_relativePath));
            m_file.reset();
            describe(kNoAcknowledge);
            return;
        }
        if (!m_file->commit()) {
            finish(LocalFailure, QStringLiteral("cannot write %1").arg(m_file->fileName()));
            return;
        }
        m_file.reset();
        ++m_filesWritten;
        m_bytes += m_size;
        note(QStringLiteral("[%1 left] %2 %3 bytes (%4 files, %5 bytes so far)")
                 .arg(m_remaining - 1)
                 .arg(m_relativePath)
                 .arg(m_size)
                 .arg(m_filesWritten)
                 .arg(m_bytes));
        describe(--m_remaining);
        return;
    }
    }
}

void HistoryMirror::handleFetchBytes()
{
    if (m_step == Step::Settle) {
        return; // anything arriving now is judged when the quiet time is over
    }
    const qint64 take = qMin<qint64>(m_buffer.size(), m_size - m_received);
    if (take > 0) {
        if (m_file->write(m_buffer.constData(), take) != take) {
            finish(LocalFailure, QStringLiteral("cannot write %1").arg(m_file->fileName()));
            return;
        }
        m_received += take;
        m_buffer.remove(0, take);
        m_replyTimer->start(); // progress keeps the transfer alive
    }
    if (m_received < m_size)
        return;
    m_replyTimer->stop();
    m_step = Step::Settle;
    m_settleTimer->start();
}

void HistoryMirror::protocolError(const QString& what)
{
    finish(OutOfProtocol, QStringLiteral("the station answered out of protocol: %1").arg(what));
}

void HistoryMirror::finish(int code, const QString& message)
{
    if (m_finished)
        return;
    m_finished = true;
    m_replyTimer->stop();
    m_settleTimer->stop();
    m_retryTimer->stop();
    m_file.reset();
    note(message);
    m_socket->abort();
    emit finished(code);
}
