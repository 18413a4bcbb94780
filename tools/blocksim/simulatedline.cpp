#include "simulatedline.h"

#include "answerbuilder.h"
#include "pseudoterminal.h"

#include "serial/hexframe.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int kAnswerDelayMs = 30;
constexpr int kSplitDelayMs = 1300; // beyond one receive tick of the station
constexpr int kBlockVersion = 4;
constexpr int kWriteSpins = 5; // of 10 ms

QString faultName(Scenario::Fault fault)
{
    switch (fault) {
    case Scenario::Fault::Silent:
        return QStringLiteral("silent");
    case Scenario::Fault::BadLrc:
        return QStringLiteral("badlrc");
    case Scenario::Fault::Lowercase:
        return QStringLiteral("lowercase");
    case Scenario::Fault::Split:
        return QStringLiteral("split");
    case Scenario::Fault::Noise:
        return QStringLiteral("noise");
    }
    return {};
}
} // namespace

SimulatedLine::SimulatedLine(const Scenario::Line& line, const QString& linkDir, quint32 seed,
                             const QElapsedTimer& started, QObject* parent)
    : QObject(parent), m_line(line), m_started(started), m_random(seed), m_seed(seed)
{
    if (m_line.device.isEmpty())
        m_linkPath = QDir(linkDir).filePath(QStringLiteral("COM%1").arg(m_line.number));
}

SimulatedLine::~SimulatedLine()
{
    closeEndpoint();
}

void SimulatedLine::log(const QString& text)
{
    const QByteArray line =
        (QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz ")) + text + u'\n').toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

QString SimulatedLine::stationPath() const
{
    return m_line.device.isEmpty() ? m_linkPath : m_line.device;
}

bool SimulatedLine::open(QString* error)
{
    if (!openEndpoint(error))
        return false;
    for (const Scenario::Block& block : m_line.blocks) {
        if (block.activeSeconds <= 0)
            continue;
        auto* timer = new QTimer(this);
        timer->setInterval(block.activeSeconds * 1000);
        const int address = block.address;
        connect(timer, &QTimer::timeout, this, [this, address] {
            for (const Scenario::Block& b : m_line.blocks)
                if (b.address == address)
                    sendActive(b);
        });
        timer->start();
        m_activeTimers.append(timer);
    }
    if (m_line.vanish)
        scheduleVanish(m_line.vanish->startSeconds);
    return true;
}

void SimulatedLine::scheduleVanish(int delaySeconds)
{
    QTimer::singleShot(delaySeconds * 1000, this, [this] {
        vanish();
        QTimer::singleShot(m_line.vanish->durationSeconds * 1000, this, [this] {
            reappear();
            if (m_line.vanish->periodSeconds > 0)
                scheduleVanish(
                    qMax(1, m_line.vanish->periodSeconds - m_line.vanish->durationSeconds));
        });
    });
}

bool SimulatedLine::openEndpoint(QString* error)
{
    if (!m_line.device.isEmpty()) {
        m_fd = ::open(m_line.device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0) {
            if (error)
                *error = QStringLiteral("cannot open %1: %2")
                             .arg(m_line.device, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        termios raw = {};
        if (::tcgetattr(m_fd, &raw) == 0) {
            cfmakeraw(&raw);
            cfsetspeed(&raw, B9600);
            ::tcsetattr(m_fd, TCSANOW, &raw);
        }
        m_ownDevice = true;
    } else {
        m_pty = std::make_unique<PseudoTerminal>();
        if (!m_pty->isValid()) {
            m_pty.reset();
            if (error)
                *error = QStringLiteral("cannot create a pseudo-terminal for line %1")
                             .arg(m_line.number);
            return false;
        }
        m_fd = m_pty->masterFd();
        m_slavePath = m_pty->slavePath();
        QFile::remove(m_linkPath);
        if (!QFile::link(m_slavePath, m_linkPath)) {
            if (error)
                *error = QStringLiteral("cannot create the link %1").arg(m_linkPath);
            closeEndpoint();
            return false;
        }
    }
    m_splitter.reset();
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SimulatedLine::onReadable);
    log(QStringLiteral("line %1 ready at %2%3")
            .arg(m_line.number)
            .arg(stationPath(), m_slavePath.isEmpty() ? QString() : u" -> " + m_slavePath));
    return true;
}

void SimulatedLine::closeEndpoint()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_pty) {
        m_pty.reset();
        QFile::remove(m_linkPath);
    } else if (m_ownDevice && m_fd >= 0) {
        ::close(m_fd);
    }
    m_ownDevice = false;
    m_fd = -1;
}

void SimulatedLine::vanish()
{
    if (!isPresent() || !m_line.device.isEmpty())
        return;
    closeEndpoint();
    log(QStringLiteral("line %1 vanished").arg(m_line.number));
}

void SimulatedLine::reappear()
{
    if (isPresent())
        return;
    QString error;
    if (!openEndpoint(&error))
        log(QStringLiteral("line %1 cannot come back: %2").arg(m_line.number).arg(error));
}

void SimulatedLine::onReadable()
{
    if (m_fd < 0)
        return;
    QByteArray bytes;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // The other side hung up; the line stays ours, so ignore until data comes again.
            if (bytes.isEmpty() && m_notifier) {
                m_notifier->setEnabled(false);
                QTimer::singleShot(50, this, [this] {
                    if (m_notifier)
                        m_notifier->setEnabled(true);
                });
            }
        }
        break;
    }
    for (const QByteArray& frame : m_splitter.feed(bytes))
        handleFrame(frame);
}

