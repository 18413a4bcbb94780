#include "webpage.h"

#include <QCryptographicHash>

namespace {

constexpr char kStyle[] = R"css(
body { font-family: "Liberation Sans", Arial, sans-serif; font-size: 13px; margin: 12px; color: #000; background: #fff; }
h1 { font-size: 16px; margin: 0 0 4px 0; }
h2 { font-size: 14px; margin: 14px 0 4px 0; }
table { border-collapse: collapse; }
th, td { border: 1px solid #a0a0a0; padding: 2px 6px; text-align: left; white-space: nowrap; }
th { background: #f0f0f0; font-weight: normal; }
#state { color: #808080; }
#serviceCounters { white-space: pre-line; margin-top: 6px; }
#state.lost { color: #ff0000; }
)css";

constexpr char kScript[] = R"js(
'use strict';
const refreshMs = %REFRESH%;
function cell(row, text, colour, tag) {
  const td = document.createElement(tag || 'td');
  td.textContent = text === undefined || text === null ? '' : String(text);
  if (colour) { td.style.color = colour; td.dataset.colour = colour; }
  row.appendChild(td);
  return td;
}
function fill(id, headings, rows) {
  const table = document.getElementById(id);
  table.replaceChildren();
  const head = document.createElement('tr');
  for (const h of headings) cell(head, h, null, 'th');
  table.appendChild(head);
  for (const r of rows) {
    const tr = document.createElement('tr');
    for (const c of r) typeof c === 'object' && c !== null ? cell(tr, c.text, c.colour) : cell(tr, c);
    table.appendChild(tr);
  }
}
function show(s) {
  document.getElementById('station').textContent =
    'Версия ' + s.station.version + ', время станции ' + s.station.time.replace('T', ' ') +
    ', работает ' + s.station.uptimeSeconds + ' с';
  const poll = s.channels.map(c => [String(c.row), c.name, c.terminal, c.mode, c.address, c.channel,
                                    c.timeout, c.status, c.waiting, c.version]);
  fill('poll', s.pollListHeadings, poll);
  const rows = document.getElementById('poll').rows;
  s.channels.forEach((c, i) => { rows[i + 1].dataset.row = String(c.row); });
  fill('terminals', ['Терминал', 'СОМ порт', 'Скорость', 'Статус'],
       s.terminals.map(t => [t.terminal, t.port, t.baudRate, t.status]));
  fill('live', s.clients.live.headings, s.clients.live.rows);
  fill('history', s.clients.history.headings, s.clients.history.rows);
  fill('services', ['Служба', 'Адрес', 'Слушает', 'Клиентов'],
       s.services.map(v => [v.name, v.endpoint, v.listening ? 'да' : 'нет', String(v.clients)]));
  const b = s.broker;
  document.getElementById('broker').textContent = b.enabled
    ? (b.connected ? 'Подключен' : 'Не подключен') + ', в очереди ' + b.queued + (b.status ? ' - ' + b.status : '')
    : 'Не настроен';
  fill('channelCounters', s.counters.channels.headings, s.counters.channels.rows);
  fill('terminalCounters', s.counters.terminals.headings, s.counters.terminals.rows);
  document.getElementById('serviceCounters').textContent = s.counters.services;
  const state = document.getElementById('state');
  state.className = '';
  state.textContent = 'Обновлено ' + new Date().toLocaleTimeString('ru-RU');
}
async function refresh() {
  try {
    const reply = await fetch('/api/status', { cache: 'no-store' });
    if (!reply.ok) throw new Error(reply.status);
    show(await reply.json());
  } catch (e) {
    const state = document.getElementById('state');
    state.className = 'lost';
    state.textContent = 'Нет связи со станцией';
  }
  setTimeout(refresh, refreshMs);
}
refresh();
)js";

constexpr char kBody[] = R"html(<!DOCTYPE html>
<html lang="ru">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<link rel="icon" href="data:,">
<title>Станция опроса ПДЛ</title>
<style>%STYLE%</style>
</head>
<body>
<h1>Станция опроса ПДЛ</h1>
<div id="station"></div>
<div id="state">Загрузка...</div>
<h2>Список опроса</h2>
<table id="poll"></table>
<h2>Терминалы</h2>
<table id="terminals"></table>
<h2>Клиенты</h2>
<table id="live"></table>
<h2>Клиенты архива</h2>
<table id="history"></table>
<h2>Службы</h2>
<table id="services"></table>
<h2>Брокер MQTT</h2>
<div id="broker"></div>
<h2>Диагностика: каналы</h2>
<table id="channelCounters"></table>
<h2>Диагностика: терминалы</h2>
<table id="terminalCounters"></table>
<div id="serviceCounters"></div>
<script>%SCRIPT%</script>
</body>
</html>
)html";

QByteArray script()
{
    return QByteArray(kScript).replace("%REFRESH%", QByteArray::number(WebPage::kRefreshMs));
}

QByteArray hashSource(const QByteArray& text)
{
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64() +
           '\'';
}

} // namespace

const QByteArray& WebPage::html()
{
    static const QByteArray page =
        QByteArray(kBody).replace("%STYLE%", kStyle).replace("%SCRIPT%", script());
    return page;
}

const QByteArray& WebPage::contentSecurityPolicy()
{
    // A sha256 source lets exactly this script and this style run.
    static const QByteArray policy = "default-src 'none'; script-src " + hashSource(script()) +
                                     "; style-src " + hashSource(kStyle) +
                                     "; connect-src 'self'; img-src data:; base-uri 'none'; "
                                     "form-action 'none'; frame-ancestors 'none'";
    return policy;
}
