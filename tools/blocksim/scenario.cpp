#include "scenario.h"

#include <QMap>
#include <QRegularExpression>
#include <QStringList>

namespace {

using Kind = Scenario::Kind;
using Fault = Scenario::Fault;

struct KindText {
    const char16_t* text;
    Kind kind;
};
constexpr KindText kKinds[] = {
    {u"std69", Kind::Standard69},
    {u"std63", Kind::Standard63},
    {u"compact58", Kind::Compact58},
    {u"compact64", Kind::Compact64},
    {u"status", Kind::Status12},
    {u"shortstatus", Kind::Status6},
    {u"compactstatus", Kind::CompactStatus},
};

struct FaultText {
    const char16_t* text;
    Fault fault;
};
constexpr FaultText kFaults[] = {
    {u"silent", Fault::Silent}, {u"badlrc", Fault::BadLrc}, {u"lowercase", Fault::Lowercase},
    {u"split", Fault::Split},   {u"noise", Fault::Noise},
};

std::optional<int> number(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<Scenario::FaultRate> parseFault(const QString& text)
{
    const QStringList parts = text.split(u':');
    for (const FaultText& f : kFaults) {
        if (parts[0] != QString::fromUtf16(f.text))
            continue;
        Scenario::FaultRate rate{f.fault, 100};
        if (parts.size() == 2) {
            const auto percent = number(parts[1], 0, 100);
            if (!percent)
                return std::nullopt;
            rate.percent = *percent;
        } else if (parts.size() > 2) {
            return std::nullopt;
        }
        return rate;
    }
    return std::nullopt;
}

Scenario::Channel channel(int number_, Kind kind, const QString& name, int status = 0,
                          QList<Scenario::FaultRate> faults = {})
{
    Scenario::Channel c;
    c.number = number_;
    c.kind = kind;
    c.status = status;
    c.name = name;
    c.faults = std::move(faults);
    return c;
}

} // namespace

QString Scenario::kindName(Kind kind)
{
    for (const KindText& k : kKinds)
        if (k.kind == kind)
            return QString::fromUtf16(k.text);
    return {};
}

int Scenario::channelCount() const
{
    int count = 0;
    for (const Line& line : lines)
        for (const Block& block : line.blocks)
            count += int(block.channels.size());
    return count;
}

void Scenario::keepLines(int count)
{
    if (count >= 0 && count < lines.size())
        lines.resize(count);
}

Scenario Scenario::builtIn()
{
    Scenario s;
    // Terminal 1: every standard kind and status code, polled.
    Line one{1, {}, std::nullopt, {}};
    Block b1{1, 0, false, {}};
    b1.channels = {channel(0, Kind::Standard69, QStringLiteral("Резерв 1")),
                   channel(1, Kind::Standard63, QStringLiteral("Резерв 2")),
                   channel(2, Kind::Status12, QStringLiteral("Ожидание"), 0x01),
                   channel(3, Kind::Status12, QStringLiteral("Нет датч"), 0x02),
                   channel(4, Kind::Status12, QStringLiteral("Нет табл"), 0x13),
                   channel(5, Kind::Status12, QStringLiteral("Не опраш"), 0x04),
                   channel(6, Kind::Status6, QStringLiteral("Канал 9"), 0x05),
                   channel(7, Kind::Status12, QStringLiteral("Код 6"), 0x06)};
    one.blocks = {b1};
    // Terminal 2: compact answers and answers spoiled on the way.
    Line two{2, {}, std::nullopt, {}};
    Block b2{2, 0, false, {}};
    b2.channels = {
        channel(0, Kind::Compact64, QStringLiteral("Емкость 1")),
        channel(1, Kind::Compact58, QStringLiteral("Емкость 2")),
        channel(2, Kind::CompactStatus, QStringLiteral("Комп 13"), 0x13),
        channel(3, Kind::CompactStatus, QStringLiteral("Комп 2"), 0x02),
        channel(4, Kind::Standard69, QStringLiteral("Сбой LRC"), 0, {{Fault::BadLrc, 30}}),
        channel(5, Kind::Standard69, QStringLiteral("Строчные"), 0, {{Fault::Lowercase, 30}}),
        channel(6, Kind::Standard69, QStringLiteral("Молчит"), 0, {{Fault::Silent, 100}}),
        channel(7, Kind::Standard63, QStringLiteral("Шум"), 0,
                {{Fault::Noise, 50}, {Fault::Split, 50}})};
    two.blocks = {b2};
    // Terminal 3: an active block that sends every 5 s.
    Line three{3, {}, std::nullopt, {}};
    Block b3{3, 5, false, {}};
    b3.channels = {
        channel(0, Kind::Standard69, QStringLiteral("Актив 1")),
        channel(1, Kind::Standard63, QStringLiteral("Актив 2")),
        channel(2, Kind::Compact64, QStringLiteral("Актив 3")),
        channel(3, Kind::Status12, QStringLiteral("Актив 4"), 0x01),
        channel(4, Kind::Standard69, QStringLiteral("Актив 5"), 0, {{Fault::Split, 100}}),
        channel(5, Kind::Standard69, QStringLiteral("Актив 6"))};
    three.blocks = {b3};
    // Terminal 4: two polled blocks on a line that vanishes now and then.
    Line four{4, {}, Vanish{90, 10, 180}, {}};
    Block b4{4, 0, false, {}};
    b4.channels = {channel(0, Kind::Standard69, QStringLiteral("Резервуар 10")),
                   channel(1, Kind::Standard69, QStringLiteral("Резервуар 11")),
                   channel(2, Kind::Standard69, QStringLiteral("Резервуар 12")),
                   channel(3, Kind::Standard69, QStringLiteral("Резервуар 13"))};
    Block b5{5, 0, true, {}};
    b5.channels = {channel(0, Kind::Standard69, QStringLiteral("Часы сбой")),
                   channel(1, Kind::Standard63, QStringLiteral("Резервуар 15")),
                   channel(2, Kind::Compact58, QStringLiteral("Резервуар 16")),
                   channel(3, Kind::Standard69, QStringLiteral("Резервуар 17"))};
    four.blocks = {b4, b5};
    s.lines = {one, two, three, four};
    return s;
}

std::optional<Scenario> Scenario::parse(const QString& text, QString* error)
{
    Scenario s;
    const QStringList rows = text.split(u'\n');
    auto fail = [&](int row, const QString& why) -> std::optional<Scenario> {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(row).arg(why);
        return std::nullopt;
    };
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    for (int i = 0; i < rows.size(); ++i) {
        QString row = rows[i];
        const qsizetype hash = row.indexOf(u'#');
        if (hash >= 0)
            row.truncate(hash);
        const QStringList words = row.split(spaces, Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const int at = i + 1;
        QMap<QString, QString> options;
        QStringList plain;
        for (qsizetype w = 1; w < words.size(); ++w) {
            const qsizetype eq = words[w].indexOf(u'=');
            if (eq > 0)
                options.insert(words[w].first(eq), words[w].sliced(eq + 1));
            else
                plain.append(words[w]);
        }
        const QString& what = words[0];
        if (what == u"line") {
            const auto n = plain.isEmpty() ? std::nullopt : number(plain[0], 1, 10);
            if (!n)
                return fail(at, QStringLiteral("a line needs a terminal number 1..10"));
            for (const Line& l : s.lines)
                if (l.number == *n)
                    return fail(at, QStringLiteral("terminal %1 twice").arg(*n));
            Line line;
            line.number = *n;
            line.device = options.value(QStringLiteral("device"));
            if (options.contains(QStringLiteral("vanish"))) {
                const QStringList v = options.value(QStringLiteral("vanish")).split(u':');
                const auto start = number(v.value(0), 0, 86400);
                const auto duration = number(v.value(1), 1, 86400);
                const auto period = v.size() > 2 ? number(v[2], 1, 86400) : std::optional<int>(0);
                if (v.size() > 3 || !start || !duration || !period)
                    return fail(at, QStringLiteral("vanish=START:DURATION[:PERIOD] in seconds"));
                line.vanish = Vanish{*start, *duration, *period};
            }
            s.lines.append(line);
        } else if (what == u"block") {
            if (s.lines.isEmpty())
                return fail(at, QStringLiteral("a block needs a line before it"));
            const auto address = plain.isEmpty() ? std::nullopt : number(plain[0], 0, 255);
            if (!address)
                return fail(at, QStringLiteral("a block needs an address 0..255"));
            Block block;
            block.address = *address;
            if (options.contains(QStringLiteral("active"))) {
                const auto seconds = number(options.value(QStringLiteral("active")), 1, 3600);
                if (!seconds)
                    return fail(at, QStringLiteral("active=SECONDS, 1..3600"));
                block.activeSeconds = *seconds;
            }
            const QString clock = options.value(QStringLiteral("clock"));
            block.badClock = clock == u"bad";
            if (!clock.isEmpty() && !block.badClock) {
                const QDateTime set = QDateTime::fromString(clock + u'Z', Qt::ISODate);
                if (!set.isValid() || set.date().year() < 2000 || set.date().year() > 2099)
                    return fail(at, QStringLiteral("clock=bad or clock=YYYY-MM-DDThh:mm:ss, "
                                                   "2000..2099"));
                block.setClock = set;
            }
            if (options.contains(QStringLiteral("silent"))) {
                const auto seconds = number(options.value(QStringLiteral("silent")), 0, 86400);
                if (!seconds)
                    return fail(at, QStringLiteral("silent=SECONDS, 0..86400"));
                block.silentFromSeconds = *seconds;
            }
            s.lines.last().blocks.append(block);
        } else if (what == u"channel") {
            if (s.lines.isEmpty() || s.lines.last().blocks.isEmpty())
                return fail(at, QStringLiteral("a channel needs a block before it"));
            if (plain.size() < 2)
                return fail(at, QStringLiteral("channel NUMBER KIND [options]"));
            const auto n = number(plain[0], 0, 255);
            if (!n)
                return fail(at, QStringLiteral("a channel number is 0..255"));
            Channel c;
            c.number = *n;
            const QStringList kindParts = plain[1].split(u':');
            bool known = false;
            for (const KindText& k : kKinds) {
                if (kindParts[0] == QString::fromUtf16(k.text)) {
                    c.kind = k.kind;
                    known = true;
                }
            }
            if (!known)
                return fail(at, QStringLiteral("unknown answer kind ") + plain[1]);
            const bool isStatus = c.kind == Kind::Status12 || c.kind == Kind::Status6 ||
                                  c.kind == Kind::CompactStatus;
            if (isStatus) {
                bool ok = false;
                c.status = kindParts.value(1).toInt(&ok, 0);
                if (!ok || c.status < 1 || c.status > 255 || (c.status & 0x0F) == 0)
                    return fail(at, QStringLiteral("status kinds need a status byte with a "
                                                   "non-zero low nibble, e.g. status:0x13"));
            } else if (kindParts.size() > 1) {
                return fail(at, QStringLiteral("only status kinds take a status byte"));
            }
            c.name = options.value(QStringLiteral("name"));
            c.name.replace(u'_', u' ');
            if (options.contains(QStringLiteral("timeout"))) {
                const auto t = number(options.value(QStringLiteral("timeout")), 0, 3600);
                if (!t)
                    return fail(at, QStringLiteral("timeout=SECONDS, 0..3600"));
                c.timeoutSeconds = *t;
            }
            const QString faults = options.value(QStringLiteral("fault"));
            for (const QString& f : faults.split(u',', Qt::SkipEmptyParts)) {
                const auto rate = parseFault(f);
                if (!rate)
                    return fail(at, QStringLiteral("unknown fault ") + f);
                c.faults.append(*rate);
            }
            for (const Channel& other : s.lines.last().blocks.last().channels)
                if (other.number == c.number)
                    return fail(at, QStringLiteral("channel %1 twice in a block").arg(c.number));
            s.lines.last().blocks.last().channels.append(c);
        } else {
            return fail(at, QStringLiteral("expected line, block or channel, not ") + what);
        }
    }
    if (s.channelCount() > 30)
        return fail(int(rows.size()), QStringLiteral("more than 30 channels"));
    if (s.lines.isEmpty())
        return fail(int(rows.size()), QStringLiteral("no line"));
    return s;
}
