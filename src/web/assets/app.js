// The recent-calls page: the list from /api/calls, live calls and status from /api/events.
// Every text from the server goes into the page through textContent, never as markup.
'use strict';

const HOW = {
  phonebook: 'phonebook', area_code: 'area code', reverse_lookup: 'reverse lookup',
  caller_id: 'caller ID', withheld: 'withheld',
};
const PAGE = 50;
let next = null;
let search = '';
let generation = 0;

const $ = (id) => document.getElementById(id);

function timeText(ms) {
  const d = new Date(ms);
  const today = new Date();
  const sameDay = d.toDateString() === today.toDateString();
  return sameDay ? d.toLocaleTimeString() : d.toLocaleString();
}

function keyOf(call) { return call.ms + '|' + call.number; }

function matches(call) {
  if (!search) return true;
  const s = search.toLowerCase();
  return [call.name, call.callerIdName, call.firstName, call.number, call.displayNumber]
    .some((t) => (t || '').toLowerCase().includes(s));
}

function cell(cls, text) {
  const td = document.createElement('td');
  td.className = cls;
  td.textContent = text;
  return td;
}

function row(call) {
  const tr = document.createElement('tr');
  tr.dataset.key = keyOf(call);
  tr.append(cell('time', timeText(call.ms)), cell('name', call.name),
    cell('number', call.displayNumber || call.number), cell('how', HOW[call.namedBy] || call.namedBy));
  tr.title = call.callerIdName ? 'Caller ID: ' + call.callerIdName : '';
  return tr;
}

function showEmpty() { $('empty').hidden = $('rows').children.length > 0; }

async function load(more) {
  const mine = ++generation;
  const params = new URLSearchParams({ limit: String(PAGE) });
  if (more && next !== null) params.set('before', String(next));
  if (search) params.set('search', search);
  const answer = await fetch('/api/calls?' + params.toString(), { cache: 'no-store' });
  if (!answer.ok || mine !== generation) return;
  const page = await answer.json();
  if (mine !== generation) return;
  if (!more) $('rows').replaceChildren();
  for (const call of page.calls) $('rows').append(row(call));
  next = page.next;
  $('more').hidden = next === null;
  showEmpty();
}

function addLive(call) {
  if (!matches(call)) return;
  const tr = row(call);
  tr.classList.add('new');
  $('rows').prepend(tr);
  showEmpty();
}

function updateLive(call) {
  const old = $('rows').querySelector('tr[data-key="' + CSS.escape(keyOf(call)) + '"]');
  if (old) old.replaceWith(row(call));
  else addLive(call);
}

function duration(seconds) {
  const d = Math.floor(seconds / 86400), h = Math.floor(seconds / 3600) % 24,
    m = Math.floor(seconds / 60) % 60;
  return (d ? d + 'd ' : '') + (d || h ? h + 'h ' : '') + m + 'm';
}

function showStatus(s) {
  const link = $('link');
  const state = s.link.state || 'unknown';
  let text = 'Caller-ID link: ' + state;
  if (!s.link.open && s.link.reason) text += ' (' + s.link.reason + ')';
  if (s.link.sinceMs) text += ' since ' + timeText(s.link.sinceMs);
  link.textContent = text;
  link.className = 'item ' + (s.link.open ? 'open' : 'down');
  $('xap').textContent = 'xAP ' + s.xap.transport + ' port ' + s.xap.port;
  $('clients').textContent = 'Display clients: ' + s.displayClients;
  $('mqtt').textContent = s.mqtt ? 'MQTT: ' + s.mqtt : '';
  $('ncid').textContent = s.ncid ? 'NCID: ' + s.ncid : '';
  $('version').textContent = 'xapvynCID ' + s.version + ', up ' + duration(s.uptimeSeconds);
}

function listen() {
  const events = new EventSource('/api/events');
  events.addEventListener('open', () => {
    $('live').textContent = 'live';
    $('live').className = 'item';
  });
  events.addEventListener('error', () => {
    $('live').textContent = 'not connected, retrying…';
    $('live').className = 'item lost';
  });
  events.addEventListener('status', (e) => showStatus(JSON.parse(e.data)));
  events.addEventListener('call', (e) => addLive(JSON.parse(e.data)));
  events.addEventListener('update', (e) => updateLive(JSON.parse(e.data)));
}

document.addEventListener('DOMContentLoaded', () => {
  let timer = null;
  $('search').addEventListener('input', () => {
    clearTimeout(timer);
    timer = setTimeout(() => {
      search = $('search').value.trim();
      next = null;
      load(false);
    }, 200);
  });
  $('more').addEventListener('click', () => load(true));
  load(false);
  listen();
});
