// SPDX-License-Identifier: GPL-3.0-or-later
// The seat page: one player's window of a Taruvo console, in a browser.
// The console keeps the seat (board, answers, scores, feedback, the ink of
// both boxes) and decides everything; the page draws ink as the finger
// moves, sends each stroke when it ends and shows what the console says.
'use strict';
(() => {
  const CANVAS = 1000;      // stroke coordinates run 0..1000 on a square box
  const MAX_STROKES = 64;
  const MAX_POINTS = 1000;  // per stroke; the console takes up to 2000
  const SHOWN = 5;          // candidates along a box's lower edge
  const STORE = 'taruvo-seat';
  const ANIMATION_MS = 900;
  const $ = (id) => document.getElementById(id);

  // What the console last said, and what this page knows of it.
  let seat = null;
  let player = 0;
  let look = 0;
  let code = '';
  let token = '';
  let ws = null;
  let joined = false;
  let stopped = false;      // no reconnecting: refused, released or taken over
  let nextId = 1;           // of this connection's messages
  let ack = 0;
  let retryMs = 500;
  let retryTimer = 0;
  let lastHeard = 0;
  let recognizeSent = null; // {id, at}: "にんしき" waiting for its result
  // Round trips, for the benchmark: stroke end to its echo, "にんしき" to its
  // result; and the last message sent and acknowledged on this connection.
  const stats = { echo: [], result: [], sent: 0, ack: 0 };
  window.taruvoSeatStats = stats;

  const boxes = [0, 1].map((i) => ({
    i,
    canvas: $('box' + i),
    epoch: 0,
    ink: [],       // what the console holds: {pts: [x, y, ...], pr: [pressure ...] or null}
    pending: [],   // sent, not yet answered: {pts, pr, id, at}
    current: null, // the stroke being written
    pointer: null,
    has: false,
    text: '',
    cands: [],
    notice: false,
  }));

  // Connection.

  function store() {
    try {
      localStorage.setItem(STORE, JSON.stringify({ host: location.host, code, token }));
    } catch (e) { /* private browsing: a reload then asks for the code */ }
  }

  function stored() {
    try {
      const s = JSON.parse(localStorage.getItem(STORE) || 'null');
      return s && s.host === location.host ? s : null;
    } catch (e) {
      return null;
    }
  }

  function send(message) {
    if (!ws || ws.readyState !== WebSocket.OPEN || !joined)
      return -1;
    message.id = nextId++;
    stats.sent = message.id;
    ws.send(JSON.stringify(message));
    return message.id;
  }

  function connect() {
    clearTimeout(retryTimer);
    if (ws)
      return;
    let socket;
    try {
      // Within a class behind a proxy the page's ?h= names the class's host.
      const route = /^\?h=[0-9]{2}$/.test(location.search) ? location.search : '';
      socket = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/ws' + route);
    } catch (e) {
      retry();
      return;
    }
    ws = socket;
    status('つないでいます…');
    socket.onopen = () => {
      lastHeard = Date.now();
      const join = { t: 'join', code };
      if (token)
        join.token = token;
      socket.send(JSON.stringify(join));
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
      joined = false;
      for (const b of boxes)
        cancelStroke(b);
      render();
      if (!stopped)
        retry();
    };
  }

  function retry() {
    status('つなぎなおしています…');
    clearTimeout(retryTimer);
    retryTimer = setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, 5000);
  }

  function status(text) {
    $('status').textContent = text;
  }

  // typed: what the field shows, selected after a refusal so that typing
  // again replaces it.
  function showJoin(message, typed) {
    // A page served within a class (data-back on its body) goes back
    // there, where the child is known, instead of asking for a code.
    const back = document.body.dataset.back;
    if (back) {
      location.replace(back);
      return;
    }
    setReview(null);
    $('seat').hidden = true;
    $('join').hidden = false;
    $('joinmsg').textContent = message || '';
    const field = $('code');
    field.value = typed === undefined ? code : typed;
    status('');
    if (message && field.value) {
      field.focus();
      field.select();
    }
  }

  function stop(message, typed) {
    stopped = true;
    clearTimeout(retryTimer);
    if (ws) {
      const socket = ws;
      ws = null;
      joined = false;
      socket.close();
    }
    showJoin(message, typed);
  }

  const refusals = {
    code: 'コードが ちがうよ',
    taken: 'このせきは もう つかわれているよ',
    wait: 'すこし まってから もういちど ためしてね',
  };

  function received(m) {
    switch (m.t) {
    case 'joined':
      joined = true;
      retryMs = 500;
      // Each connection numbers its messages from 1, and the console
      // acknowledges in those numbers. What was sent on an earlier one is
      // in the ink that follows, or lost with the connection.
      nextId = 1;
      ack = 0;
      stats.sent = 0;
      stats.ack = 0;
      recognizeSent = null;
      for (const b of boxes)
        b.pending = [];
      player = m.player;
      look = m.look || 0;
      token = m.token;
      store();
      // A reload comes back with the code that worked.
      if (location.hash !== '#' + code)
        history.replaceState(null, '', '#' + code);
      document.title = 'Player' + player;
      // The console sends the review again if it still holds one.
      setReview(null);
      loadFeedback();
      $('join').hidden = true;
      $('seat').hidden = false;
      status('');
      layout();
      break;
    case 'state':
      onState(m);
      break;
    case 'review':
      onReview(m);
      break;
    case 'ack':
      onAck(m.ack);
      boxes.forEach(settle);
      render();
      break;
    case 'refused':
      if (m.reason) {
        if (m.reason === 'late') {
          retry();
          return;
        }
        const typed = code;
        if (m.reason === 'code') {
          code = '';
          token = '';
        }
        stop(refusals[m.reason] || 'つながりません', typed);
      } else {
        console.warn('taruvo: refused:', m.why);
        // A stroke the console did not take is not shown any more.
        for (const b of boxes)
          b.pending = b.pending.filter((s) => s.id !== m.id);
        render();
      }
      break;
    case 'closed':
      if (m.reason === 'released') {
        token = '';
        store();
        stop('せきが あきました。コードを いれてね');
      } else if (m.reason === 'resumed') {
        stop('ほかの がめんで ひらかれました');
      }
      break;
    default:
      break;
    }
  }

  function onAck(id) {
    if (typeof id === 'number' && id > ack) {
      ack = id;
      stats.ack = id;
    }
  }

  // Strokes the console has dealt with and not taken are gone: a taken one
  // comes back in the box's change.
  function settle(b) {
    b.pending = b.pending.filter((s) => s.id > ack);
  }

  function record(list, ms) {
    list.push(ms);
    if (list.length > 5000)
      list.shift();
  }

  // The console sends the whole seat when it is taken, then only what
  // changed: fields, and each box's ink as a change of what this page holds
  // ("keep" strokes, then its own strokes "add"ed, by id), or whole ("ink").
  function onState(m) {
    onAck(m.ack);
    seat = seat || {};
    for (const key of Object.keys(m)) {
      if (!['t', 'ack', 'ink', 'change', 'play'].includes(key))
        seat[key] = m[key];
    }
    const now = performance.now();
    seat.boxes.forEach((sb, i) => {
      const b = boxes[i];
      if (sb.e !== b.epoch) {
        b.epoch = sb.e;
        b.ink = [];
        b.pending = [];
        cancelStroke(b);
      }
      const change = m.change && m.change[i];
      if (m.ink && m.ink[i]) {
        b.ink = m.ink[i].map((pts) => ({ pts, pr: null }));
      } else if (change) {
        b.ink.length = Math.min(b.ink.length, change.keep);
        for (const id of change.add) {
          const k = b.pending.findIndex((s) => s.id === id);
          if (k < 0)
            continue;
          const s = b.pending.splice(k, 1)[0];
          record(stats.echo, now - s.at);
          b.ink.push(s);
        }
      }
      settle(b);
      if (b.ink.length !== sb.n)
        console.warn('taruvo: box', i, 'holds', b.ink.length, 'strokes, the console', sb.n);
      b.has = sb.has;
      b.text = sb.text;
      b.cands = sb.cands || [];
      b.notice = sb.notice;
    });
    if (seat.locked)
      boxes.forEach(cancelStroke);
    // Playing again (the next deal, or after the game on the same board):
    // the review must not hide the board.
    else if (reviewOpen())
      closeReview();
    if (recognizeSent && recognizeSent.id <= ack) {
      const at = recognizeSent.at;
      recognizeSent = null;
      requestAnimationFrame(() => record(stats.result, performance.now() - at));
    }
    const shown = itemIndex(seat.item);
    if (animation && animation.item !== shown && typeof m.play !== 'number')
      endAnimation();
    render();
    if (typeof m.play === 'number')
      perform(m.play);
  }

  // What is shown.

  function pending(b) {
    return b.current !== null || b.pending.length > 0;
  }

  // A box whose new ink the console has not taken yet shows no result, and
  // the feedback is reset from the moment the pen touches.
  function showsResult(b) {
    return b.has && !pending(b);
  }

  function strokeCount(b) {
    return b.ink.length + b.pending.length;
  }

  function writing() {
    return boxes.some(pending);
  }

  function render() {
    const s = seat;
    if (!s)
      return;
    const board = $('board');
    for (let n = 0; n < 36; ++n) {
      const cell = board.children[n];
      cell.textContent = s.board[n] || '';
      cell.classList.toggle('used', !!s.used[n]);
    }
    const answers = $('answers');
    for (let k = 0; k < 18; ++k)
      answers.children[k].textContent = s.answers[k] || '';
    $('own').textContent = s.own;
    $('opp').textContent = s.opp;
    const reset = writing();
    $('result').textContent = reset ? '' : s.result;
    if (!animation)
      setPicture(reset ? 2 : itemIndex(s.item));
    const off = !joined || s.locked;
    for (const id of ['rec', 'clear', 'ans'])
      $(id).disabled = off;
    showBanner(s);
    $('seat').classList.toggle('reading', !!s.reading);
    for (const b of boxes)
      drawBox(b);
  }

  // A locked seat says why: the game has not started yet, or it is over
  // (then how it ended, in large type), and the next one starts soon.
  function showBanner(s) {
    const banner = $('banner');
    banner.hidden = !s.locked;
    if (!s.locked)
      return;
    const over = !!s.over && !!s.result;
    banner.className = over ? 'over ' + ['win', 'lose', 'draw'][itemIndex(s.item)] : 'soon';
    $('bannertitle').textContent = over ? s.result : 'もうすぐ はじまるよ';
    $('bannernote').textContent = over ? 'つぎの ゲームも もうすぐ はじまるよ' : 'まっててね';
    $('reviewopen').hidden = !review;
  }

  // The review of the game that ended, made by the console for this
  // player: the game's words with their readings, who found each, the words
  // nobody found and the player's own wrong tries. It opens when it comes
  // at the end of a game, the child closes it (and may open it again from
  // the banner), and playing again closes it. Every text in it is set as
  // text: the words of a teacher's list are not markup.

  let review = null;    // {n, data}
  let reviewClosed = 0; // n of the review the child closed

  const str = (v) => (typeof v === 'string' ? v : '');
  const list = (v, max) => (Array.isArray(v) ? v.slice(0, max) : []);
  const readingsOf = (v) => list(v, 8).filter((r) => typeof r === 'string');

  // Readings side by side, a line broken between two, never inside one.
  function readingsElement(cls, readings) {
    const e = el('span', cls);
    readings.forEach((r, i) => {
      if (i)
        e.append('、');
      e.append(el('span', '', r));
    });
    return e;
  }

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls)
      e.className = cls;
    if (text !== undefined)
      e.textContent = text;
    return e;
  }

  function onReview(m) {
    const data = m.review && typeof m.review === 'object' && !Array.isArray(m.review) ? m.review : null;
    setReview(data ? { n: Number(m.n) || 0, data } : null);
    // Shown at the end of a game, unless the child has closed this one.
    if (review && seat && seat.locked && seat.over && review.n !== reviewClosed)
      openReview();
    render();
  }

  function setReview(r) {
    review = r;
    if (!review) {
      $('review').hidden = true;
      return;
    }
    fillReview(review.data);
  }

  function reviewOpen() {
    return !$('review').hidden;
  }

  function openReview() {
    if (!review)
      return;
    $('review').hidden = false;
    $('reviewclose').focus({ preventScroll: true });
  }

  function closeReview() {
    if (review)
      reviewClosed = review.n;
    $('review').hidden = true;
  }

  function wordCard(w, me) {
    w = w && typeof w === 'object' ? w : {};
    const by = w.foundBy === me ? 'own' : w.foundBy > 0 ? 'opp' : 'none';
    const card = el('li', 'card ' + by);
    card.append(el('span', 'rw', str(w.word)), readingsElement('rr', readingsOf(w.readings)));
    if (str(w.meaning))
      card.append(el('span', 'rm', w.meaning));
    card.append(el('span', 'rf', { own: 'じぶん', opp: 'あいて', none: '—' }[by]));
    return card;
  }

  function fillCards(id, words, me) {
    $(id).replaceChildren(...words.map((w) => wordCard(w, me)));
  }

  function fillReview(d) {
    const me = d.player === 1 || d.player === 2 ? d.player : player;
    const players = list(d.players, 2).filter((p) => p && typeof p === 'object');
    const own = players.find((p) => p.player === me) || {};
    const other = players.find((p) => p.player !== me) || {};
    const result = str(own.result);
    const outcome = $('reviewoutcome');
    outcome.textContent = result;
    outcome.className = { 'かち！！': 'win', 'まけ！！': 'lose', 'ひきわけ！！': 'draw' }[result] || '';
    const score = $('reviewscore');
    score.replaceChildren('じぶん', el('b', '', String(Number(own.score) || 0)));
    // A child who played alone against the clock has no opponent.
    if (players.length > 1)
      score.append('・ あいて', el('b', '', String(Number(other.score) || 0)));

    const words = list(d.words, 64);
    fillCards('rvwords', words, me);
    const missed = words.filter((w) => w && !(w.foundBy > 0));
    fillCards('rvmissedlist', missed, me);
    $('rvmissed').hidden = missed.length === 0;
    const others = list(d.otherWords, 64);
    fillCards('rvotherlist', others, me);
    $('rvother').hidden = others.length === 0;

    const tries = list(own.wrongTries, 200).filter((t) => t && typeof t === 'object');
    $('rvtrylist').replaceChildren(...tries.map((t) => {
      const li = el('li');
      li.append(el('span', 'ta', str(t.answer)), el('span', 'tt', str(t.text)));
      const r = readingsOf(t.readings);
      if (r.length)
        li.append(readingsElement('tr', r));
      if (str(t.meaning))
        li.append(el('span', 'tm', t.meaning));
      return li;
    }));
    const count = Math.max(tries.length, Number(own.wrongTryCount) || 0);
    $('rvmore').textContent = count > tries.length ? 'ほかに ' + (count - tries.length) + ' かい' : '';
    $('rvtries').hidden = count === 0;
    $('reviewbody').scrollTop = 0;
  }

  function itemIndex(item) {
    return item === 0 || item === 1 ? item : 2;
  }

  // Feedback: the console's pictures and sounds of the player's series.

  let audio = null;
  let sounds = [];
  let playing = null;
  let animation = null;
  const pictures = [];

  function loadFeedback() {
    for (let i = 0; i < 3; ++i) {
      const img = new Image();
      img.src = 'fb/' + player + '/' + i + '.png';
      pictures[i] = img;
    }
    sounds = [];
    loadSounds();
  }

  function setPicture(index) {
    const img = $('fbimg');
    const src = 'fb/' + player + '/' + index + '.png';
    if (player && img.getAttribute('src') !== src)
      img.setAttribute('src', src);
  }

  // Sound may start only after a touch; the first one opens the audio.
  function unlockAudio() {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!audio && Context) {
      try {
        audio = new Context();
      } catch (e) {
        return;
      }
      loadSounds();
    }
    if (audio && audio.state === 'suspended')
      audio.resume();
  }

  function loadSounds() {
    if (!audio || !player)
      return;
    for (let i = 0; i < 3; ++i) {
      fetch('fb/' + player + '/' + i + '.wav')
        .then((r) => (r.ok ? r.arrayBuffer() : Promise.reject(r.status)))
        .then((bytes) => new Promise((ok, fail) => audio.decodeAudioData(bytes, ok, fail)))
        .then((buffer) => { sounds[i] = buffer; })
        .catch(() => {});
    }
  }

  function playSound(index) {
    if (!audio || !sounds[index])
      return;
    if (playing) {
      try { playing.stop(); } catch (e) { /* ended already */ }
    }
    const source = audio.createBufferSource();
    source.buffer = sounds[index];
    source.connect(audio.destination);
    source.start();
    playing = source;
  }

  // Where the picture is at moment t (0..1) of its movement: it bounces
  // for a right answer, shakes its head for a wrong one, breathes otherwise.
  function poseAt(item, t) {
    const pose = { scale: 1, dx: 0, angle: 0 };
    if (item === 0) {
      pose.scale = 1 - 0.2 * (1 - t) * (1 - t) * Math.abs(Math.cos(2.5 * Math.PI * t));
      pose.angle = 8 * (1 - t) * Math.sin(4 * Math.PI * t);
      const a = pose.angle * Math.PI / 180;
      pose.scale /= Math.abs(Math.cos(a)) + Math.abs(Math.sin(a));
    } else if (item === 1) {
      pose.scale = 1 - 0.12 * (1 - t);
      pose.dx = (1 - pose.scale) / 2 * Math.sin(12 * Math.PI * t);
    } else {
      pose.scale = 1 - 0.06 * Math.sin(Math.PI * t);
    }
    return pose;
  }

  function perform(item) {
    const index = itemIndex(item);
    playSound(index);
    endAnimation();
    setPicture(index);
    animation = { item: index, start: performance.now() };
    requestAnimationFrame(animate);
  }

  function animate(now) {
    if (!animation)
      return;
    const t = (now - animation.start) / ANIMATION_MS;
    if (t >= 1) {
      endAnimation();
      render();
      return;
    }
    const side = $('feedback').clientWidth;
    const pose = poseAt(animation.item, Math.max(0, t));
    $('fbimg').style.transform =
      `translateX(${pose.dx * side}px) rotate(${pose.angle}deg) scale(${pose.scale})`;
    drawBurst(animation.item === 0 ? Math.max(0, t) : 0);
    requestAnimationFrame(animate);
  }

  function endAnimation() {
    animation = null;
    $('fbimg').style.transform = '';
    drawBurst(0);
  }

  function drawBurst(progress) {
    const c = $('burst');
    const side = c.clientWidth;
    const dpr = window.devicePixelRatio || 1;
    if (c.width !== Math.round(side * dpr)) {
      c.width = Math.round(side * dpr);
      c.height = Math.round(side * dpr);
    }
    const g = c.getContext('2d');
    g.setTransform(1, 0, 0, 1, 0, 0);
    g.clearRect(0, 0, c.width, c.height);
    if (progress <= 0 || progress >= 1)
      return;
    g.setTransform(c.width / 100, 0, 0, c.height / 100, 0, 0);
    const reach = 20 + 32 * Math.sqrt(progress);
    const alpha = 1 - progress;
    for (let k = 0; k < 10; ++k) {
      const a = 2 * Math.PI * k / 10 + progress;
      const x = 50 + reach * Math.cos(a), y = 50 + reach * Math.sin(a);
      g.beginPath();
      if (look === 0) {
        g.fillStyle = k % 2 ? `rgba(255,90,60,${alpha})` : `rgba(235,60,60,${alpha})`;
        g.arc(x, y, 3.5, 0, 2 * Math.PI);
      } else {
        g.fillStyle = `rgba(255,214,64,${alpha})`;
        for (let j = 0; j < 10; ++j) {
          const r = j % 2 ? 4.5 * 0.45 : 4.5;
          const b = -Math.PI / 2 + j * Math.PI / 5;
          g.lineTo(x + r * Math.cos(b), y + r * Math.sin(b));
        }
        g.closePath();
      }
      g.fill();
    }
  }

  // The handwriting boxes.

  function boxSide(b) {
    return b.canvas.clientWidth || 1;
  }

  function undoRect(side) {
    const s = Math.min(Math.max(side / 6, 14), 44);
    return { x: side - s - 2, y: 2, w: s, h: s };
  }

  function candidateRect(side, index) {
    const cell = side / SHOWN;
    const strip = Math.min(Math.max(side / 5, 14), 80);
    return { x: index * cell, y: side - strip, w: cell, h: strip };
  }

  function inside(r, x, y) {
    return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
  }

  function baseWidth(side) {
    return Math.max(2, side / 28);
  }

  function widthAt(stroke, i, base) {
    const p = stroke.pr ? stroke.pr[i] : 0.5;
    return base * (0.45 + 1.1 * (p === undefined ? 0.5 : p));
  }

  function drawStroke(g, stroke, scale, base, colour) {
    const pts = stroke.pts;
    if (pts.length === 2) {
      g.fillStyle = colour;
      g.beginPath();
      g.arc(pts[0] * scale, pts[1] * scale, widthAt(stroke, 0, base) / 2, 0, 2 * Math.PI);
      g.fill();
      return;
    }
    g.strokeStyle = colour;
    g.lineCap = 'round';
    g.lineJoin = 'round';
    for (let i = 1; i < pts.length / 2; ++i)
      segment(g, stroke, i, scale, base);
  }

  function segment(g, stroke, i, scale, base) {
    const pts = stroke.pts;
    g.lineWidth = (widthAt(stroke, i - 1, base) + widthAt(stroke, i, base)) / 2;
    g.beginPath();
    g.moveTo(pts[2 * i - 2] * scale, pts[2 * i - 1] * scale);
    g.lineTo(pts[2 * i] * scale, pts[2 * i + 1] * scale);
    g.stroke();
  }

  function context(b) {
    const c = b.canvas;
    const side = boxSide(b);
    const dpr = window.devicePixelRatio || 1;
    const px = Math.round(side * dpr);
    if (c.width !== px || c.height !== px) {
      c.width = px;
      c.height = px;
    }
    const g = c.getContext('2d');
    g.setTransform(dpr, 0, 0, dpr, 0, 0);
    return g;
  }

  function drawBox(b) {
    const side = boxSide(b);
    const g = context(b);
    const locked = !seat || seat.locked;
    g.fillStyle = locked ? 'rgb(244,244,236)' : 'rgb(255,255,236)';
    g.fillRect(0, 0, side, side);

    // A light grid helps place and size the character.
    g.lineWidth = 1;
    g.strokeStyle = 'rgba(0,150,0,0.27)';
    g.setLineDash([4, 3]);
    g.beginPath();
    g.moveTo(side / 2, 0); g.lineTo(side / 2, side);
    g.moveTo(0, side / 2); g.lineTo(side, side / 2);
    g.stroke();
    g.strokeStyle = 'rgba(0,150,0,0.14)';
    g.setLineDash([1, 3]);
    g.beginPath();
    for (const f of [0.25, 0.75]) {
      g.moveTo(side * f, 0); g.lineTo(side * f, side);
      g.moveTo(0, side * f); g.lineTo(side, side * f);
    }
    g.stroke();
    g.setLineDash([]);
    g.strokeStyle = 'rgb(0,0,255)';
    g.strokeRect(0.5, 0.5, side - 1, side - 1);

    const result = showsResult(b);
    const scale = side / CANVAS;
    const base = baseWidth(side);
    const colour = result ? 'rgb(200,200,200)' : 'rgb(20,20,20)';
    for (const s of b.ink.concat(b.pending))
      drawStroke(g, s, scale, base, colour);
    if (b.current)
      drawStroke(g, b.current, scale, base, colour);

    const strip = candidateRect(side, 0);
    const kanji = getComputedStyle(document.documentElement).getPropertyValue('--kanji');
    g.textAlign = 'center';
    g.textBaseline = 'middle';
    if (result) {
      const area = Math.min(side, strip.y);
      g.font = Math.max(8, Math.floor(area * 0.8)) + 'px ' + kanji;
      g.fillStyle = 'rgb(0,0,120)';
      g.fillText(b.text, side / 2, strip.y / 2);
      g.font = Math.max(7, Math.floor(strip.h * 0.7)) + 'px ' + kanji;
      // Thin outlines, whatever width the last stroke of ink left.
      g.lineWidth = 1;
      b.cands.slice(0, SHOWN).forEach((text, i) => {
        const r = candidateRect(side, i);
        g.fillStyle = 'rgb(230,238,255)';
        g.strokeStyle = 'rgba(0,0,255,0.35)';
        roundRect(g, r.x + 1, r.y + 1, r.w - 2, r.h - 2, 3);
        g.fill();
        g.stroke();
        g.fillStyle = 'rgb(30,30,30)';
        g.fillText(text, r.x + r.w / 2, r.y + r.h / 2);
      });
    } else if (b.notice) {
      g.font = Math.max(7, Math.floor(strip.h * 0.5)) + 'px ' + kanji;
      g.fillStyle = 'rgb(160,0,0)';
      g.fillText('じしょが ありません', side / 2, strip.y + strip.h / 2);
    }

    if ((strokeCount(b) || b.current) && !locked)
      drawUndo(g, undoRect(side));
  }

  function roundRect(g, x, y, w, h, r) {
    g.beginPath();
    g.moveTo(x + r, y);
    g.arcTo(x + w, y, x + w, y + h, r);
    g.arcTo(x + w, y + h, x, y + h, r);
    g.arcTo(x, y + h, x, y, r);
    g.arcTo(x, y, x + w, y, r);
    g.closePath();
  }

  // A small hooked arrow in the corner: takes back the last stroke.
  function drawUndo(g, rect) {
    const r = { x: rect.x + 2, y: rect.y + 2, w: rect.w - 4, h: rect.h - 4 };
    g.lineWidth = Math.max(1.5, r.w / 10);
    g.strokeStyle = 'rgba(0,0,160,0.6)';
    g.fillStyle = 'rgba(255,255,255,0.8)';
    g.lineCap = 'round';
    g.beginPath();
    g.ellipse(r.x + r.w / 2, r.y + r.h / 2, r.w / 2, r.h / 2, 0, 0, 2 * Math.PI);
    g.fill();
    g.stroke();
    const arc = { x: r.x + r.w * 0.25, y: r.y + r.h * 0.28, w: r.w * 0.5, h: r.h * 0.5 };
    const cx = arc.x + arc.w / 2, cy = arc.y + arc.h / 2;
    const start = -160 * Math.PI / 180;
    g.beginPath();
    g.ellipse(cx, cy, arc.w / 2, arc.h / 2, 0, start, start + 250 * Math.PI / 180);
    g.stroke();
    const tip = { x: cx + arc.w / 2 * Math.cos(start), y: cy + arc.h / 2 * Math.sin(start) };
    const a = r.w * 0.16;
    g.beginPath();
    g.moveTo(tip.x, tip.y); g.lineTo(tip.x + a, tip.y - a * 0.2);
    g.moveTo(tip.x, tip.y); g.lineTo(tip.x + a * 0.1, tip.y - a);
    g.stroke();
  }

  function point(b, e) {
    const r = b.canvas.getBoundingClientRect();
    const clamp = (v) => Math.min(CANVAS, Math.max(0, v));
    return [clamp((e.clientX - r.left) / (r.width || 1) * CANVAS),
      clamp((e.clientY - r.top) / (r.height || 1) * CANVAS)];
  }

  function pressure(e) {
    // Mouse and finger draw as a pen pressed halfway.
    return e.pointerType === 'pen' && e.pressure > 0 ? Math.min(1, e.pressure) : 0.5;
  }

  function cancelStroke(b) {
    if (b.pointer !== null) {
      try { b.canvas.releasePointerCapture(b.pointer); } catch (e) { /* gone already */ }
    }
    b.pointer = null;
    b.current = null;
  }

  function down(b, e) {
    unlockAudio();
    if (!joined || !seat || seat.locked || b.pointer !== null)
      return;
    if (e.pointerType === 'mouse' && e.button !== 0)
      return;
    e.preventDefault();
    const side = boxSide(b);
    const [x, y] = point(b, e);
    const sx = x / CANVAS * side, sy = y / CANVAS * side;
    if (strokeCount(b) && inside(undoRect(side), sx, sy)) {
      send({ t: 'undo', box: b.i });
      return;
    }
    if (showsResult(b)) {
      for (let i = 0; i < Math.min(SHOWN, b.cands.length); ++i) {
        if (inside(candidateRect(side, i), sx, sy)) {
          send({ t: 'pick', box: b.i, i });
          return;
        }
      }
    }
    if (strokeCount(b) >= MAX_STROKES)
      return;
    b.pointer = e.pointerId;
    try { b.canvas.setPointerCapture(e.pointerId); } catch (err) { /* still ours */ }
    b.current = { pts: [x, y], pr: [pressure(e)], id: 0, at: 0 };
    render();
  }

  function move(b, e) {
    if (e.pointerId !== b.pointer || !b.current)
      return;
    e.preventDefault();
    const events = e.getCoalescedEvents ? e.getCoalescedEvents() : [];
    const side = boxSide(b);
    const g = context(b);
    g.strokeStyle = 'rgb(20,20,20)';
    g.lineCap = 'round';
    for (const ev of events.length ? events : [e]) {
      const s = b.current;
      const [x, y] = point(b, ev);
      const n = s.pts.length;
      if (n / 2 >= MAX_POINTS || Math.hypot(x - s.pts[n - 2], y - s.pts[n - 1]) < 1.5)
        continue;
      s.pts.push(x, y);
      s.pr.push(pressure(ev));
      // Drawn at once, segment by segment, as the finger moves.
      segment(g, s, s.pts.length / 2 - 1, side / CANVAS, baseWidth(side));
    }
  }

  function up(b, e) {
    if (e.pointerId !== b.pointer || !b.current)
      return;
    const s = b.current;
    if (e.type !== 'pointercancel' && e.type !== 'lostpointercapture') {
      const [x, y] = point(b, e);
      const n = s.pts.length;
      if ((x !== s.pts[n - 2] || y !== s.pts[n - 1]) && n / 2 < MAX_POINTS) {
        s.pts.push(x, y);
        s.pr.push(pressure(e));
      }
    }
    b.pointer = null;
    b.current = null;
    const round = (v) => Math.round(v * 10) / 10;
    s.id = send({ t: 'stroke', box: b.i, e: b.epoch, pts: s.pts.map(round) });
    if (s.id > 0) {
      s.at = performance.now();
      b.pending.push(s);
    }
    render();
  }

  for (const b of boxes) {
    const c = b.canvas;
    c.addEventListener('pointerdown', (e) => down(b, e));
    c.addEventListener('pointermove', (e) => move(b, e));
    c.addEventListener('pointerup', (e) => up(b, e));
    c.addEventListener('pointercancel', (e) => up(b, e));
    c.addEventListener('lostpointercapture', (e) => up(b, e));
    c.addEventListener('contextmenu', (e) => e.preventDefault());
  }

  // The buttons.

  $('rec').addEventListener('click', () => {
    unlockAudio();
    const id = send({ t: 'recognize' });
    if (id > 0)
      recognizeSent = { id, at: performance.now() };
  });
  $('clear').addEventListener('click', () => { unlockAudio(); send({ t: 'erase' }); });
  $('reviewclose').addEventListener('click', () => { closeReview(); render(); });
  $('reviewopen').addEventListener('click', () => { openReview(); render(); });
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && reviewOpen()) {
      closeReview();
      render();
    }
  });
  $('ans').addEventListener('click', () => { unlockAudio(); send({ t: 'answer' }); });

  $('joinform').addEventListener('submit', (e) => {
    e.preventDefault();
    unlockAudio();
    const typed = $('code').value.replace(/[^0-9]/g, '');
    if (!typed)
      return;
    const s = stored();
    token = s && s.code === typed ? s.token : '';
    code = typed;
    stopped = false;
    retryMs = 500;
    $('joinmsg').textContent = '';
    connect();
  });

  // Layout: sizes for the viewport, in either orientation.

  function clamp(v, low, high) {
    return Math.min(high, Math.max(low, v));
  }

  function layout() {
    const W = window.innerWidth, H = window.innerHeight;
    const gap = 8, pad = 8;
    const root = document.documentElement.style;
    const main = $('seat');
    const portrait = H > W * 1.05;
    main.classList.toggle('portrait', portrait);
    main.classList.toggle('landscape', !portrait);
    let fb, row, cell, box, btn, ansRow, side, cols, score;
    if (!portrait) {
      side = Math.floor((W - 2 * pad - gap) * 0.4);
      const right = W - 2 * pad - gap - side;
      btn = clamp(H * 0.075, 40, 72);
      box = Math.floor(Math.min((right - gap) / 2, H * 0.4));
      const top = H - 2 * pad - box - 2 * btn - 3 * gap;
      cell = Math.floor(clamp(Math.min((right - 25) / 6, (top - 25) / 6), 20, 140));
      row = Math.floor(clamp(H * 0.07, 26, 56));
      fb = Math.floor(Math.max(40, Math.min(side, 6 * cell + 25 - row - gap)));
      const answersHeight = H - 2 * pad - fb - row - 2 * gap;
      ansRow = Math.floor(clamp(Math.min((answersHeight - 20) / 6, side / 3 * 0.5), 18, 64));
      cols = 3;
      score = Math.floor(2 * btn + gap);
    } else {
      side = 0;
      const inner = W - 2 * pad;
      fb = Math.floor(clamp(Math.min(inner * 0.3, H * 0.16), 60, 260));
      row = Math.floor(clamp(H * 0.05, 26, 56));
      btn = clamp(H * 0.06, 40, 72);
      box = Math.floor(Math.min((inner - gap) / 2, H * 0.27));
      cell = Math.floor(clamp(Math.min((inner - 25) / 6, H * 0.3 / 6), 20, 140));
      // The answers take what is left, three rows of six; a small phone scrolls.
      const left = H - 2 * pad - fb - (6 * cell + 25) - box - btn - 4 * gap - 8;
      ansRow = Math.floor(clamp(left / 3, 22, 56));
      cols = 6;
      score = Math.max(40, fb - row - gap);
    }
    root.setProperty('--side', side + 'px');
    root.setProperty('--fb', fb + 'px');
    root.setProperty('--row', row + 'px');
    root.setProperty('--cell', cell + 'px');
    root.setProperty('--box', box + 'px');
    root.setProperty('--btn', btn + 'px');
    root.setProperty('--ans-row', ansRow + 'px');
    root.setProperty('--ans-cols', cols);
    root.setProperty('--score', score + 'px');
    render();
  }

  function build() {
    const board = $('board');
    for (let n = 0; n < 36; ++n)
      board.appendChild(document.createElement('div'));
    const answers = $('answers');
    for (let k = 0; k < 18; ++k)
      answers.appendChild(document.createElement('li'));
  }

  // Start: the code from the address (the QR code carries it), or the one
  // this device used last on this console, or typed in.
  build();
  window.addEventListener('resize', layout);
  window.addEventListener('orientationchange', layout);
  document.addEventListener('pointerdown', unlockAudio, true);
  const fromAddress = location.hash.replace(/[^0-9]/g, '');
  const last = stored();
  if (fromAddress) {
    code = fromAddress;
    token = last && last.code === code ? last.token : '';
  } else if (last && last.code) {
    code = last.code;
    token = last.token || '';
  }
  if (code)
    connect();
  else
    showJoin('');

  // Liveness: a console that stops answering is given up on and called again.
  setInterval(() => {
    if (ws && ws.readyState === WebSocket.OPEN) {
      if (Date.now() - lastHeard > 20000) {
        ws.close();
        return;
      }
      // Unnumbered: the console answers a ping with a pong, not an ack.
      if (joined)
        ws.send('{"t":"ping"}');
    }
  }, 5000);
  const wake = () => {
    if (!ws && !stopped && code) {
      retryMs = 500;
      connect();
    }
  };
  document.addEventListener('visibilitychange', () => { if (!document.hidden) wake(); });
  window.addEventListener('online', wake);
})();
