// The server's API as the console uses it: requests with the token (asked once, or taken from
// ?token= in the page's address), and the WebSocket that pushes the channel's state, opened
// again by itself whenever it is lost.

const params = new URLSearchParams(location.search);

function readCookie(name) {
  const m = document.cookie.split('; ').find((c) => c.startsWith(name + '='));
  return m ? decodeURIComponent(m.slice(name.length + 1)) : '';
}

let token = params.get('token') || readCookie('vxosd_token');

// The preview (an <img>) and the WebSocket cannot send headers: the cookie carries the token.
function keepToken(value) {
  token = value;
  document.cookie = `vxosd_token=${encodeURIComponent(value)}; path=/; SameSite=Strict`;
}
if (token) keepToken(token);

let asking = null;
function askToken() {
  if (asking) return asking;
  const dialog = document.getElementById('token-dialog');
  asking = new Promise((resolve) => {
    dialog.addEventListener('close', () => {
      keepToken(document.getElementById('token-input').value.trim());
      asking = null;
      resolve();
    }, { once: true });
    dialog.showModal();
  });
  return asking;
}

export class ApiError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

// A JSON request; asks for the token when the server wants one, then tries again.
export async function request(method, path, body) {
  for (let attempt = 0; ; ++attempt) {
    const headers = {};
    if (token) headers.Authorization = `Bearer ${token}`;
    if (body !== undefined) headers['Content-Type'] = 'application/json';
    const r = await fetch(path, { method, headers, body: body === undefined ? undefined : JSON.stringify(body) });
    if (r.status === 401 && attempt < 3) {
      await askToken();
      continue;
    }
    const json = await r.json().catch(() => null);
    if (!r.ok) throw new ApiError(r.status, json?.error?.message || r.statusText);
    return json;
  }
}

// Subscribes to a channel and hands every event to onEvent; onStatus('connected' | 'lost').
export class Live {
  constructor(channel, onEvent, onStatus) {
    this.channel = channel;
    this.onEvent = onEvent;
    this.onStatus = onStatus;
    this.delay = 500;
    this.closed = false;
    this.open();
  }

  async open() {
    if (this.closed) return;
    // A plain request first: it asks for the token if needed, and tells a server that is down.
    try {
      await request('GET', '/api/v1/channels');
    } catch (e) {
      this.onStatus('lost');
      return this.retry();
    }
    const ws = new WebSocket(`${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/api/v1/ws`);
    this.ws = ws;
    ws.onopen = () => {
      this.delay = 500;
      ws.send(JSON.stringify({ type: 'request', id: 'sub', request: 'subscribe', channel: this.channel }));
      this.onStatus('connected');
    };
    ws.onmessage = (m) => {
      let msg;
      try { msg = JSON.parse(m.data); } catch { return; }
      if (msg.type === 'event') this.onEvent(msg.event, msg.data);
    };
    ws.onclose = () => {
      if (this.ws !== ws) return;
      this.ws = null;
      this.onStatus('lost');
      this.retry();
    };
  }

  retry() {
    if (this.closed) return;
    setTimeout(() => this.open(), this.delay);
    this.delay = Math.min(this.delay * 2, 4000);
  }

  close() {
    this.closed = true;
    if (this.ws) {
      const ws = this.ws;
      this.ws = null;
      ws.close();
    }
  }
}
