// The page around the installer: it gets the package, starts the program with the command line
// that its query asks for, and draws the installer's windows and boxes (window.veldaUi, called by
// the program's front end). Query options, for tests and demos, as on the command line:
//   ?virtual            the built-in simulated instrument instead of Web MIDI
//   &yes                every box answered OK
//   &package=URL        the package fetched from this site
//   &instrument=K=V     a setting of the simulated instrument (may repeat)
//   &virtual-clock      the simulated instrument on a virtual clock (no real waits)
// At the end the title tells the outcome and exit code, and the trace is shown (id "trace").
"use strict";
(function () {
  var INPUT_CLICK = 0, INPUT_CLOSE = 1, INPUT_COMBO = 2, INPUT_BOX = 3;
  var IDOK = 1, IDCANCEL = 2;
  var query = new URLSearchParams(location.search);
  var automated = ["virtual", "yes", "package", "instrument", "virtual-clock", "trace"].some(function (k) { return query.has(k); });
  var windows = {};      // hwnd -> {el, controls: id -> element, tmpl}
  var boxes = [];        // open boxes, the newest last
  var started = false;

  function $(id) { return document.getElementById(id); }
  function input(kind, hwnd, id, value) { Module._velda_web_input(kind, hwnd, id, value); }

  function commandLine() {
    var args = [];
    if (query.has("virtual")) args.push("--virtual");
    if (query.has("virtual-clock")) args.push("--virtual-clock");
    if (query.has("yes")) args.push("--yes");
    query.getAll("instrument").forEach(function (v) { args.push("--instrument=" + v); });
    return args;
  }

  function showStartError(text) { $("start-error").textContent = text; }

  function start(bytes) {
    if (started) return;
    started = true;
    Module.FS.writeFile("/velda.uxs", bytes);
    $("start").hidden = true;
    Module.callMain(commandLine());
  }

  function readFile(file) {
    if (!file) return;
    file.arrayBuffer().then(function (buf) { start(new Uint8Array(buf)); },
      function () { showStartError("The file " + file.name + " could not be read."); });
  }

  function fetchPackage(url) {
    var target = new URL(url, location.href);
    if (target.origin !== location.origin) { showStartError("package=: only a file of this site can be loaded."); return; }
    fetch(target.href, { credentials: "same-origin" }).then(function (r) {
      if (!r.ok) throw new Error(r.status + " " + r.statusText);
      return r.arrayBuffer();
    }).then(function (buf) { start(new Uint8Array(buf)); },
      function (e) { showStartError("The package " + url + " could not be loaded: " + e.message); });
  }

  // ---- windows ----
  function px(dlu, axis) { return "calc(" + dlu + " * var(--dlu-" + axis + "))"; }

  function place(el, c) {
    el.style.left = px(c.x, "x"); el.style.top = px(c.y, "y");
    el.style.width = px(c.cx, "x"); el.style.height = px(c.cy, "y");
  }

  function makeControl(hwnd, c) {
    var el;
    if (c.kind === "button") {
      el = document.createElement("button");
      el.type = "button";
      el.textContent = c.text;
      el.addEventListener("click", function () { input(INPUT_CLICK, hwnd, c.id, 0); });
    } else if (c.kind === "combo") {
      el = document.createElement("select");
      el.addEventListener("change", function () { input(INPUT_COMBO, hwnd, c.id, el.selectedIndex); });
    } else if (c.kind === "progress") {
      el = document.createElement("div");
      el.setAttribute("role", "progressbar");
      el.appendChild(document.createElement("div"));
    } else {
      el = document.createElement("div");
      el.textContent = c.text;
      if (c.kind === "edit") el.setAttribute("role", "status");
    }
    el.className = "ctl " + c.kind;
    if (c.id > 0) el.dataset.id = c.id;
    place(el, c);
    el.hidden = !c.visible;
    if ("disabled" in el) el.disabled = !c.enabled;
    return el;
  }

  function modalFor(w) {
    // A window made while another one shows is the modal MIDI Port Select dialog.
    return Object.keys(windows).length > 0;
  }

  var ui = {
    windowCreated: function (t) {
      var root = document.createElement("section");
      root.className = "window";
      root.dataset.template = t.id;
      root.setAttribute("role", "dialog");
      root.setAttribute("aria-label", t.caption);
      var title = document.createElement("div");
      title.className = "title";
      var caption = document.createElement("span");
      caption.textContent = t.caption;
      title.appendChild(caption);
      if (t.closeBox) {
        var x = document.createElement("button");
        x.type = "button"; x.className = "close-box"; x.textContent = "\u2715"; x.setAttribute("aria-label", "Close");
        x.addEventListener("click", function () { input(INPUT_CLOSE, t.hwnd, 0, 0); });
        title.appendChild(x);
      }
      root.appendChild(title);
      var client = document.createElement("div");
      client.className = "client";
      client.style.width = px(t.cx, "x"); client.style.height = px(t.cy, "y");
      root.appendChild(client);
      var w = { el: root, controls: {}, tmpl: t, layer: null };
      t.controls.forEach(function (c) {
        var el = makeControl(t.hwnd, c);
        client.appendChild(el);
        if (c.id > 0) w.controls[c.id] = el;
        if (c.default) w.defaultId = c.id;
      });
      root.addEventListener("keydown", function (e) {
        if (boxes.length) return;
        if (e.key === "Escape") { e.preventDefault(); input(INPUT_CLOSE, t.hwnd, 0, 0); }
        else if (e.key === "Enter" && e.target.tagName !== "BUTTON" && w.defaultId) {
          e.preventDefault(); input(INPUT_CLICK, t.hwnd, w.defaultId, 0);
        }
      });
      root.hidden = true;
      if (modalFor(w)) {
        w.layer = document.createElement("div");
        w.layer.className = "modal-layer";
        root.setAttribute("aria-modal", "true");
        w.layer.appendChild(root);
        w.layer.hidden = true;
        $("boxes").appendChild(w.layer);
      } else {
        $("windows").appendChild(root);
      }
      windows[t.hwnd] = w;
    },
    windowShown: function (m) {
      var w = windows[m.hwnd];
      if (!w) return;
      w.el.hidden = !m.show;
      if (w.layer) w.layer.hidden = !m.show;
      if (m.show) {
        var first = w.el.querySelector(".client button:enabled:not([hidden]), .client select:enabled");
        if (first && w.layer) first.focus();
      }
    },
    windowDestroyed: function (m) {
      var w = windows[m.hwnd];
      if (!w) return;
      (w.layer || w.el).remove();
      delete windows[m.hwnd];
    },
    controlChanged: function (c) {
      var w = windows[c.hwnd];
      var el = w && w.controls[c.id];
      if (!el) return;
      el.hidden = !c.visible;
      if ("disabled" in el) el.disabled = !c.enabled;
      if (c.kind === "progress") {
        var span = c.upper - c.lower;
        var pct = span > 0 ? Math.max(0, Math.min(100, (c.pos - c.lower) * 100 / span)) : 0;
        el.firstChild.style.width = pct + "%";
        el.setAttribute("aria-valuenow", Math.round(pct));
      } else if (c.kind === "combo") {
        while (el.options.length) el.remove(0);
        c.items.forEach(function (s) { var o = document.createElement("option"); o.textContent = s; el.appendChild(o); });
        el.selectedIndex = c.sel;
      } else {
        el.textContent = c.text;
      }
    },
    showBox: function (b) {
      // For tests and demos: every box as the installer gave it (exact text, icon, buttons).
      if (automated) (window.veldaBoxes = window.veldaBoxes || []).push(b);
      var layer = document.createElement("div");
      layer.className = "modal-layer";
      var box = document.createElement("div");
      box.className = "box";
      box.setAttribute("role", "alertdialog");
      box.setAttribute("aria-modal", "true");
      box.dataset.box = b.box;
      box.dataset.icon = b.icon;
      var title = document.createElement("div");
      title.className = "title"; title.id = "box-title-" + b.box; title.textContent = b.caption;
      var body = document.createElement("div");
      body.className = "body";
      if (b.icon !== "none") {
        var icon = document.createElement("span");
        icon.className = "icon " + b.icon;
        icon.setAttribute("role", "img");
        icon.setAttribute("aria-label", b.icon);
        icon.textContent = { information: "i", question: "?", exclamation: "!", stop: "\u2715" }[b.icon];
        body.appendChild(icon);
      }
      var text = document.createElement("div");
      text.className = "text"; text.id = "box-text-" + b.box;
      text.textContent = b.text.replace(/\r\n|\n\r|\r/g, "\n");
      body.appendChild(text);
      box.setAttribute("aria-labelledby", title.id);
      box.setAttribute("aria-describedby", text.id);
      var buttons = document.createElement("div");
      buttons.className = "buttons";
      var answered = false;
      function answer(n) { if (!answered) { answered = true; input(INPUT_BOX, 0, b.box, n); } }
      var ok = document.createElement("button");
      ok.type = "button"; ok.textContent = "OK"; ok.addEventListener("click", function () { answer(IDOK); });
      buttons.appendChild(ok);
      if (b.buttons === "ok-cancel") {
        var cancel = document.createElement("button");
        cancel.type = "button"; cancel.textContent = "Cancel"; cancel.addEventListener("click", function () { answer(IDCANCEL); });
        buttons.appendChild(cancel);
      }
      box.addEventListener("keydown", function (e) {
        if (e.key === "Escape") { e.preventDefault(); answer(b.buttons === "ok-cancel" ? IDCANCEL : IDOK); }
        else if (e.key === "Tab") {
          // Focus stays inside the box.
          var all = buttons.querySelectorAll("button");
          var i = Array.prototype.indexOf.call(all, document.activeElement);
          e.preventDefault();
          all[(i + (e.shiftKey ? all.length - 1 : 1)) % all.length].focus();
        }
      });
      box.appendChild(title); box.appendChild(body); box.appendChild(buttons);
      layer.appendChild(box);
      $("boxes").appendChild(layer);
      boxes.push({ id: b.box, layer: layer, before: document.activeElement });
      ok.focus();
    },
    closeBox: function (m) {
      for (var i = boxes.length - 1; i >= 0; --i) {
        if (boxes[i].id !== m.box) continue;
        boxes[i].layer.remove();
        var before = boxes[i].before;
        boxes.splice(i, 1);
        if (before && before.isConnected) before.focus();
      }
    },
    finished: function (r) {
      var trace = "";
      try { trace = Module.FS.readFile("/velda-trace.txt", { encoding: "utf8" }); } catch (e) { trace = ""; }
      $("trace").textContent = trace;
      $("trace-download").href = URL.createObjectURL(new Blob([trace], { type: "text/plain" }));
      var ended = $("ended");
      ended.textContent = (r.note ? r.note + ". " : "") + "The installer has ended; load the page again to run it once more.";
      ended.hidden = false;
      if (automated) {
        $("trace-box").hidden = false;
        document.title = "VELDA Installer: " + r.outcome + " (exit code " + r.code + ")";
      }
    }
  };
  window.veldaUi = ui;

  window.Module = {
    noInitialRun: true,
    print: function (s) { console.log(s); },
    printErr: function (s) { console.warn(s); },
    onRuntimeInitialized: function () {
      if (query.has("package")) fetchPackage(query.get("package"));
    }
  };

  document.addEventListener("DOMContentLoaded", function () {
    $("file").addEventListener("change", function (e) { readFile(e.target.files[0]); });
    var drop = $("drop");
    ["dragenter", "dragover"].forEach(function (n) {
      drop.addEventListener(n, function (e) { e.preventDefault(); drop.classList.add("over"); });
    });
    drop.addEventListener("dragleave", function () { drop.classList.remove("over"); });
    drop.addEventListener("drop", function (e) {
      e.preventDefault(); drop.classList.remove("over");
      readFile(e.dataTransfer.files[0]);
    });
  });
})();
