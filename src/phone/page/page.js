// The phone's side: the key and session come from the link's fragment, which the browser
// never sends; every call and answer is sealed with that key.
(function () {
  'use strict';
  var S = window.TextdropSeal, nacl = window.nacl;
  var encoder = new TextEncoder(), decoder = new TextDecoder();
  var link = new URLSearchParams(location.hash.slice(1));
  var session = link.get('s') || '';
  var key = null;
  try { key = S.fromBase64(link.get('k') || ''); } catch (e) { key = null; }
  var state = document.getElementById('state');
  var text = document.getElementById('text');
  var send = document.getElementById('send');
  var received = document.getElementById('received');
  var none = document.getElementById('none');
  var since = 0;
  var paired = false; // as the program last said

  function show(message, kind) { state.textContent = message; state.className = kind; }

  function Refused(status) { this.status = status; }

  function call(kind, fields) {
    fields.to = 'desktop';
    fields.kind = kind;
    var body = S.seal(nacl, key, encoder.encode(JSON.stringify(fields)));
    return fetch('/api/' + kind, {
      method: 'POST', cache: 'no-store', body: body,
      headers: { 'Content-Type': 'application/octet-stream', 'X-Session': session }
    }).then(function (response) {
      if (!response.ok) throw new Refused(response.status);
      return response.arrayBuffer();
    }).then(function (bytes) {
      var opened = S.open(nacl, key, new Uint8Array(bytes));
      var answer = opened && JSON.parse(decoder.decode(opened));
      if (!answer || answer.to !== 'page') throw new Refused(0);
      take(answer);
      return answer;
    });
  }

  function take(answer) {
    paired = answer.state === 'paired';
    send.disabled = !paired;
    show(paired ? 'Connected' : 'Waiting for the computer to allow this phone…', paired ? 'ok' : 'waiting');
    (answer.texts || []).forEach(function (item) {
      if (item.id <= since) return;
      since = item.id;
      add(decoder.decode(S.fromBase64(item.text)));
    });
  }

  function copy(value, button) {
    function done() { button.textContent = 'Copied'; setTimeout(function () { button.textContent = 'Copy'; }, 1500); }
    if (navigator.clipboard && window.isSecureContext) {
      navigator.clipboard.writeText(value).then(done, function () { fallback(value) && done(); });
    } else if (fallback(value)) {
      done();
    }
  }

  // Plain http may not use the clipboard API: the older command still copies a selection.
  function fallback(value) {
    var area = document.createElement('textarea');
    area.value = value;
    area.setAttribute('readonly', '');
    area.style.position = 'fixed';
    area.style.opacity = '0';
    document.body.appendChild(area);
    area.select();
    var ok = false;
    try { ok = document.execCommand('copy'); } catch (e) { ok = false; }
    document.body.removeChild(area);
    return ok;
  }

  function add(value) {
    var item = document.createElement('li');
    var shown = document.createElement('pre');
    shown.textContent = value;
    var button = document.createElement('button');
    button.type = 'button';
    button.textContent = 'Copy';
    button.addEventListener('click', function () { copy(value, button); });
    item.appendChild(shown);
    item.appendChild(button);
    received.insertBefore(item, received.firstChild);
    none.hidden = true;
  }

  function wait(ms) { return new Promise(function (resolve) { setTimeout(resolve, ms); }); }

  function poll(failures) {
    return call('poll', { since: since, paired: paired }).then(function () { return poll(0); }, function (e) {
      if (e instanceof Refused && e.status === 403) { refused(); return; }
      show('Not connected: trying again…', 'bad');
      return wait(Math.min(30000, 1000 * Math.pow(2, failures))).then(function () { return poll(failures + 1); });
    });
  }

  function refused() {
    send.disabled = true;
    show('Not paired: scan a new code on the computer', 'bad');
  }

  function guessName() {
    var agent = navigator.userAgent;
    if (/iPhone/.test(agent)) return 'iPhone';
    if (/iPad/.test(agent)) return 'iPad';
    if (/Android/.test(agent)) return 'Android phone';
    return 'browser';
  }

  send.addEventListener('click', function () {
    var value = text.value;
    var bytes = encoder.encode(value);
    if (bytes.length === 0) return;
    if (bytes.length > 1024 * 1024) { show('Too long: at most 1 MiB', 'bad'); return; }
    send.disabled = true;
    call('send', { text: S.toBase64(bytes) }).then(function () {
      if (text.value === value) text.value = '';
      show('Sent', 'ok');
    }, function (e) {
      send.disabled = false;
      show(e instanceof Refused && e.status === 413 ? 'Too long: at most 1 MiB' : 'Not sent: try again', 'bad');
    });
  });

  if (!key || key.length !== 32 || !session) { refused(); return; }
  call('hello', { name: guessName() }).then(function () { return poll(0); }, function (e) {
    if (e instanceof Refused && e.status !== 0) refused();
    else show('Not connected: reload to try again', 'bad');
  });
})();
