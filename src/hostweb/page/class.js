// SPDX-License-Identifier: GPL-3.0-or-later
// The children's class page: the class code and a name, then the lobby
// until the teacher starts a round, when the page turns into the seat.
// The host decides everything; this page only shows what it says.
'use strict';
(() => {
  const STORE = 'taruvo-class';
  const SEAT_STORE = 'taruvo-seat';
  const $ = (id) => document.getElementById(id);

  let ws = null;
  let me = null;        // {token, seat, name, cls} once entered
  let asking = null;    // {code, name}: what the form sent
  let retryMs = 500;
  let retryTimer = 0;
  let lastHeard = 0;
  let stopped = false;

  // The class code: eight digits, shown in two groups of four as on the
  // classroom screen. Typed with or without the space, or in full-width
  // digits from a Japanese keyboard. Behind a proxy two more come first:
  // the route to the class's host, which every address then carries.
  const CODE_DIGITS = Number(document.body.dataset.codeDigits) === 10 ? 10 : 8;
  const ROUTE_DIGITS = CODE_DIGITS - 8;
  const routeQuery = (route) => (/^[0-9]{2}$/.test(route || '') ? '?h=' + route : '');

  function codeDigits(text) {
    return text.replace(/[\uff10-\uff19]/g, (d) => String.fromCharCode(d.charCodeAt(0) - 0xfee0))
      .replace(/[^0-9]/g, '');
  }

  function grouped(digits) {
    const route = digits.slice(0, ROUTE_DIGITS);
    const rest = digits.slice(ROUTE_DIGITS).replace(/(\d{4})(?=\d)/g, '$1 ');
    return route && rest ? route + ' ' + rest : route + rest;
  }

  function load() {
    try {
      const s = JSON.parse(localStorage.getItem(STORE) || 'null');
      return s && s.host === location.host && typeof s.token === 'string' ? s : null;
    } catch (e) {
      return null;
    }
  }

  function save() {
    try {
      if (me)
        localStorage.setItem(STORE, JSON.stringify({ host: location.host, token: me.token, seat: me.seat,
          name: me.name, cls: me.cls, route: me.route }));
      else
        localStorage.removeItem(STORE);
    } catch (e) { /* private browsing: a reload asks again */ }
  }

  function status(text) {
    $('status').textContent = text;
  }

  function showEnter(message) {
    $('lobby').hidden = true;
    $('enter').hidden = false;
    $('msg').textContent = message || '';
    status('');
    const code = $('code');
    if (!code.value)
      code.focus();
  }

  function showLobby() {
    $('enter').hidden = true;
    $('lobby').hidden = false;
    $('classname').textContent = me.cls;
    $('me').textContent = me.name + ' さん';
    document.title = me.name + ' - Taruvo';
  }

  function connect() {
    clearTimeout(retryTimer);
    if (ws)
      return;
    let socket;
    try {
      const route = me ? me.route : asking ? asking.code.slice(0, ROUTE_DIGITS) : '';
      socket = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/class/ws'
        + routeQuery(route));
    } catch (e) {
      retry();
      return;
    }
    ws = socket;
    status('つないでいます…');
    socket.onopen = () => {
      lastHeard = Date.now();
      if (me)
        socket.send(JSON.stringify({ t: 'back', token: me.token }));
      else if (asking)
        socket.send(JSON.stringify({ t: 'enter', code: asking.code, name: asking.name }));
    };
    socket.onmessage = (ev) => {
      if (socket !== ws)
        return;
      lastHeard = Date.now();
      let m;
      try {
        m = JSON.parse(ev.data);
      } catch (e) {
        return;
      }
      received(m);
    };
    socket.onclose = () => {
      if (socket !== ws)
        return;
      ws = null;
      if (!stopped && me)
        retry();
    };
  }

  function retry() {
    status('つなぎなおしています…');
    clearTimeout(retryTimer);
    retryTimer = setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, 5000);
  }

  function stop(message) {
    stopped = true;
    clearTimeout(retryTimer);
    if (ws) {
      const socket = ws;
      ws = null;
      socket.close();
    }
    showEnter(message);
  }

  const refusals = {
    code: 'コードが ちがうよ',
    name: 'その なまえは つかえないよ',
    taken: 'その なまえの ひとが もう いるよ。ちがう なまえに してね',
    full: 'クラスが いっぱいです。せんせいに きいてね',
    closed: 'この ゲームは おわりました',
    wait: 'すこし まってから もういちど ためしてね',
    gone: 'ゲームが おわりました。コードを いれてね',
    away: 'この クラスの サーバーが いま とまっています。せんせいに きいてね',
  };

  function received(m) {
    switch (m.t) {
    case 'entered':
      me = { token: m.token, seat: m.seat, name: m.name, cls: m.class,
        route: asking ? asking.code.slice(0, ROUTE_DIGITS) : (me ? me.route : '') };
      asking = null;
      retryMs = 500;
      save();
      // The seat page finds its code and this device's token here.
      try {
        localStorage.setItem(SEAT_STORE, JSON.stringify({ host: location.host, code: me.seat, token: me.token }));
      } catch (e) { /* the seat page then cannot take the seat after a reload */ }
      if (location.hash)
        history.replaceState(null, '', location.pathname);
      status('');
      showLobby();
      break;
    case 'lobby':
      if (me)
        lobby(m);
      break;
    case 'refused':
      if (m.reason === 'late') {
        retry();
        return;
      }
      if (m.reason === 'gone') {
        me = null;
        save();
      }
      stop(refusals[m.reason] || 'つながりません');
      break;
    case 'closed':
      me = null;
      save();
      stop(m.reason === 'removed' ? 'せんせいが クラスから はずしました' : 'ゲームが おわりました');
      break;
    default:
      break;
    }
  }

  function lobby(m) {
    if (m.seated) {
      // The round has begun: this page becomes the seat.
      stopped = true;
      if (ws)
        ws.close();
      location.assign('/seat/' + routeQuery(me.route) + '#' + me.seat);
      return;
    }
    const wait = m.phase === 'lobby' ? 'まっててね' : 'つぎの ゲームまで まっててね';
    $('wait').textContent = wait;
    let detail;
    if (m.alone)
      detail = 'こんどは ひとりで とっくん';
    else if (m.partner)
      detail = 'あいて: ' + m.partner;
    else
      detail = 'せんせいが はじめるのを まっています';
    $('detail').textContent = detail;
  }

  // Grouped as typed, while the caret is at the end (an edit in the middle
  // keeps its place) and no input method is composing.
  function groupField() {
    const field = $('code');
    const before = field.value;
    if (field.selectionStart !== before.length)
      return;
    const after = grouped(codeDigits(before));
    if (after !== before)
      field.value = after;
  }
  $('code').addEventListener('input', (e) => {
    if (!e.isComposing)
      groupField();
  });
  $('code').addEventListener('compositionend', groupField);
  $('code').addEventListener('blur', () => { $('code').value = grouped(codeDigits($('code').value)); });

  $('enterform').addEventListener('submit', (e) => {
    e.preventDefault();
    const code = codeDigits($('code').value);
    const name = $('name').value.trim();
    if (code.length !== CODE_DIGITS) {
      $('msg').textContent = 'コードは ' + CODE_DIGITS + 'けたの すうじだよ';
      $('code').focus();
      return;
    }
    if (!name) {
      $('msg').textContent = 'なまえを いれてね';
      $('name').focus();
      return;
    }
    asking = { code, name };
    stopped = false;
    retryMs = 500;
    $('msg').textContent = '';
    if (ws) {
      const socket = ws;
      ws = null;
      socket.close();
    }
    connect();
  });

  // Start: a device that entered before comes back by its token; the QR
  // code on the classroom screen carries the class code.
  window.addEventListener('hashchange', () => {
    const code = codeDigits(location.hash);
    if (code.length === CODE_DIGITS && !me) {
      $('code').value = grouped(code);
      $('msg').textContent = '';
      $('name').focus();
    }
  });
  const fromAddress = codeDigits(location.hash);
  if (fromAddress.length === CODE_DIGITS)
    $('code').value = grouped(fromAddress);
  me = load();
  if (me) {
    showLobby();
    $('wait').textContent = 'つないでいます…';
    $('detail').textContent = '';
    connect();
  } else {
    showEnter('');
    if (fromAddress.length === CODE_DIGITS)
      $('name').focus();
  }

  setInterval(() => {
    if (ws && ws.readyState === WebSocket.OPEN) {
      if (Date.now() - lastHeard > 20000) {
        ws.close();
        return;
      }
      if (me)
        ws.send(JSON.stringify({ t: 'ping' }));
    }
  }, 5000);
  const wake = () => {
    if (!ws && !stopped && me) {
      retryMs = 500;
      connect();
    }
  };
  document.addEventListener('visibilitychange', () => { if (!document.hidden) wake(); });
  window.addEventListener('online', wake);
})();
