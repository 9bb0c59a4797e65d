// The playground page in headless Chromium, opened as a file: what a person
// types, the answers the library gives in each pane, and the page's boxes.
//
// PLAYGROUND names the page (default: build-web/web/playground.html of this
// checkout), CHROMIUM the browser (default /usr/bin/chromium). A screenshot
// of the page after a run lands beside the page, as playground.png.
import { after, before, describe, test } from "node:test";
import assert from "node:assert/strict";
import path from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { chromium } from "playwright-core";

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../..");
const pagePath = process.env.PLAYGROUND || path.join(root, "build-web/web/playground.html");
// Generous: a loaded machine is slow, never wrong.
const WAIT = { timeout: 60_000 };

let browser;
let page;
const pageErrors = [];

before(async () => {
  // A new empty profile of its own (playwright makes one per launch).
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync"],
    timeout: 120_000,
  });
  page = await browser.newPage({ viewport: { width: 1500, height: 780 } });
  page.setDefaultTimeout(WAIT.timeout);
  page.on("pageerror", (error) => pageErrors.push(String(error)));
  await page.goto(pathToFileURL(pagePath).href);
  await page.waitForSelector("body[data-ready=true]", WAIT);
});

after(async () => {
  await browser?.close();
  assert.deepEqual(pageErrors, []);
});

// Replaces a field's text as typing would, and waits until its pane shows
// what the library makes of the new text.
async function type(selector, text) {
  await page.fill(selector, text);
  await settled(selector);
}

async function settled(selector) {
  await page.locator(`.pane:not([aria-busy=true]):has(${selector})`).waitFor(WAIT);
}

const node = (pathInTree) => page.locator(`#json-tree [data-path="${pathInTree}"]`);

describe("JSON pane", () => {
  test("a forgiving document gives its tree, kinds shown", async () => {
    await type("#json-input", "{ // settings\n  name: 'x', list: [1 2.5 'three' null], ok: true, empty: {} }");
    const kinds = await page.$$eval("#json-tree [data-path]", (nodes) =>
      nodes.map((n) => [n.dataset.path, n.dataset.kind, n.querySelector(":scope > .value, :scope > summary > .value")?.textContent ?? ""]));
    assert.deepEqual(kinds, [
      ["", "object", "4 members"],
      ["name", "string", '"x"'],
      ["list", "array", "4 items"],
      ["list[0]", "integer", "1"],
      ["list[1]", "double", "2.5"],
      ["list[2]", "string", '"three"'],
      ["list[3]", "null", ""],
      ["ok", "Boolean", "True"],
      ["empty", "object", "0 members"],
    ]);
    assert.equal(await page.locator("#json-errors li").count(), 0);
  });

  test("error lines are listed and their positions marked in the text", async () => {
    await type("#json-input", "{a:tru,b:2}");
    assert.deepEqual(await page.locator("#json-errors li").allTextContents(),
                     ["Invalid Boolean at position 4 : tru,b:2}"]);
    // The bad word is read again as the next key.
    assert.equal(await node("a").getAttribute("data-kind"), "Boolean");
    assert.equal(await node("tru,b").getAttribute("data-kind"), "integer");
    // Position 4 counts from 1: the "t" of "tru".
    const marked = await page.$eval("#json-pane .backdrop", (backdrop) => {
      const mark = backdrop.querySelector("mark");
      const range = document.createRange();
      range.setStart(backdrop, 0);
      range.setEndBefore(mark);
      return { before: range.toString(), text: mark.textContent };
    });
    assert.deepEqual(marked, { before: "{a:", text: "t" });
    // A click on the line selects that character.
    await page.click("#json-errors li.positioned");
    assert.deepEqual(await page.$eval("#json-input", (t) => [t.selectionStart, t.selectionEnd]), [3, 4]);
  });

  test("a document as deep as the reader goes: its tree, or the page says the stack ran out and goes on", async () => {
    await type("#json-input", "[".repeat(1000) + "]".repeat(1000));
    const lines = await page.locator("#json-errors li").allTextContents();
    if (lines.length > 0) {
      assert.match(lines.join("\n"), /^The library stopped \(.*\) and was started afresh\.$/);
    } else {
      assert.equal(await page.locator("#json-tree [data-kind=array]").count(), 1000);
    }
    await type("#json-input", "[1]");
    assert.equal(await node("[0]").getAttribute("data-kind"), "integer");
  });

  test("text that is no document: the empty value and the reader's line", async () => {
    await type("#json-input", "nothing");
    assert.deepEqual(await page.locator("#json-errors li").allTextContents(), ["Invalid JSON"]);
    assert.equal(await node("").getAttribute("data-kind"), "empty");
  });
});

