// The web edition in headless Chromium, against the native program's run of the same case.
//   node web_page_test.js CASE SITE-DIR NATIVE-BUILD-DIR EXAMPLES-DIR
// CASE: install (the whole sample installation with the restart), refused, timeout. Each loads
// the page with ?virtual&virtual-clock&yes&package=... (and the case's instrument fault), waits
// for the title that tells the outcome, and compares the boxes and the trace, request for request,
// with velda-installer --virtual --virtual-clock --tui --yes --trace of the same package.
// CASE standin: the page on its Web MIDI backend, in real time, against a stand-in MIDIAccess
// with the simulated instrument behind it (VELDA_STANDIN_SCRIPT, VELDA_STANDIN_DIR): the bytes the
// ports carried, the replies in pieces, the ports gone and back at the restart, the memory.
// CASE denied, missing: Web MIDI refused for the page, or not there (Safari): the page says so
// and ends with the port error, without a native run to compare.
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
  denied: { faults: [], title: "VELDA Installer: port-error (exit code 7)", deny: true,
    text: "the browser did not allow MIDI with SysEx for this page" },
  missing: { faults: [], title: "VELDA Installer: port-error (exit code 7)",
    script: "Object.defineProperty(navigator, 'requestMIDIAccess', { value: undefined, configurable: true });",
    text: "this browser has no Web MIDI" },
  standin: { faults: [], title: "VELDA Installer: completed (exit code 0)", exit: 0, standin: true,
    box: "Installation is completed.\r\nPlease turn the power switch of the instrument off." },
};

// The messages of a trace, in order: "> F0 .. F7" sent and "< F0 .. F7" received.
function messages(trace) {
  return trace.split("\n").map((l) => l.match(/^\d+ ([<>] F0 .*)$/)).filter(Boolean).map((m) => m[1]);
}

// What the stand-in MIDIAccess saw: asked once with SysEx, every request as the native run sent
// it, the replies in more events than messages, the ports gone and back; the memory it was left
// with equals the package.
async function checkStandIn(browser, want, work, native, examples, pkg) {
  const st = await browser.eval(`({ asked: veldaStandIn.asked, events: veldaStandIn.events,
    vanished: veldaStandIn.vanished, returned: veldaStandIn.returned, failures: veldaStandIn.failures,
    sent: veldaStandIn.sent.map((m) => m.map((b) => b.toString(16).toUpperCase().padStart(2, "0")).join(" ")) })`);
  assert.deepStrictEqual(st.asked, [{ sysex: true }], "MIDI access asked for once, with SysEx");
  assert.deepStrictEqual(st.failures, []);
  const sent = want.filter((m) => m.startsWith("> ")).map((m) => m.slice(2));
  assert.strictEqual(st.sent.length, sent.length, "messages the output port carried");
  sent.forEach((m, i) => assert.strictEqual(st.sent[i], m, "message " + (i + 1) + " on the output port"));
  const replies = want.filter((m) => m.startsWith("< ")).length;
  assert(st.events > replies, st.events + " events for " + replies + " replies: the replies came in pieces");
  assert(st.vanished >= 1 && st.returned >= 1, "the ports vanished (" + st.vanished + ") and came back (" + st.returned + ")");
  const files = await browser.eval("veldaStandIn.dump()");
  assert(files && Object.keys(files).length > 0, "the stand-in's memory dump");
  const memory = path.join(work, "memory");
  fs.mkdirSync(memory);
  for (const [f, text] of Object.entries(files)) fs.writeFileSync(path.join(memory, f), text);
  execFileSync(path.join(native, "examples/velda-sample"), ["check", path.join(examples, "sample"), pkg, memory]);
  console.log("standin: " + st.events + " events for " + replies + " replies, the ports gone " + st.vanished +
    " times and back " + st.returned + " times, the memory equal to the package");
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
    if (!c.text) {
      const args = ["--virtual", "--virtual-clock", "--tui", "--yes", "--trace", nativeTrace, "--package", pkg];
      for (const f of c.faults) args.push("--instrument", f);
      let nativeExit = 0;
      try {
        execFileSync(path.join(native, "apps/velda-installer/velda-installer"), args, { cwd: work, stdio: "ignore" });
      } catch (e) { nativeExit = e.status; }
      assert.strictEqual(nativeExit, c.exit, "the native run's exit code");
    }

    // The first prefix that fits serves a file: the site's root comes last.
    const mounts = { "/pkg/": work };
    if (c.standin) mounts["/standin/"] = path.resolve(process.env.VELDA_STANDIN_DIR);
    mounts["/"] = path.resolve(site);
    server = await serve(mounts);
    const base = "http://127.0.0.1:" + server.address().port + "/";
    browser = await CBrowser.launch();
    const script = c.standin ? fs.readFileSync(process.env.VELDA_STANDIN_SCRIPT, "utf8") : c.script;
    if (script) {
      await browser.page("Page.enable");
      await browser.page("Page.addScriptToEvaluateOnNewDocument", { source: script });
    }
    if (c.deny) {
      await browser.send("Browser.setPermission",
        { origin: base.slice(0, -1), permission: { name: "midi", sysex: true }, setting: "denied" });
    }
    const webMidi = c.standin || c.deny || c.script;
    const query = (webMidi ? "?yes" : "?virtual&virtual-clock&yes") + "&package=/pkg/velda.uxs" +
      c.faults.map((f) => "&instrument=" + encodeURIComponent(f)).join("");
    await browser.page("Page.navigate", { url: base + "index.html" + query });
    if (c.standin && process.env.VELDA_WEB_SCREENSHOT) {
      // The page during the upload: data packets (2821 bytes each) have gone out.
      await browser.waitFor("globalThis.veldaStandIn && veldaStandIn.sent.filter((m) => m.length > 2000).length >= 5",
        180000, "the upload");
      const { data } = await browser.page("Page.captureScreenshot", { format: "png" });
      fs.writeFileSync(process.env.VELDA_WEB_SCREENSHOT, Buffer.from(data, "base64"));
    }
    const title = await browser.waitFor("/exit code/.test(document.title) && document.title",
      c.standin ? 240000 : 120000, "the end title");
    if (title !== c.title) {
      const page = await browser.eval("document.body.innerText + ' | ' + JSON.stringify(globalThis.veldaStandIn || null)");
      assert.fail("title \"" + title + "\", expected \"" + c.title + "\"; the page: " + page.slice(0, 2000));
    }

    if (c.text) {
      const text = await browser.eval("document.body.innerText");
      assert(text.includes(c.text), "the page does not say \"" + c.text + "\": " + text.slice(0, 1000));
      console.log(name + ": the page says \"" + c.text + "\", title \"" + title + "\"");
      return;
    }
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
    if (c.standin) await checkStandIn(browser, want, work, native, examples, pkg);
    console.log(name + ": " + got.length + " messages as the native run's, title \"" + title + "\"");
  } finally {
    if (browser) await browser.close();
    if (server) server.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
}

main().then(() => process.exit(0), (e) => { console.error(e.stack || String(e)); process.exit(1); });