void SimulatedLine::handleFrame(const QByteArray& digits)
{
    const QString frameText = u':' + QString::fromLatin1(digits);
    const auto bytes = FrameSplitter::decodeChecked(digits);
    if (!bytes) {
        log(QStringLiteral("line %1 rx %2 # bad frame").arg(m_line.number).arg(frameText));
        return;
    }
    const auto address = quint8(bytes->at(0));
    const quint8 code = bytes->size() > 1 ? quint8(bytes->at(1)) : 0;
    if (code == HexFrame::kForwardedCode && bytes->size() == 5) {
        const auto channel = quint8(bytes->at(2));
        const auto argument = quint8(bytes->at(3));
        log(QStringLiteral("line %1 rx %2 # forwarded block %3 channel %4 argument %5")
                .arg(m_line.number)
                .arg(frameText)
                .arg(address)
                .arg(channel)
                .arg(argument));
        for (const Scenario::Block& block : m_line.blocks) {
            if (block.address != address || silenced(block))
                continue;
            QByteArray echo = bytes->first(4);
            echo.append(char(HexFrame::lrc(echo)));
            transmit(echo, nullptr, QStringLiteral("forward accepted"));
        }
        return;
    }
    if (code != HexFrame::kRequestCode || bytes->size() != 4) {
        log(QStringLiteral("line %1 rx %2 # not a request").arg(m_line.number).arg(frameText));
        return;
    }
    const auto channelNumber = quint8(bytes->at(2));
    log(QStringLiteral("line %1 rx %2 # request block %3 channel %4")
            .arg(m_line.number)
            .arg(frameText)
            .arg(address)
            .arg(channelNumber));
    for (const Scenario::Block& block : m_line.blocks) {
        if (block.address != address)
            continue;
        if (silenced(block))
            return;
        const int blockAddress = block.address;
        QTimer::singleShot(kAnswerDelayMs, this, [this, blockAddress, channelNumber] {
            for (const Scenario::Block& b : m_line.blocks) {
                if (b.address != blockAddress)
                    continue;
                for (const Scenario::Channel& c : b.channels) {
                    if (c.number == channelNumber) {
                        sendAnswer(b, c);
                        return;
                    }
                }
                AnswerBuilder::Request r;
                r.blockAddress = quint8(b.address);
                r.channelNumber = channelNumber;
                r.clock = clockOf(b);
                r.badClock = b.badClock;
                transmit(AnswerBuilder::unservedChannel(r), nullptr,
                         QStringLiteral("unserved block %1 channel %2")
                             .arg(b.address)
                             .arg(channelNumber));
                return;
            }
        });
        return;
    }
}

TankModel& SimulatedLine::tank(const Scenario::Block& block, const Scenario::Channel& channel)
{
    const int key = block.address * 256 + channel.number;
    auto& slot = m_tanks[key];
    if (!slot)
        slot = std::make_unique<TankModel>(int(m_seed) * 7919 + key, kBlockVersion);
    return *slot;
}

