// Runs each browser extension's background script against fake browser APIs, checks its
// manifest, and compares every request it makes with ExtensionPosts.json, the requests the
// bridge test sends to a real bridge. Usage: node extension_harness.js <repo root>
"use strict";
const fs = require("fs");
const path = require("path");
const vm = require("vm");

const root = process.argv[2] || path.join(__dirname, "../../..");
const expected = JSON.parse(fs.readFileSync(path.join(__dirname, "ExtensionPosts.json"), "utf8"));
const failures = [];

function check(ok, message) {
  if (!ok) failures.push(message);
}

const browsers = {
  chromium: {
    global: "chrome",
    navigator: {
      userAgent: "Mozilla/5.0 (X11; Linux x86_64) Chrome/120.0",
      userAgentData: { brands: [{ brand: "Not_A Brand" }, { brand: "Chromium" }] },
    },
    hostPermission: (m) => (m.host_permissions || []).includes("http://127.0.0.1:18765/*"),
    background: (m) => m.background && m.background.service_worker,
  },
  firefox: {
    global: "browser",
    navigator: { userAgent: "Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0" },
    hostPermission: (m) => (m.permissions || []).includes("http://127.0.0.1:18765/*"),
    background: (m) => m.background && m.background.scripts && m.background.scripts[0],
  },
};

// Window 1 is focused at start; window 2 lies behind it; window 3 is incognito.
function freshTabs() {
  return {
    1: { id: 1, windowId: 1, active: true, incognito: false, title: "Docs \u2014 Example", url: "https://www.example.org/a?b=1" },
    2: { id: 2, windowId: 3, active: true, incognito: true, title: "Secret", url: "https://bank.example/" },
    3: { id: 3, windowId: 1, active: false, incognito: false, title: "Background", url: "https://b.example/" },
    4: { id: 4, windowId: 1, active: false, incognito: false, title: "Claude", url: "https://claude.ai/chat/1" },
    5: { id: 5, windowId: 1, active: false, incognito: false },
    6: { id: 6, windowId: 2, active: true, incognito: false, title: "Other window", url: "http://other.example:8080/" },
    7: { id: 7, windowId: 1, active: false, incognito: false, title: "New Tab", url: "chrome://new-tab-page-third-party/" },
    8: { id: 8, windowId: 1, active: false, incognito: false, title: "Add-ons", url: "about:addons" },
  };
}

// Loads the background script against fake browser APIs. `answers` says how each post ends,
// in order: true acknowledged, false refused by the network; missing answers are acknowledged.
function load(name, fake, answers = []) {
  const tabs = freshTabs();
  const listeners = { activated: [], updated: [], focus: [] };
  const posts = [];
  const browser = { focused: 1, tabs, posts };
  const api = {
    tabs: {
      onActivated: { addListener: (f) => listeners.activated.push(f) },
      onUpdated: { addListener: (f) => listeners.updated.push(f) },
      get: (id) => (tabs[id] ? Promise.resolve(tabs[id]) : Promise.reject(new Error("no tab"))),
      // The browser hides incognito windows from an extension that is not allowed in them.
      query: (q) => {
        const windowId = q.lastFocusedWindow ? browser.focused : q.windowId;
        return Promise.resolve(
          Object.values(tabs).filter((t) => !t.incognito && (!q.active || t.active) && t.windowId === windowId));
      },
    },
    windows: {
      WINDOW_ID_NONE: -1,
      onFocusChanged: { addListener: (f) => listeners.focus.push(f) },
    },
  };
  const context = {
    URL,
    navigator: fake.navigator,
    fetch: (url, options) => {
      posts.push({ url, method: options.method, headers: options.headers, body: options.body });
      const ok = answers.length ? answers.shift() : true;
      return ok ? Promise.resolve({ ok: true, status: 200 }) : Promise.reject(new Error("nobody listening"));
    },
  };
  context[fake.global] = api;
  const dir = path.join(root, "extension", name);
  vm.runInNewContext(fs.readFileSync(path.join(dir, "background.js"), "utf8"), context, { filename: `${name}/background.js` });

  const settle = () => new Promise((resolve) => setTimeout(resolve, 0));
  browser.settle = settle;
  browser.activate = async (tabId) => {
    const tab = tabs[tabId];
    if (tab) {
      Object.values(tabs).forEach((t) => { if (t.windowId === tab.windowId) t.active = false; });
      tab.active = true;
    }
    listeners.activated.forEach((f) => f({ tabId, windowId: tab ? tab.windowId : 1 }));
    await settle();
  };
  browser.update = async (tabId, change) => {
    Object.assign(tabs[tabId], change.title !== undefined ? { title: change.title } : {},
                  change.url !== undefined ? { url: change.url } : {});
    listeners.updated.forEach((f) => f(tabId, change, tabs[tabId]));
    await settle();
  };
  browser.focus = async (windowId) => {
    if (windowId !== -1) browser.focused = windowId;
    listeners.focus.forEach((f) => f(windowId));
    await settle();
  };
  browser.titles = () => posts.map((p) => JSON.parse(p.body).title);
  return browser;
}

