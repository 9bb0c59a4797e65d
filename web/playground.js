// The playground page: every answer comes from the library compiled to
// WebAssembly (createComsvc, inlined above); this script only shows them.
"use strict";

(() => {
  const $ = (id) => document.getElementById(id);
  const element = (tag, className, text) => {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  };

  // ---------------------------------------------------------------------
  // The page's own boxes, which the module's alert and input boxes open.

  const ICONS = { none: "", information: "ℹ️", exclamation: "⚠️", critical: "⛔" };

  function openBox({ title, text, icon, input }) {
    const box = $("box");
    $("box-title").textContent = title;
    $("box-message").textContent = text;
    $("box-icon").textContent = ICONS[icon] || "";
    $("box-input").hidden = input === undefined;
    $("box-cancel").hidden = input === undefined;
    $("box-input").value = input === undefined ? "" : input;
    box.returnValue = "";
    box.showModal();
    if (input !== undefined) $("box-input").select();
    else $("box-ok").focus();
    // Escape closes the dialog with an empty returnValue: a Cancel.
    return new Promise((resolve) => {
      box.addEventListener("close", () => resolve(box.returnValue === "ok" ? $("box-input").value : null),
                          { once: true });
    });
  }

  const boxes = {
    showMessageBox: (text, title, icon) => openBox({ title, text, icon }).then(() => undefined),
    showInputBox: (prompt, title, defaultText) => openBox({ title, text: prompt, icon: "none", input: defaultText }),
  };

  // ---------------------------------------------------------------------
  // Calls into the module, one at a time: a script waiting in a box holds
  // the module until the box closes, and nothing else may enter it then.

  let module = null;
  let queue = Promise.resolve();

  function serial(task) {
    const run = queue.then(task);
    queue = run.catch(() => {});
    return run;
  }

  // name(text as UTF-16, its length, ...numbers) -> the parsed JSON answer,
  // or {stopped: why} when the module failed: a document or script nested
  // deeply enough can exhaust the browser's stack, which the module does not
  // survive, so a new instance takes its place for the calls that follow.
  async function call(name, text, numbers = [], options = {}) {
    const bytes = (text.length + 1) * 2;
    const pointer = module._malloc(bytes);
    module.stringToUTF16(text, pointer, bytes);
    let answer;
    try {
      const types = ["number", "number", ...numbers.map(() => "number")];
      answer = await module.ccall(name, "number", types, [pointer, text.length, ...numbers],
                                  { async: !!options.async });
    } catch (error) {
      module = await createComsvc(boxes);
      return { stopped: `The library stopped (${error.message || error}) and was started afresh.` };
    }
    const result = JSON.parse(module.UTF16ToString(answer));
    module._free(pointer);
    return result;
  }

  const failureText = (failure) => `error ${failure.number}: ${failure.description}`;

  // ---------------------------------------------------------------------
  // Editors whose backdrop marks ranges of the text: [{start, end, className, title}].

  function markEditor(textarea, marks) {
    const backdrop = textarea.parentElement.querySelector(".backdrop");
    const text = textarea.value;
    backdrop.textContent = "";
    let at = 0;
    for (const mark of [...marks].sort((a, b) => a.start - b.start)) {
      if (mark.start < at) continue;
      backdrop.append(text.slice(at, mark.start));
      const node = element(mark.tag || "mark", mark.className, text.slice(mark.start, mark.end) || " ");
      if (mark.title) node.title = mark.title;
      backdrop.append(node);
      at = Math.max(mark.end, mark.start);
    }
    backdrop.append(text.slice(at) + "\n ");
    backdrop.scrollTop = textarea.scrollTop;
    backdrop.scrollLeft = textarea.scrollLeft;
  }

  function followScrolling(textarea) {
    const backdrop = textarea.parentElement.querySelector(".backdrop");
    textarea.addEventListener("scroll", () => {
      backdrop.scrollTop = textarea.scrollTop;
      backdrop.scrollLeft = textarea.scrollLeft;
    });
  }

  // Runs `work` a moment after the last change; the pane is busy until a
  // run shows the current text (work() tells whether it did).
  function onChange(pane, work, ms) {
    let timer = 0;
    return () => {
      pane.setAttribute("aria-busy", "true");
      clearTimeout(timer);
      timer = setTimeout(async () => {
        if (await work()) pane.removeAttribute("aria-busy");
      }, ms);
    };
  }

  // ---------------------------------------------------------------------
  // JSON: the tree and the error lines, each position marked in the text.

  function showValue(parent, name, node, path, depth) {
    const label = document.createDocumentFragment();
    if (name !== null) label.append(element("span", "name", name), ":");
    label.append(element("span", `kind ${node.kind}`, node.kind));
    if (node.kind === "object" || node.kind === "array") {
      const children = node.kind === "object" ? node.members : node.items.map((item, i) => [`[${i}]`, item]);
      const details = element("details", "node");
      details.open = depth < 3;
      details.dataset.path = path;
      details.dataset.kind = node.kind;
      const summary = element("summary");
      summary.append(label, element("span", "value", `${children.length} ${node.kind === "object" ? "members" : "items"}`));
      details.append(summary);
      for (const [childName, child] of children) {
        const childPath = node.kind === "object" ? (path ? `${path}.${childName}` : childName) : `${path}${childName}`;
        showValue(details, childName, child, childPath, depth + 1);
      }
      parent.append(details);
      return;
    }
    const leaf = element("div", "node leaf");
    leaf.dataset.path = path;
    leaf.dataset.kind = node.kind;
    leaf.append(label);
    if (node.text !== undefined) leaf.append(element("span", "value", node.kind === "string" ? JSON.stringify(node.text) : node.text));
    parent.append(leaf);
  }

  function selectIn(textarea, start, end) {
    textarea.focus();
    textarea.setSelectionRange(start, Math.max(start, end));
  }

  async function readJson() {
    const textarea = $("json-input");
    const text = textarea.value;
    const answer = await serial(() => call("comsvc_read_json", text));
    if (textarea.value !== text) return false;  // typed on meanwhile: a newer read follows
    const tree = $("json-tree");
    const list = $("json-errors");
    tree.textContent = "";
    list.textContent = "";
    if (answer.stopped || answer.failure) {
      list.append(element("li", "", answer.stopped || failureText(answer.failure)));
      markEditor(textarea, []);
      return true;
    }
    showValue(tree, null, answer.root, "", 0);
    // Each line stands at a place in the text: the position an "at position
    // N" line names, or where the reader was when a failure ended a value.
    const marks = [];
    for (const { text: line, offset } of answer.errors) {
      const item = element("li", "positioned", line);
      item.dataset.offset = String(offset);
      item.addEventListener("click", () => selectIn(textarea, offset, offset + 1));
      marks.push({ start: offset, end: offset + 1, className: "error-position", title: line });
      list.append(item);
    }
    markEditor(textarea, marks);
    return true;
  }

  // ---------------------------------------------------------------------
  // Script: run it (boxes are the page's), its output and trace; lint
  // findings underlined while the author types.

  // The offset of a line and column (both from 1) in the text.
  function offsetOf(text, line, column) {
    let offset = 0;
    for (let l = 1; l < line; ++l) {
      const next = text.indexOf("\n", offset);
      if (next < 0) return text.length;
      offset = next + 1;
    }
    return Math.min(text.length, offset + column - 1);
  }

  // What a finding at `start` underlines: a quoted text with its quotes, a
  // bare word, or the one character.
  function extentAt(text, start) {
    const quote = text[start];
    if (quote === '"' || quote === "'") {
      for (let i = start + 1; i < text.length && text[i] !== "\n"; ++i) {
        if (text[i] === "\\") ++i;
        else if (text[i] === quote) return i + 1;
      }
    }
    let end = start;
    while (end < text.length && /[\w$.+-]/.test(text[end])) ++end;
    return Math.max(end, start + 1);
  }

  async function lintScript() {
    const textarea = $("script-input");
    const text = textarea.value;
    const findings = await serial(() => call("comsvc_lint", text));
    if (textarea.value !== text) return false;
    const list = $("script-findings");
    list.textContent = "";
    const marks = [];
    if (findings.stopped) list.append(element("li", "", findings.stopped));
    for (const finding of findings.stopped ? [] : findings) {
      const start = offsetOf(text, finding.line, finding.column);
      const where = `${finding.line}:${finding.column}`;
      marks.push({ start, end: extentAt(text, start), tag: "span", className: `lint ${finding.severity}`,
                   title: `${finding.rule}: ${finding.message}` });
      const item = element("li", `positioned ${finding.severity}`);
      item.dataset.rule = finding.rule;
      item.append(`${where} ${finding.message} `, element("span", "rule", `(${finding.rule})`));
      item.addEventListener("click", () => selectIn(textarea, start, extentAt(text, start)));
      list.append(item);
    }
    markEditor(textarea, marks);
    return true;
  }

  // An event of the trace (the terms of comsvc eval --trace) as a line.
  const quoted = (text) => JSON.stringify(text);
  const EVENT_PARTS = {
    step: (e) => `${e.command} → ${quoted(e.result)}`,
    set: (e) => `${e.name} = ${quoted(e.value)}`,
    get: (e) => `${e.name} → ${e.found ? quoted(e.value) : "(not set)"}`,
    box: (e) => e.box === "input"
      ? `input ${quoted(e.title)}: ${quoted(e.prompt)} [${quoted(e.default)}] → ${quoted(e.answer)}`
      : `message ${quoted(e.title)}: ${quoted(e.text)}`,
    directive: (e) => `${e.command} → ${e.text}`,
    failure: (e) => `error ${e.number}: ${e.description}`,
  };

  // The line and column (both from 1) of an offset in the text.
  function lineAndColumn(text, offset) {
    const before = text.slice(0, offset);
    const lineStart = before.lastIndexOf("\n") + 1;
    return `${before.split("\n").length}:${offset - lineStart + 1}`;
  }

  async function runScript() {
    const button = $("script-run");
    const output = $("script-output");
    const trace = $("script-trace");
    button.disabled = true;
    output.classList.remove("failure");
    output.textContent = "running…";
    trace.textContent = "";
    const textarea = $("script-input");
    const text = textarea.value;
    try {
      const answer = await serial(() => call("comsvc_eval", text, [], { async: true }));
      if (answer.stopped || answer.failure) {
        output.classList.add("failure");
        output.textContent = answer.stopped || failureText(answer.failure);
      } else {
        output.textContent = answer.output;
      }
      for (const event of answer.trace || []) {
        const item = element("li", "positioned");
        item.dataset.event = event.event;
        item.append(element("span", `event ${event.event}`, event.event));
        item.append(element("span", "path", `${lineAndColumn(text, event.offset)} ${event.path}`));
        item.append((EVENT_PARTS[event.event] || (() => ""))(event));
        item.addEventListener("click", () => {
          if (textarea.value === text) selectIn(textarea, event.offset, extentAt(text, event.offset));
        });
        trace.append(item);
      }
    } finally {
      button.disabled = false;
      document.body.dataset.runs = String(Number(document.body.dataset.runs || 0) + 1);
    }
  }

  // ---------------------------------------------------------------------
  // Digest and URL.

  async function digest() {
    const text = $("digest-input").value;
    const codePage = Number($("digest-codepage").value);
    const answer = await serial(() => call("comsvc_digest", text, [codePage]));
    if ($("digest-input").value !== text || Number($("digest-codepage").value) !== codePage) return false;
    for (const field of ["md5", "server32", "server16", "percent"]) {
      const value = answer.failure || answer[field];
      const target = $(`digest-${field}`);
      target.classList.toggle("failure", typeof value !== "string");
      target.textContent = answer.stopped || (typeof value === "string" ? value : failureText(value));
    }
    return true;
  }

  // ---------------------------------------------------------------------

  async function start() {
    module = await createComsvc(boxes);
    const version = module.UTF16ToString(module.ccall("comsvc_version", "number", [], []));
    $("status").textContent = `comsvc ${version}, compiled to WebAssembly`;

    const json = $("json-input");
    const script = $("script-input");
    for (const textarea of [json, script]) followScrolling(textarea);
    json.addEventListener("input", onChange($("json-pane"), readJson, 150));
    script.addEventListener("input", onChange($("script-pane"), lintScript, 250));
    $("script-run").addEventListener("click", runScript);
    const digestChanged = onChange($("digest-pane"), digest, 150);
    $("digest-input").addEventListener("input", digestChanged);
    $("digest-codepage").addEventListener("change", digestChanged);

    await Promise.all([readJson(), lintScript(), digest()]);
    document.body.dataset.ready = "true";
  }

  start().catch((error) => {
    $("status").textContent = `The library did not start: ${error}`;
    throw error;
  });
})();