describe("Script pane", () => {
  const run = async () => {
    const runs = Number((await page.getAttribute("body", "data-runs")) || 0);
    await page.click("#script-run");
    return runs;
  };
  const finished = (runs) => page.waitForSelector(`body[data-runs="${runs + 1}"]`, WAIT);

  test("an input box is the page's dialog: answered, the output and the trace show it", async () => {
    await type("#script-input",
      '[{"input": {"prompt": "Your name?", "title": "Ask", "default": "World"}}, "!",' +
      ' {"set": {"name": "n", "value": "1"}}, {"get": {"name": "n"}}]');
    const runs = await run();
    const box = page.locator("dialog#box[open]");
    await box.waitFor(WAIT);
    assert.equal(await page.textContent("#box-title"), "Ask");
    assert.equal(await page.textContent("#box-message"), "Your name?");
    assert.equal(await page.inputValue("#box-input"), "World");
    await page.fill("#box-input", "Ann");
    await page.click("#box-ok");
    await finished(runs);
    assert.equal(await page.textContent("#script-output"), "Ann!1");
    const trace = await page.locator("#script-trace li").allTextContents();
    assert.deepEqual(trace, [
      'box1:3 [0].inputinput "Ask": "Your name?" ["World"] → "Ann"',
      'step1:3 [0].inputinput → "Ann"',
      'set1:81 [2].setn = "1"',
      'step1:81 [2].setset → ""',
      'get1:119 [3].getn → "1"',
      'step1:119 [3].getget → "1"',
    ]);
  });

  test("Cancel gives the empty text; an alert has OK alone", async () => {
    await type("#script-input",
      '[{"alert": {"message": "Hello", "title": "Note"}}, "[", {"input": {"prompt": "p", "default": "d"}}, "]"]');
    const runs = await run();
    await page.locator("dialog#box[open]").waitFor(WAIT);
    assert.equal(await page.textContent("#box-message"), "Hello");
    assert.equal(await page.isVisible("#box-cancel"), false);
    await page.click("#box-ok");
    await page.locator("dialog#box[open] #box-cancel").waitFor(WAIT);
    assert.equal(await page.textContent("#box-title"), "comsvc");  // no title: the program's name
    await page.click("#box-cancel");
    await finished(runs);
    assert.equal(await page.textContent("#script-output"), "[]");
  });

  test("a failing script shows the runtime error", async () => {
    await type("#script-input", "[42]");
    await finished(await run());
    assert.equal(await page.textContent("#script-output"), "error 13: Type mismatch");
  });

  test("a misspelt command is underlined as the author types", async () => {
    await type("#script-input", '[\n  {"alrt": {"message": "hi"}}\n]');
    const underline = page.locator("#script-pane .backdrop .lint.warning");
    assert.equal(await underline.textContent(), '"alrt"');
    assert.match(await underline.getAttribute("title"), /^misspelt-command: /);
    assert.equal(await page.locator("#script-findings li[data-rule=misspelt-command]").count(), 1);
  });
});

describe("Digest and URL pane", () => {
  const results = async () => ({
    md5: await page.textContent("#digest-md5"),
    server32: await page.textContent("#digest-server32"),
    server16: await page.textContent("#digest-server16"),
    percent: await page.textContent("#digest-percent"),
  });

  test("both MD5 forms and percent-encoding, under the chosen code page", async () => {
    await page.selectOption("#digest-codepage", "1252");
    await type("#digest-input", "abc");
    assert.deepEqual(await results(), {
      md5: "900150983CD24FB0D6963F7D28E17F72",
      server32: "900150983cd24fb0d6963f7d28e17f72",
      server16: "3cd24fb0d6963f7d",
      percent: "abc",
    });
    await type("#digest-input", "日 ä");
    assert.equal(await page.textContent("#digest-percent"), "%3F%20%E4");
    await page.selectOption("#digest-codepage", "932");
    await settled("#digest-codepage");
    assert.equal(await page.textContent("#digest-percent"), "%93%FA%20%3F");
  });
});

describe("the page as a whole", () => {
  test("a screenshot after a run", async () => {
    await type("#json-input", "{\n  // comments, bare names, single quotes\n  name: 'comsvc', version: 0.5\n" +
      "  list: [1 2.5 true null]\n  nested: {ok: tru, 'x' 1}\n}");
    await type("#script-input", '[\n  "Hello, ",\n  {"input": {"prompt": "Your name?", "title": "Greeting",' +
      ' "default": "World"}},\n  "! ",\n  {"alrt": {"message": "typo"}}\n]');
    await type("#digest-input", "Grüße, 世界 & more");
    await page.selectOption("#digest-codepage", "936");
    await settled("#digest-codepage");
    await page.click("#script-run");
    await page.locator("dialog#box[open]").waitFor(WAIT);
    await page.fill("#box-input", "Ann");
    await page.click("#box-ok");
    await page.locator("#script-output", { hasText: "Hello, Ann! " }).waitFor(WAIT);
    await page.screenshot({ path: path.join(path.dirname(pagePath), "playground.png"), fullPage: true });
  });
});
