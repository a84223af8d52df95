// Headless Chromium driven over its DevTools protocol through a pipe (--remote-debugging-pipe:
// requests on fd 3, answers and events on fd 4, each a JSON text ended by a NUL byte), and a
// static file server on a free loopback port. No browser download, no npm package.
"use strict";
const { spawn } = require("child_process");
const fs = require("fs");
const http = require("http");
const os = require("os");
const path = require("path");

const TYPES = { ".html": "text/html", ".js": "text/javascript", ".css": "text/css", ".wasm": "application/wasm",
  ".png": "image/png", ".uxs": "application/octet-stream", ".txt": "text/plain" };

// Serves each mount (url prefix -> folder) on 127.0.0.1 at a port the system picks.
function serve(mounts) {
  const server = http.createServer((req, res) => {
    const url = decodeURIComponent(new URL(req.url, "http://x").pathname);
    for (const [prefix, dir] of Object.entries(mounts)) {
      if (!url.startsWith(prefix)) continue;
      const file = path.join(dir, url.slice(prefix.length) || "index.html");
      if (!file.startsWith(dir)) break;
      fs.readFile(file, (err, data) => {
        if (err) { res.writeHead(404); res.end(); return; }
        res.writeHead(200, { "Content-Type": TYPES[path.extname(file)] || "application/octet-stream" });
        res.end(data);
      });
      return;
    }
    res.writeHead(404); res.end();
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server)));
}

class CBrowser {
  static async launch() {
    const b = new CBrowser();
    b.profile = fs.mkdtempSync(path.join(os.tmpdir(), "velda-web-chromium-"));
    b.proc = spawn(process.env.CHROMIUM || "/usr/bin/chromium", [
      "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--disable-dev-shm-usage", "--remote-debugging-pipe", "--user-data-dir=" + b.profile, "about:blank"],
      { stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"] });
    b.stderr = "";
    b.proc.stderr.on("data", (d) => { b.stderr += d; });
    b.next = 1; b.pending = new Map(); b.listeners = []; b.buf = Buffer.alloc(0);
    b.proc.stdio[4].on("data", (d) => b.onData(d));
    b.exited = new Promise((r) => b.proc.on("exit", r));
    const { targetInfos } = await b.send("Target.getTargets");
    const page = targetInfos.find((t) => t.type === "page");
    const { sessionId } = await b.send("Target.attachToTarget", { targetId: page.targetId, flatten: true });
    b.session = sessionId;
    return b;
  }

  onData(d) {
    this.buf = Buffer.concat([this.buf, d]);
    let i;
    while ((i = this.buf.indexOf(0)) >= 0) {
      const msg = JSON.parse(this.buf.subarray(0, i).toString("utf8"));
      this.buf = this.buf.subarray(i + 1);
      if (msg.id && this.pending.has(msg.id)) {
        const { resolve, reject } = this.pending.get(msg.id);
        this.pending.delete(msg.id);
        if (msg.error) reject(new Error(JSON.stringify(msg.error))); else resolve(msg.result);
      } else if (msg.method) {
        for (const fn of this.listeners) fn(msg);
      }
    }
  }

  send(method, params = {}, sessionId) {
    const id = this.next++;
    const msg = { id, method, params };
    if (sessionId) msg.sessionId = sessionId;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.proc.stdio[3].write(JSON.stringify(msg) + "\0");
    });
  }

  // A command to the page.
  page(method, params) { return this.send(method, params, this.session); }

  // The value of a JavaScript expression in the page (awaited when it is a promise).
  async eval(expr) {
    const r = await this.page("Runtime.evaluate", { expression: expr, returnByValue: true, awaitPromise: true });
    if (r.exceptionDetails) throw new Error("in the page: " + JSON.stringify(r.exceptionDetails));
    return r.result.value;
  }

  // Polls expr until it is truthy; its value, or an error after ms milliseconds.
  async waitFor(expr, ms, what) {
    const end = Date.now() + ms;
    for (;;) {
      const v = await this.eval(expr);
      if (v) return v;
      if (Date.now() > end) throw new Error("timed out waiting for " + (what || expr));
      await new Promise((r) => setTimeout(r, 50));
    }
  }

  async close() {
    try { await this.send("Browser.close"); } catch (e) { /* already gone */ }
    const t = setTimeout(() => this.proc.kill("SIGKILL"), 5000);
    await this.exited;
    clearTimeout(t);
    fs.rmSync(this.profile, { recursive: true, force: true });
  }
}

module.exports = { serve, CBrowser };
