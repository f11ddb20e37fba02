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
    navigator: { userAgent: "Mozilla/5.0 (X11; Linux x86_64) Chrome/120.0", userAgentData: { brands: [{ brand: "Google Chrome" }] } },
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

const tabs = {
  1: { id: 1, active: true, incognito: false, title: "Docs \u2014 Example", url: "https://www.example.org/a?b=1" },
  2: { id: 2, active: true, incognito: true, title: "Secret", url: "https://bank.example/" },
  3: { id: 3, active: false, incognito: false, title: "Background", url: "https://b.example/" },
  4: { id: 4, active: true, incognito: false, title: "Claude", url: "https://claude.ai/chat/1" },
  5: { id: 5, active: true, incognito: false },
};

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

  const listeners = { activated: [], updated: [] };
  const posts = [];
  const api = {
    tabs: {
      onActivated: { addListener: (f) => listeners.activated.push(f) },
      onUpdated: { addListener: (f) => listeners.updated.push(f) },
      get: (id) => (tabs[id] ? Promise.resolve(tabs[id]) : Promise.reject(new Error("no tab"))),
    },
  };
  const context = {
    URL,
    navigator: fake.navigator,
    fetch: (url, options) => {
      posts.push({ url, method: options.method, headers: options.headers, body: options.body });
      return Promise.reject(new Error("nobody listening"));
    },
  };
  context[fake.global] = api;
  vm.runInNewContext(fs.readFileSync(path.join(dir, "background.js"), "utf8"), context, { filename: `${name}/background.js` });

  const settle = () => new Promise((resolve) => setImmediate(resolve));
  const activate = async (tabId) => {
    listeners.activated.forEach((f) => f({ tabId, windowId: 1 }));
    await settle();
  };
  const update = async (tabId, change) => {
    listeners.updated.forEach((f) => f(tabId, change, tabs[tabId]));
    await settle();
  };
  await activate(1);
  await update(1, { title: tabs[1].title });  // the same page again: not sent twice
  await update(2, { status: "complete" });    // incognito
  await update(3, { title: "Background" });   // not the active tab
  await update(4, { status: "loading" });     // nothing new yet
  await update(4, { url: tabs[4].url });
  await activate(5);                          // a tab whose address the browser withholds
  await activate(9);                          // a tab that closed meanwhile

  const want = JSON.stringify(expected[name], null, 1);
  const got = JSON.stringify(posts, null, 1);
  check(want === got, `${name}: the extension posted\n${got}\nbut the bridge test sends\n${want}`);
}

(async () => {
  for (const [name, fake] of Object.entries(browsers)) await run(name, fake);
  if (failures.length) {
    console.error(failures.join("\n"));
    process.exit(1);
  }
})();
