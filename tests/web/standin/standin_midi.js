// A stand-in for the browser's Web MIDI, put into the page before its own scripts:
// navigator.requestMIDIAccess gives a MIDIAccess with the instrument's two ports, and behind them
// the simulated instrument (standin-instrument.js, served under /standin/) answers. Its replies
// reach the page cut into several onmidimessage events; its restart makes both ports disconnected
// and then connected again, each time with a statechange. What passed is kept in
// globalThis.veldaStandIn for the test. Settings: globalThis.veldaStandInSettings, one
// KEY=VALUE a line.
(function () {
  "use strict";
  // The sizes the replies are cut into, taken in turn: one byte, odd sizes, more than a reply.
  const CUTS = [1, 200, 3, 256, 17, 4096];
  const s = {
    asked: [], sent: [], events: 0, vanished: 0, returned: 0, failures: [],
    deliver: null, present: null, failed: (why) => s.failures.push(why), dump: null,
  };
  globalThis.veldaStandIn = s;
  let mod = null;
  let cut = 0;
  let access = null;

  function port(type, id, name) {
    return {
      type, id, name, manufacturer: "HALVEN", version: "1", state: "connected", connection: "closed",
      onmidimessage: null, onstatechange: null,
      open() { this.connection = "open"; return Promise.resolve(this); },
      close() { this.connection = "closed"; return Promise.resolve(this); },
    };
  }
  const input = port("input", "in-1", "HALVEN USB IN 0-1");
  const output = port("output", "out-1", "HALVEN USB OUT 0-1");

  // As the browser does: a gone port throws; a send is one or more whole messages.
  output.send = function (data) {
    if (this.state === "disconnected") throw new DOMException("The port is disconnected.", "InvalidStateError");
    const bytes = Array.from(data);
    if (bytes[0] !== 0xf0 || bytes[bytes.length - 1] !== 0xf7 || bytes.slice(1, -1).some((b) => b > 0x7f)) {
      throw new TypeError("Not one whole system-exclusive message: " + bytes.length + " bytes");
    }
    s.sent.push(bytes);
    const p = mod._malloc(bytes.length);
    mod.writeArrayToMemory(bytes, p);
    mod._standin_message(p, bytes.length);
    mod._free(p);
  };

  // One delivery of the instrument, in order after the ones before it.
  let tail = Promise.resolve();
  s.deliver = function (bytes) {
    const parts = [];
    for (let i = 0; i < bytes.length;) {
      const n = CUTS[cut++ % CUTS.length];
      parts.push(bytes.slice(i, i + n));
      i += n;
    }
    for (const part of parts) {
      tail = tail.then(() => new Promise((resolve) => setTimeout(() => {
        if (input.state === "connected" && input.onmidimessage) {
          s.events++;
          input.onmidimessage({ data: Uint8Array.from(part), timeStamp: performance.now(), target: input });
        }
        resolve();
      }, 0)));
    }
  };

  s.present = function (bPresent) {
    for (const p of [input, output]) {
      p.state = bPresent ? "connected" : "disconnected";
      if (!bPresent) p.connection = "closed";
    }
    if (bPresent) s.returned++; else s.vanished++;
    for (const p of [input, output]) {
      const e = { port: p };
      if (access && access.onstatechange) access.onstatechange(e);
      if (p.onstatechange) p.onstatechange(e);
    }
  };

  // The instrument's memory as Intel HEX texts by file name.
  s.dump = function () {
    if (!mod.ccall("standin_dump", "number", ["string"], ["/memory"])) return null;
    const files = {};
    for (const f of mod.FS.readdir("/memory")) {
      if (f !== "." && f !== "..") files[f] = mod.FS.readFile("/memory/" + f, { encoding: "utf8" });
    }
    return files;
  };

  function loadInstrument() {
    return new Promise((resolve, reject) => {
      const script = document.createElement("script");
      script.src = "/standin/standin-instrument.js";
      script.onload = () => globalThis.VeldaStandInInstrument().then(resolve, reject);
      script.onerror = () => reject(new Error("standin-instrument.js could not be loaded"));
      document.head.appendChild(script);
    });
  }

  Object.defineProperty(navigator, "requestMIDIAccess", {
    configurable: true,
    value: function (options) {
      s.asked.push(options || {});
      if (!options || !options.sysex) return Promise.reject(new DOMException("SysEx not asked for", "SecurityError"));
      return loadInstrument().then((m) => {
        mod = m;
        if (!mod.ccall("standin_start", "number", ["string"], [globalThis.veldaStandInSettings || ""])) {
          throw new DOMException("the stand-in's settings: " + s.failures.join("; "), "InvalidStateError");
        }
        access = {
          inputs: new Map([[input.id, input]]), outputs: new Map([[output.id, output]]),
          sysexEnabled: true, onstatechange: null,
        };
        return access;
      });
    },
  });
})();
