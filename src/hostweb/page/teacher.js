// SPDX-License-Identifier: GPL-3.0-or-later
// The teacher's page: the key once, then class games to create, their
// lobbies and pairs, a live view of every pair's game, and the results.
// Everything the host sends is put in as text, never as markup.
'use strict';
(() => {
  const $ = (id) => document.getElementById(id);
  // Behind a proxy, ?h=NN keeps the page on the host that holds its class
  // games: every address of theirs carries it.
  const here = /^\?h=[0-9]{2}$/.test(location.search) ? location.search : '';
  const wsUrl = (location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/teacher/ws' + here;

  let ws = null;
  let authed = false;
  let nextId = 1;
  const waiting = new Map();   // request id -> callback(reply)
  let limits = null;
  let retryMs = 500;
  let lastHeard = 0;
  let loggingIn = false;
  const cards = new Map();     // class id -> {root, parts, last}
  const selected = new Map();  // class id -> [child ids] chosen for a swap
  let shownResults = 0;

  function el(tag, attrs, ...children) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) {
      if (k === 'class')
        e.className = v;
      else if (k === 'text')
        e.textContent = v;
      else if (k.startsWith('on'))
        e.addEventListener(k.slice(2), v);
      else
        e.setAttribute(k, v);
    }
    for (const c of children)
      e.append(c);
    return e;
  }

  function send(message, reply) {
    if (!ws || ws.readyState !== WebSocket.OPEN)
      return false;
    message.id = nextId++;
    if (reply)
      waiting.set(message.id, reply);
    ws.send(JSON.stringify(message));
    return true;
  }

  // Connection.

  function connect(loginKey) {
    if (ws)
      return;
    loggingIn = loginKey !== undefined;
    const socket = new WebSocket(wsUrl);
    ws = socket;
    socket.onopen = () => {
      lastHeard = Date.now();
      if (loginKey !== undefined)
        socket.send(JSON.stringify({ t: 'login', key: loginKey }));
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
      for (const reply of waiting.values())
        reply({ t: 'error', why: 'つながりが 切れました' });
      waiting.clear();
      if (authed) {
        setTimeout(() => connect(), retryMs);
        retryMs = Math.min(retryMs * 2, 5000);
      }
    };
  }

  function received(m) {
    if (typeof m.id === 'number' && waiting.has(m.id) && (m.t === 'done' || m.t === 'error' || m.t === 'results' || m.t === 'madelist')) {
      const reply = waiting.get(m.id);
      waiting.delete(m.id);
      reply(m);
      if (m.t !== 'results')
        return;
    }
    switch (m.t) {
    case 'login':
      // No session: the key is asked for, and the socket is not needed
      // (unless it is the one that brings the key).
      authed = false;
      if (loggingIn)
        break;
      closeSocket();
      showLogin(m.keyMade ? '' : 'キーが まだ ありません。ホストの 画面を 見てください。');
      break;
    case 'ticket':
      closeSocket();
      // Redeemed at the host that gave it.
      location.replace('/teacher/session?ticket=' + encodeURIComponent(m.ticket)
        + (/^[0-9]{2}$/.test(m.h || '') ? '&h=' + m.h : ''));
      break;
    case 'refused':
      if (m.reason === 'key' || m.reason === 'wait' || m.reason === 'login') {
        closeSocket();
        showLogin(m.reason === 'key' ? 'キーが ちがいます' : m.reason === 'wait'
          ? 'まちがいが 多すぎます。1分 まってから もういちど' : '');
      } else {
        console.warn('taruvo: refused:', m.why);
      }
      break;
    case 'hello':
      authed = true;
      retryMs = 500;
      limits = m.limits;
      showDesk();
      fillLists(m.lists, m.saved || []);
      $('listmaker').hidden = !m.listMaker;
      showProblem(m);
      banner('notice', m.notice || '');
      send({ t: 'past' });
      break;
    case 'lists':
      fillLists(m.lists, m.saved || []);
      break;
    case 'problem':
      showProblem(m);
      break;
    case 'classes':
      banner('alert', m.alert ? 'クラスコードが 推測されているかも しれません: ' + m.alert : '');
      renderClasses(m.classes);
      break;
    case 'past':
      renderPast(m.games);
      break;
    case 'closed':
      if (m.reason === 'logout') {
        authed = false;
        location.replace('/teacher/logout' + here);
      }
      break;
    default:
      break;
    }
  }

  function closeSocket() {
    if (ws) {
      const s = ws;
      ws = null;
      s.close();
    }
  }

  // Results that wait on the host for the database are kept, not lost.
  function showProblem(m) {
    const said = m.waits ? '結果は この ホストに 保存され、データベースへの 書き込みを 待っています: '
                         : '結果が 保存されていません: ';
    banner('problem', m.problem ? said + m.problem : '');
  }

  function banner(id, text) {
    $(id).textContent = text;
    $(id).hidden = !text;
  }

  function showLogin(message) {
    $('desk').hidden = true;
    $('logout').hidden = true;
    $('login').hidden = false;
    $('loginmsg').textContent = message || '';
    $('key').focus();
  }

  function showDesk() {
    $('login').hidden = true;
    $('desk').hidden = false;
    $('logout').hidden = false;
  }

  $('loginform').addEventListener('submit', (e) => {
    e.preventDefault();
    const key = $('key').value.trim();
    if (!key)
      return;
    $('loginmsg').textContent = '';
    closeSocket();
    connect(key);
  });

  // A new class game.

  // The bundled lists, then the ones made here (values "saved:NAME").
  function fillLists(lists, saved) {
    const select = $('lists');
    const was = select.value;
    const bundled = lists.map((name) => el('option', { value: name, text: name.replace(/\.txt$/, '') }));
    if (saved.length) {
      select.replaceChildren(el('optgroup', { label: '単語リスト' }, ...bundled),
        el('optgroup', { label: 'つくった リスト' },
          ...saved.map((name) => el('option', { value: 'saved:' + name, text: name }))));
    } else {
      select.replaceChildren(...bundled);
    }
    if ([...select.options].some((o) => o.value === was))
      select.value = was;
    fillSaved(saved);
    const time = $('time'), answers = $('answers');
    time.min = limits.timeMin;
    time.max = limits.timeMax;
    answers.min = limits.answersMin;
    answers.max = limits.answersMax;
    if (!time.value)
      time.value = limits.timeStart;
    if (!answers.value)
      answers.value = limits.answersStart;
  }

  function toBase64(bytes) {
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text);
  }

  // Sends a file in parts, one after another; calls done(error or '').
  function sendFile(file, done) {
    if (file.size > limits.uploadBytes) {
      done('ファイルが 大きすぎます (' + Math.round(limits.uploadBytes / 1024) + ' kB まで)');
      return;
    }
    file.arrayBuffer().then((buffer) => {
      const bytes = new Uint8Array(buffer);
      const parts = Math.max(1, Math.ceil(bytes.length / limits.uploadPart));
      const next = (part) => {
        const piece = bytes.subarray(part * limits.uploadPart, (part + 1) * limits.uploadPart);
        const ok = send({ t: 'upload', name: file.name, part, last: part === parts - 1, data: toBase64(piece) },
          (reply) => {
            if (reply.t === 'error')
              done(reply.why);
            else if (part + 1 < parts)
              next(part + 1);
            else
              done('');
          });
        if (!ok)
          done('つながっていません');
      };
      next(0);
    }, () => done('ファイルが 読めません'));
  }

  $('createform').addEventListener('submit', (e) => {
    e.preventDefault();
    const msg = $('createmsg');
    msg.className = 'msg';
    msg.textContent = '';
    const upload = document.querySelector('input[name=source]:checked').value === 'upload';
    const message = {
      t: 'create',
      name: $('gamename').value.trim(),
      timeOn: $('timeon').checked,
      time: Number($('time').value),
      answersOn: $('answerson').checked,
      answers: Number($('answers').value),
    };
    const created = (reply) => {
      if (reply.t === 'error') {
        msg.textContent = reply.why;
        return;
      }
      msg.className = 'msg ok';
      msg.textContent = 'つくりました';
      $('gamename').value = '';
    };
    if (upload) {
      const file = $('upload').files[0];
      if (!file) {
        msg.textContent = 'ファイルを えらんでください';
        return;
      }
      msg.textContent = 'おくっています…';
      sendFile(file, (error) => {
        if (error) {
          msg.textContent = error;
          return;
        }
        msg.textContent = '';
        message.upload = true;
        send(message, created);
      });
    } else {
      const chosen = $('lists').value;
      message.list = chosen.startsWith('saved:') ? chosen.slice(6) : chosen;
      if (chosen.startsWith('saved:'))
        message.saved = true;
      send(message, created);
    }
  });
  $('upload').addEventListener('change', () => {
    document.querySelector('input[name=source][value=upload]').checked = true;
  });

  // Word lists from the kanji the class has learned: the host makes them,
  // says how many words, and below a game's worth which kanji would add
  // the most; a list saved is offered in the form above.

  function chosenGrades() {
    return [...document.querySelectorAll('input[name=grade]:checked')].map((b) => Number(b.value));
  }

  let madeFor = null; // the grades and kanji of the list shown

  function makeList() {
    const msg = $('makemsg');
    msg.className = 'msg';
    const request = { t: 'makelist', grades: chosenGrades(), kanji: $('kanji').value };
    if (!request.grades.length && !request.kanji.trim()) {
      msg.textContent = '学年を えらぶか 漢字を はりつけてください';
      return;
    }
    msg.textContent = 'しらべています…';
    const ok = send(request, (reply) => {
      if (reply.t === 'error') {
        msg.textContent = reply.why;
        $('made').hidden = true;
        return;
      }
      msg.textContent = '';
      madeFor = { grades: request.grades, kanji: request.kanji };
      showMade(reply);
    });
    if (!ok)
      msg.textContent = 'つながっていません';
  }

  function showMade(m) {
    const need = limits.wordsPerGame;
    const count = $('madecount');
    const enough = m.count >= need;
    count.className = enough ? '' : 'short';
    count.textContent = '漢字 ' + m.kanji + ' こから ことばが ' + m.count + (m.most ? ' 以上' : '') + ' こ できます。'
      + (enough ? '' : ' ゲームには ' + need + ' こ いります。')
      + (m.unreadable ? ' 手書きで 読めない 漢字は とばしました: ' + m.unreadable : '');
    $('suggestions').replaceChildren(...m.suggestions.map((s) => el('button', {
      type: 'button', title: s.examples.join('、'), 'data-kanji': s.kanji, onclick: () => {
        $('kanji').value = ($('kanji').value + ' ' + s.kanji).trim();
        makeList();
      } }, s.kanji, el('small', { text: '+' + s.adds + '（' + s.examples.join('、') + (s.adds > s.examples.length ? '…' : '') + '）' }))));
    $('madesuggest').hidden = enough || !m.suggestions.length;
    $('madewords').replaceChildren(...m.words.map((w) => el('span', { text: w })),
      ...(m.count > m.words.length ? [el('span', { text: '…' })] : []));
    $('saveform').hidden = !enough;
    $('savemsg').textContent = '';
    $('made').hidden = false;
  }

  $('makeform').addEventListener('submit', (e) => {
    e.preventDefault();
    makeList();
  });

  function saveList(replace) {
    const msg = $('savemsg');
    msg.className = 'msg';
    const name = $('listname').value.trim();
    if (!madeFor || !name)
      return;
    msg.textContent = 'ほぞんしています…';
    send({ t: 'savelist', name, grades: madeFor.grades, kanji: madeFor.kanji, replace }, (reply) => {
      if (reply.t === 'error') {
        if (!replace && /exists already/.test(reply.why)) {
          if (confirm('「' + name + '」は もう あります。おきかえますか？'))
            saveList(true);
          else
            msg.textContent = '';
          return;
        }
        msg.textContent = reply.why;
        return;
      }
      msg.className = 'msg ok';
      msg.textContent = '「' + reply.list + '」（' + reply.count + ' こ）を ほぞんしました。下の フォームで つかえます。';
      // Offered at once in the class game form, chosen there.
      const choose = () => {
        const value = 'saved:' + reply.list;
        if ([...$('lists').options].some((o) => o.value === value)) {
          $('lists').value = value;
          document.querySelector('input[name=source][value=bundled]').checked = true;
          $('newgame').scrollIntoView({ block: 'start' });
          $('gamename').focus({ preventScroll: true });
          return true;
        }
        return false;
      };
      if (!choose())
        setTimeout(choose, 300);
    });
  }

  $('saveform').addEventListener('submit', (e) => {
    e.preventDefault();
    saveList(false);
  });

  function fillSaved(saved) {
    $('savedcount').textContent = String(saved.length);
    $('savedlists').replaceChildren(...saved.map((name) => el('li', {}, el('span', { text: name }),
      el('button', { type: 'button', class: 'danger', text: 'けす', onclick: () => {
        if (confirm('リスト「' + name + '」を けしますか？'))
          send({ t: 'deletelist', name }, (reply) => { if (reply.t === 'error') alert(reply.why); });
      } }))));
  }

  // Open class games: one card each, built once; its changing parts are
  // filled in again whenever the host says something moved.

  // The class code in two groups of four, easier to read out and to copy;
  // behind a proxy the route's two digits first.
  const groupedCode = (code) => (code.length === 10 ? code.slice(0, 2) + ' ' : '')
    + code.slice(code.length === 10 ? 2 : 0).replace(/(\d{4})(?=\d)/g, '$1 ');
  const phaseText = { lobby: 'ロビー', playing: 'ゲーム中', over: 'ゲームおわり', closed: 'おわり' };
  const outcomeText = { win: 'かち', lose: 'まけ', draw: 'ひきわけ', alone: 'ひとり' };
  const linkText = { connected: '', dropped: '（切れています）', waiting: '（まだ来ていません）' };

  function act(message, target) {
    send(message, (reply) => {
      if (reply.t === 'error' && target)
        target.textContent = reply.why;
      else if (target)
        target.textContent = '';
    });
  }

  function newCard(c) {
    const p = {};
    p.name = el('h3');
    p.phase = el('span', { class: 'phase' });
    p.list = el('p');
    p.limits = el('p');
    p.count = el('p');
    p.qr = el('img', { alt: 'QR', src: '/teacher/qr/' + c.id + '.svg' + here });
    p.code = el('div', { class: 'code' });
    p.url = el('div');
    p.msg = el('span', { class: 'msg', role: 'status' });
    const id = c.id;
    p.inOrder = el('button', { type: 'button', 'data-act': 'pair', text: 'じゅんばんに ペア', onclick: () => act({ t: 'pair', class: id, shuffle: false }, p.msg) });
    p.shuffle = el('button', { type: 'button', 'data-act': 'shuffle', text: 'シャッフル', onclick: () => act({ t: 'pair', class: id, shuffle: true }, p.msg) });
    p.swap = el('button', { type: 'button', 'data-act': 'swap', text: 'いれかえ', onclick: () => {
      const s = selected.get(id) || [];
      if (s.length === 2) {
        act({ t: 'swap', class: id, a: s[0], b: s[1] }, p.msg);
        selected.set(id, []);
      }
    } });
    p.remove = el('button', { type: 'button', 'data-act': 'remove', class: 'danger', text: 'はずす', onclick: () => {
      const s = selected.get(id) || [];
      if (s.length === 1 && confirm('この子を クラスから はずしますか？')) {
        act({ t: 'remove', class: id, child: s[0] }, p.msg);
        selected.set(id, []);
      }
    } });
    p.oneDeal = el('input', { type: 'checkbox' });
    p.start = el('button', { type: 'button', 'data-act': 'start', class: 'main', text: 'みんな スタート', onclick: () => act({ t: 'start', class: id, oneDeal: p.oneDeal.checked }, p.msg) });
    p.end = el('button', { type: 'button', 'data-act': 'end', text: 'みんな おわり', onclick: () => act({ t: 'end', class: id }, p.msg) });
    p.release = el('button', { type: 'button', 'data-act': 'release', text: '解除', onclick: () => act({ t: 'release', class: id }, p.msg) });
    p.close = el('button', { type: 'button', 'data-act': 'close', class: 'danger', text: 'クラスゲームを とじる', onclick: () => {
      if (confirm('このクラスゲームを おわりにしますか？ 子どもは もう 入れません。'))
        act({ t: 'close', class: id }, p.msg);
    } });
    p.show = el('button', { type: 'button', 'data-act': 'show', text: '大きく 表示', onclick: () => showScreen(id) });
    p.results = el('button', { type: 'button', 'data-act': 'results', text: '結果', onclick: () => openResults(id) });
    p.kids = el('div', { class: 'kids' });
    p.pairs = el('div', { class: 'pairs' });
    p.matches = el('tbody');
    p.matchTable = el('table', { class: 'table' },
      el('thead', {}, el('tr', {}, ...['ペア', '名前', '点数', 'まちがい', '見つけた単語', 'のこり', 'ようす'].map((t) => el('th', { text: t })))),
      p.matches);
    p.lobbyPart = el('div', {},
      el('h4', { text: 'ロビーと ペア（えらんで いれかえ・はずす）' }), p.kids, p.pairs,
      el('div', { class: 'actions' }, p.inOrder, p.shuffle, p.swap, p.remove,
        el('label', {}, p.oneDeal, ' みんな 同じ 問題'), p.start));
    p.playPart = el('div', {}, el('h4', { text: 'ゲーム' }), p.matchTable,
      el('div', { class: 'actions' }, p.end, p.release));
    const root = el('article', { class: 'class', id: 'class-' + id },
      el('div', { class: 'classhead' },
        el('div', { class: 'codebox' }, p.qr, p.code, p.url),
        el('div', { class: 'info' }, p.name, el('p', {}, p.phase), p.list, p.limits, p.count,
          el('div', { class: 'actions' }, p.show, p.results, p.close, p.msg))),
      p.lobbyPart, p.playPart);
    return { root, p, last: '' };
  }

  function childName(c, id) {
    const k = c.children.find((x) => x.id === id);
    return k ? k.name : '?';
  }

  function fillCard(card, c) {
    const p = card.p;
    p.name.textContent = c.name;
    p.phase.textContent = phaseText[c.phase] + (c.round ? '（' + c.round + 'かいめ）' : '');
    p.phase.className = 'phase ' + c.phase;
    p.list.textContent = '単語リスト: ' + c.list.replace(/\.txt$/, '') + '（' + c.words + '語）';
    p.limits.textContent = (c.timeOn ? '時間 ' + c.time + '秒' : '時間制限なし') + '・'
      + (c.answersOn ? '正解 ' + c.answers + 'こで おわり' : '正解数制限なし');
    const online = c.children.filter((k) => k.online).length;
    p.count.textContent = '子ども ' + c.children.length + '人（つながっている ' + online + '人）';
    p.code.textContent = groupedCode(c.code);
    p.url.textContent = location.host + '/';
    const lobby = c.phase === 'lobby';
    for (const b of [p.inOrder, p.shuffle, p.start])
      b.disabled = !lobby || c.children.length === 0;
    const sel = (selected.get(c.id) || []).filter((id) => c.children.some((k) => k.id === id));
    selected.set(c.id, sel);
    p.swap.disabled = !lobby || sel.length !== 2;
    p.remove.disabled = !lobby || sel.length !== 1;
    p.end.disabled = c.phase !== 'playing';
    p.release.disabled = c.phase !== 'over';

    p.kids.replaceChildren(...c.children.map((k) => {
      const chip = el('span', { class: 'kid' + (sel.includes(k.id) ? ' selected' : ''), role: 'button', tabindex: '0',
        'data-child': String(k.id) }, el('span', { class: 'dot' + (k.online ? ' on' : '') }), k.name);
      const toggle = () => {
        const s = selected.get(c.id) || [];
        const i = s.indexOf(k.id);
        if (i >= 0)
          s.splice(i, 1);
        else
          s.push(k.id);
        selected.set(c.id, s.slice(-2));
        card.last = '';
        fillCard(card, c);
      };
      chip.addEventListener('click', toggle);
      chip.addEventListener('keydown', (e) => { if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); toggle(); } });
      return chip;
    }));
    p.pairs.replaceChildren(...c.pairs.map((pair, i) => el('span', { class: 'pair' },
      (i + 1) + ': ' + pair.map((id) => childName(c, id)).join(' と ') + (pair.length === 1 ? '（ひとりで）' : ''))));

    const rows = [];
    c.matches.forEach((m, i) => {
      m.players.forEach((pl, j) => {
        const left = m.state === 'over' ? '' : m.left < 0 ? '—' : Math.floor(m.left / 60) + ':' + String(m.left % 60).padStart(2, '0');
        const state = m.state === 'over' ? (outcomeText[pl.outcome] || 'おわり') : 'ゲーム中';
        rows.push(el('tr', { 'data-match': String(m.id) },
          el('td', { text: j === 0 ? String(i + 1) : '' }),
          el('td', { text: pl.name + (linkText[pl.link] || '') }),
          el('td', { class: 'num', text: String(pl.score) }),
          el('td', { class: 'num', text: String(pl.wrong) }),
          el('td', { text: pl.words.join(' ') }),
          el('td', { class: 'left', text: j === 0 ? left : '' }),
          el('td', { text: state })));
      });
    });
    p.matches.replaceChildren(...rows);
    p.lobbyPart.hidden = !lobby;
    p.playPart.hidden = c.matches.length === 0;
  }

  let openIds = '';

  function renderClasses(classes) {
    const box = $('classes');
    const ids = new Set(classes.map((c) => c.id));
    // A class game opened or closed: the list of past ones changes too.
    const idText = [...ids].sort().join(',');
    if (idText !== openIds) {
      openIds = idText;
      send({ t: 'past' });
    }
    for (const [id, card] of cards) {
      if (!ids.has(id)) {
        card.root.remove();
        cards.delete(id);
      }
    }
    // Newest first.
    for (const c of classes.slice().reverse()) {
      let card = cards.get(c.id);
      if (!card) {
        card = newCard(c);
        cards.set(c.id, card);
      }
      const text = JSON.stringify(c);
      if (text !== card.last) {
        card.last = text;
        fillCard(card, c);
      }
      box.append(card.root);
    }
    if ($('screen').dataset.class && !ids.has(Number($('screen').dataset.class)))
      $('screen').hidden = true;
    else if (!$('screen').hidden)
      fillScreen(classes.find((c) => String(c.id) === $('screen').dataset.class));
  }

  // The class code, large, for the classroom screen.

  function showScreen(id) {
    const card = cards.get(id);
    if (!card)
      return;
    $('screen').dataset.class = String(id);
    $('screenqr').src = '/teacher/qr/' + id + '.svg' + here;
    fillScreen(JSON.parse(card.last));
    $('screen').hidden = false;
  }

  function fillScreen(c) {
    if (!c)
      return;
    $('screenname').textContent = c.name;
    $('screencode').textContent = groupedCode(c.code);
    $('screencode').classList.toggle('routed', c.code.length > 8);
    $('screenurl').textContent = location.host + '/';
  }

  $('screenclose').addEventListener('click', () => { $('screen').hidden = true; });

  // Past class games and their results.

  function when(text) {
    if (!text)
      return '';
    const d = new Date(text);
    return isNaN(d) ? text : d.toLocaleString('ja-JP', { dateStyle: 'short', timeStyle: 'short' });
  }

  function deleteButton(g) {
    const b = el('button', { type: 'button', class: 'danger', text: 'けす', onclick: () => {
      if (confirm('「' + g.name + '」の 結果を すべて けしますか？ もとに もどせません。'))
        send({ t: 'delete', game: g.id });
    } });
    // An open class game is closed first.
    b.disabled = g.open || !!g.elsewhere;
    return b;
  }

  function renderPast(games) {
    $('past').tBodies[0].replaceChildren(...games.map((g) => el('tr', {},
      el('td', { text: g.name }),
      el('td', { text: g.list.replace(/\.txt$/, '') }),
      el('td', { text: when(g.created) }),
      el('td', {}, g.elsewhere
        ? el('a', { class: 'button', href: '/teacher/?h=' + g.elsewhere, 'data-elsewhere': g.elsewhere,
          text: 'ひらく（サーバー ' + g.elsewhere + '）' })
        : (g.open ? '（ひらいています）' : when(g.closed))),
      el('td', { class: 'num', text: String(g.children) }),
      el('td', { class: 'num', text: String(g.games) }),
      el('td', {},
        el('button', { type: 'button', text: '結果', onclick: () => openResults(g.id) }), ' ',
        el('a', { class: 'button', href: '/teacher/results/' + g.id + '.csv', download: 'taruvo-' + g.id + '.csv', text: 'CSV' }), ' ',
        deleteButton(g)))));
    if (shownResults && !games.some((g) => g.id === shownResults))
      $('results').hidden = true;
  }

  // Each child's review of a game, and once a game the sheet of its words,
  // as pages of their own to print.
  function printLinks(r, firstOfGame) {
    const review = el('a', { class: 'button', href: '/teacher/review/' + r.game + '-' + r.child + '.html',
      target: '_blank', rel: 'noopener', text: 'ふりかえり', 'data-review': r.game + '-' + r.child });
    if (!firstOfGame)
      return [review];
    return [review, ' ', el('a', { class: 'button', href: '/teacher/sheet/' + r.game + '.html', target: '_blank',
      rel: 'noopener', text: 'シート', title: 'ゲームの ことばと よみ（A4）', 'data-sheet': String(r.game) })];
  }

  function openResults(id) {
    send({ t: 'results', game: id }, (m) => {
      if (m.t !== 'results')
        return;
      shownResults = id;
      $('resultstitle').textContent = m.game.name + ' の 結果';
      $('resultsinfo').textContent = '単語リスト: ' + m.game.list.replace(/\.txt$/, '') + '・子ども ' + m.children.length
        + '人・' + when(m.game.created) + (m.game.closed ? ' 〜 ' + when(m.game.closed) : '');
      $('csv').href = '/teacher/results/' + id + '.csv';
      $('csv').setAttribute('download', 'taruvo-' + id + '.csv');
      $('resultstable').tBodies[0].replaceChildren(...m.rows.map((r, i) => el('tr', {},
        el('td', { class: 'num', text: String(r.round) }),
        el('td', { text: r.name }),
        el('td', { text: r.partner || '（ひとり）' }),
        el('td', { text: r.words.join(' ') }),
        el('td', { class: 'num', text: String(r.wrong) }),
        el('td', { class: 'num', text: String(r.score) }),
        el('td', { text: r.outcomeText }),
        el('td', { text: r.stateText }),
        el('td', { class: 'noprint' }, ...printLinks(r, i === 0 || m.rows[i - 1].game !== r.game)))));
      $('results').hidden = false;
      $('results').scrollIntoView({ block: 'start' });
      send({ t: 'past' });
    });
  }

  $('print').addEventListener('click', () => window.print());
  $('closeresults').addEventListener('click', () => { $('results').hidden = true; shownResults = 0; });

  // Start: the session cookie, if any, comes with the socket.
  connect();
  setInterval(() => {
    if (ws && ws.readyState === WebSocket.OPEN && authed) {
      if (Date.now() - lastHeard > 20000) {
        ws.close();
        return;
      }
      send({ t: 'ping' });
    }
  }, 5000);
})();