bool SimulatedLine::faultHits(const Scenario::Channel& channel, Scenario::Fault fault)
{
    for (const Scenario::FaultRate& f : channel.faults)
        if (f.fault == fault)
            return f.percent >= 100 || int(m_random.bounded(100)) < f.percent;
    return false;
}

void SimulatedLine::sendAnswer(const Scenario::Block& block, const Scenario::Channel& channel)
{
    TankModel& model = tank(block, channel);
    model.advanceTo(m_started.elapsed() / 1000.0);
    AnswerBuilder::Request r;
    r.blockAddress = quint8(block.address);
    r.channelNumber = quint8(channel.number);
    r.sensorAddress = quint8(10 + channel.number);
    r.status = quint8(channel.status);
    r.badClock = block.badClock;
    r.clock = clockOf(block);
    const QString what = QStringLiteral("%1 block %2 channel %3")
                             .arg(Scenario::kindName(channel.kind))
                             .arg(block.address)
                             .arg(channel.number);
    if (faultHits(channel, Scenario::Fault::Silent)) {
        log(QStringLiteral("line %1 -- silent: %2").arg(m_line.number).arg(what));
        return;
    }
    transmit(AnswerBuilder::build(channel.kind, r, model), &channel, what);
}

QDateTime SimulatedLine::clockOf(const Scenario::Block& block)
{
    return block.setClock.isValid() ? block.setClock : QDateTime::currentDateTime();
}

bool SimulatedLine::silenced(const Scenario::Block& block)
{
    if (block.silentFromSeconds < 0 || m_started.elapsed() < block.silentFromSeconds * 1000LL)
        return false;
    if (!m_silencedLogged.contains(block.address)) {
        m_silencedLogged.insert(block.address);
        log(QStringLiteral("line %1 block %2 silenced").arg(m_line.number).arg(block.address));
    }
    return true;
}

void SimulatedLine::sendActive(const Scenario::Block& block)
{
    if (silenced(block))
        return;
    for (const Scenario::Channel& channel : block.channels)
        sendAnswer(block, channel);
}

void SimulatedLine::transmit(QByteArray message, const Scenario::Channel* channel,
                             const QString& what)
{
    QStringList faults;
    if (channel && faultHits(*channel, Scenario::Fault::BadLrc)) {
        message.back() = char(quint8(message.back()) + 1);
        faults.append(faultName(Scenario::Fault::BadLrc));
    }
    QByteArray frame = HexFrame::encode(message);
    if (channel && faultHits(*channel, Scenario::Fault::Lowercase)) {
        frame = frame.toLower();
        faults.append(faultName(Scenario::Fault::Lowercase));
    }
    QByteArray noise;
    if (channel && faultHits(*channel, Scenario::Fault::Noise)) {
        noise = QByteArray::fromHex("00FF7E2A0D55");
        faults.append(faultName(Scenario::Fault::Noise));
    }
    const bool split = channel && faultHits(*channel, Scenario::Fault::Split);
    if (split)
        faults.append(faultName(Scenario::Fault::Split));
    if (!isPresent()) {
        log(QStringLiteral("line %1 -- gone, not sent: %2").arg(m_line.number).arg(what));
        return;
    }
    log(QStringLiteral("line %1 tx %2 # %3%4")
            .arg(m_line.number)
            .arg(QString::fromLatin1(frame.chopped(2)), what,
                 faults.isEmpty() ? QString() : u' ' + faults.join(u' ')));
    if (!split) {
        writeBytes(noise + frame);
        return;
    }
    const qsizetype half = frame.size() / 2;
    writeBytes(noise + frame.first(half));
    const QByteArray rest = frame.sliced(half);
    QTimer::singleShot(kSplitDelayMs, this, [this, rest] {
        if (isPresent())
            writeBytes(rest);
    });
}

bool SimulatedLine::writeBytes(const QByteArray& bytes)
{
    // Never wait long: when nobody reads the line (the station is stopped) its
    // queue fills up, and a real line loses what nobody listens to.
    qsizetype done = 0;
    int spins = 0;
    while (done < bytes.size() && m_fd >= 0 && spins < kWriteSpins) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        } else {
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
            ++spins;
        }
    }
    const bool complete = done == bytes.size();
    if (!complete && !m_dropping)
        log(QStringLiteral("line %1 -- nobody reads the line, output dropped").arg(m_line.number));
    m_dropping = !complete;
    return complete;
}
