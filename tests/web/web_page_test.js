// The web edition in headless Chromium, against the native program's run of the same case.
//   node web_page_test.js CASE SITE-DIR NATIVE-BUILD-DIR EXAMPLES-DIR
// CASE: install (the whole sample installation with the restart), refused, timeout. Each loads
// the page with ?virtual&virtual-clock&yes&package=... (and the case's instrument fault), waits
// for the title that tells the outcome, and compares the boxes and the trace, request for request,
// with velda-installer --virtual --virtual-clock --tui --yes --trace of the same package.
"use strict";
const assert = require("assert");
const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const { serve, CBrowser } = require("./chromium");

const CASES = {
  install: { faults: [], title: "VELDA Installer: completed (exit code 0)", exit: 0,
    box: "Installation is completed.\r\nPlease turn the power switch of the instrument off." },
  refused: { faults: ["fault=refuse:block-start:3"], title: "VELDA Installer: refused (exit code 3)", exit: 3,
    box: "I have a Error. \r\n Close Install Jub." },
  timeout: { faults: ["fault=no-reply:block-start:2"], title: "VELDA Installer: timed-out (exit code 4)", exit: 4,
    box: " \r\n Time Out   \r\n" },
};

// The messages of a trace, in order: "> F0 .. F7" sent and "< F0 .. F7" received.
function messages(trace) {
  return trace.split("\n").map((l) => l.match(/^\d+ ([<>] F0 .*)$/)).filter(Boolean).map((m) => m[1]);
}

async function main() {
  const [name, site, native, examples] = process.argv.slice(2);
  const c = CASES[name];
  assert(c, "unknown case " + name);
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "velda-web-test-"));
  let browser;
  let server;
  try {
    const pkg = path.join(work, "velda.uxs");
    execFileSync(path.join(native, "examples/velda-sample"), ["make", path.join(examples, "sample"), pkg]);
    const nativeTrace = path.join(work, "native.trace");
    const args = ["--virtual", "--virtual-clock", "--tui", "--yes", "--trace", nativeTrace, "--package", pkg];
    for (const f of c.faults) args.push("--instrument", f);
    let nativeExit = 0;
    try {
      execFileSync(path.join(native, "apps/velda-installer/velda-installer"), args, { cwd: work, stdio: "ignore" });
    } catch (e) { nativeExit = e.status; }
    assert.strictEqual(nativeExit, c.exit, "the native run's exit code");

    server = await serve({ "/pkg/": work, "/": path.resolve(site) });
    const base = "http://127.0.0.1:" + server.address().port + "/";
    browser = await CBrowser.launch();
    const query = "?virtual&virtual-clock&yes&package=/pkg/velda.uxs" +
      c.faults.map((f) => "&instrument=" + encodeURIComponent(f)).join("");
    await browser.page("Page.navigate", { url: base + "index.html" + query });
    const title = await browser.waitFor("/exit code/.test(document.title) && document.title", 120000, "the end title");
    assert.strictEqual(title, c.title);

    const boxes = await browser.eval("window.veldaBoxes || []");
    assert(boxes.length >= 5, "the four questions and the last box: " + JSON.stringify(boxes));
    const last = boxes[boxes.length - 1];
    assert.strictEqual(last.text, c.box);
    assert.notStrictEqual(last.icon, "none", "the box has an icon");
    assert.strictEqual(await browser.eval("document.querySelectorAll('.box').length"), 0, "every box is gone");

    const pageTrace = await browser.eval("document.getElementById('trace').textContent");
    const want = messages(fs.readFileSync(nativeTrace, "utf8"));
    const got = messages(pageTrace);
    assert(want.length > 10, "the native run traced its messages");
    for (let i = 0; i < Math.max(want.length, got.length); ++i) {
      assert.strictEqual(got[i], want[i], "message " + (i + 1) + " of " + want.length + " differs");
    }
    console.log(name + ": " + got.length + " messages as the native run's, title \"" + title + "\"");
  } finally {
    if (browser) await browser.close();
    if (server) server.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
}

main().then(() => process.exit(0), (e) => { console.error(e.stack || String(e)); process.exit(1); });