async function run(name, fake) {
  const dir = path.join(root, "extension", name);
  let manifest;
  try {
    manifest = JSON.parse(fs.readFileSync(path.join(dir, "manifest.json"), "utf8"));
  } catch (e) {
    check(false, `${name}: manifest.json: ${e.message}`);
    return;
  }
  check(manifest.incognito === "not_allowed", `${name}: private windows must stay out`);
  check((manifest.permissions || []).includes("tabs"), `${name}: needs the tabs permission`);
  check(fake.hostPermission(manifest), `${name}: needs the bridge's address as a host permission`);
  const script = fake.background(manifest);
  check(script === "background.js", `${name}: background script is ${script}`);

  // What a browser session sends; the bridge test sends the same requests to a real bridge.
  const b = load(name, fake);
  await b.settle();                                   // the front tab at start
  await b.update(1, { title: b.tabs[1].title });     // the same page again: not sent twice
  await b.update(2, { title: "Secret 2" });           // incognito
  await b.update(3, { title: "Background 2" });       // not the active tab
  await b.update(6, { title: "Other window" });       // the front tab of a window behind
  await b.focus(2);                                   // ... until that window comes forward
  await b.focus(1);
  await b.activate(4);
  await b.activate(7);                                // the browser's own page
  await b.activate(8);
  await b.activate(5);                                // a tab whose address the browser withholds
  await b.activate(9);                                // a tab that closed meanwhile
  await b.focus(-1);                                  // another application in front
  const want = JSON.stringify(expected[name], null, 1);
  const got = JSON.stringify(b.posts, null, 1);
  check(want === got, `${name}: the extension posted\n${got}\nbut the bridge test sends\n${want}`);

  const words = {
    chromium: [
      [[{ brand: "Chromium" }, { brand: "Not)A;Brand" }], "chromium"],
      [[{ brand: "Not A Brand" }, { brand: "Chromium" }, { brand: "Google Chrome" }], "chrome"],
      [[{ brand: "Chromium" }, { brand: "Microsoft Edge" }], "edge"],
      [[{ brand: "Chromium" }, { brand: "Opera" }], "opera"],
      [[], "chrome"],
    ],
    firefox: [],
  };
  for (const [brands, word] of words[name]) {
    const c = load(name, { ...fake, navigator: { userAgent: fake.navigator.userAgent, userAgentData: { brands } } });
    await c.settle();
    const sent = c.posts.map((p) => JSON.parse(p.body).browser);
    check(JSON.stringify(sent) === JSON.stringify([word]), `${name}: brands ${JSON.stringify(brands)} sent ${sent}, not ${word}`);
  }

  // A post that fails is sent again at the next change, and only until one is acknowledged.
  const f = load(name, fake, [false, false, true]);
  await f.settle();
  await f.update(1, { status: "complete" });
  await f.update(1, { title: b.tabs[1].title });
  await f.update(1, { status: "complete" });
  await f.focus(1);
  check(JSON.stringify(f.titles()) === JSON.stringify(["Docs \u2014 Example", "Docs \u2014 Example", "Docs \u2014 Example"]),
        `${name}: after two failures the page went ${JSON.stringify(f.titles())}`);

  // Focus leaving for a window the extension cannot see keeps the window focused last in front.
  const h = load(name, fake);
  await h.settle();
  await h.focus(2);
  await h.focus(-1);
  await h.update(6, { title: "Other window, later" });
  await h.update(1, { title: "Docs, later" });
  check(JSON.stringify(h.titles()) === JSON.stringify(["Docs \u2014 Example", "Other window", "Other window, later"]),
        `${name}: with focus gone the extension posted ${JSON.stringify(h.titles())}`);

  // Nothing at start when the front tab is the browser's own page or no window is focused.
  const g = load(name, fake);
  g.tabs[1].url = "chrome://settings/";
  await g.settle();
  await g.activate(1);
  check(g.posts.length === 0, `${name}: a browser page was posted: ${JSON.stringify(g.titles())}`);
}

(async () => {
  for (const [name, fake] of Object.entries(browsers)) await run(name, fake);
  if (failures.length) {
    console.error(failures.join("\n"));
    process.exit(1);
  }
})();
