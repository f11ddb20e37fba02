// Velmora, Debian's Chromium and the extension together on the test desktop. A page grows by
// 600 MiB while in front and the story Velmora files must name its host, learnt through the
// extension; then a page in an incognito window grows and nothing Velmora keeps (its folders, its
// output, the texts of its windows) may show that page's title or host.
// Usage (inside scripts/with-desktop.sh, in a network namespace of its own so the bridge's fixed
// port is free, as root): node velmora_e2e.js <repo root> <velmora executable> [artifacts folder]
// The stories Velmora wrote are kept in the artifacts folder as chromium-e2e-stories.json.
"use strict";
const fs = require("fs");
const http = require("http");
const net = require("net");
const os = require("os");
const path = require("path");
const { spawn, execFile, execFileSync } = require("child_process");

const root = path.resolve(process.argv[2] || path.join(__dirname, "../../.."));
const executable = path.resolve(process.argv[3] || path.join(root, "build/velmora"));
const artifacts = process.argv[4] ? path.resolve(process.argv[4]) : null;
const BRIDGE_PORT = 18765;
// What counts as a large change scales with installed memory: 600 MiB counts up to 192 GiB.
const GROWTH_MIB = 600;
const MiB = 1024 * 1024;
// The story a growth is filed under looks back this far for what the user did; the incognito
// growth comes later than that after the last page the extension reported, so Velmora has no
// page to name and falls back on what else it can see.
const ACTIVITY_LOOKBACK_SECONDS = 60;
const RUN_LIMIT_SECONDS = 230;
const PAGE_HOST = "memory-lab.test";
const SECRET_HOST = "hidden-cove.test";
const SECRET_TITLE = "Secret Plans";

const work = fs.mkdtempSync(path.join(os.tmpdir(), "velmora-e2e-"));
const profile = fs.mkdtempSync(path.join(os.tmpdir(), "velmora-e2e-chromium-"));
// Everything Velmora may write goes under `home`.
const home = path.join(work, "home");
const dirs = {
  HOME: home,
  XDG_DATA_HOME: path.join(home, "data"),
  XDG_CONFIG_HOME: path.join(home, "config"),
  XDG_STATE_HOME: path.join(home, "state"),
  XDG_CACHE_HOME: path.join(home, "cache"),
  XDG_RUNTIME_DIR: path.join(home, "runtime"),
  TMPDIR: path.join(home, "tmp"),
};
for (const dir of Object.values(dirs)) fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
const storiesPath = path.join(dirs.XDG_DATA_HOME, "Velmora", "stories.json");
const logPath = path.join(work, "velmora.log");

const started = Date.now();
const elapsed = () => `${((Date.now() - started) / 1000).toFixed(1)} s`;
const say = (text) => console.log(`chromium-e2e [${elapsed()}]: ${text}`);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

class Failure extends Error {}
async function until(what, test, seconds, detail = () => "") {
  const end = Date.now() + seconds * 1000;
  for (;;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > end) throw new Failure(`waited ${seconds} s in vain for ${what}${detail()}`);
    await sleep(250);
  }
}

// --- The pages: each grows by GROWTH_MIB once told, holds the memory and says when it is in place.
const pageState = { lab: "wait", secret: "wait" };
const grownAt = {};
function pageHtml(name, title) {
  return `<!doctype html><meta charset="utf-8"><title>${title}</title><h1>${title}</h1><p id="state">waiting</p>
<script>
const held = [];
async function poll() {
  let command = "wait";
  try { command = await (await fetch("/command?page=${name}", { cache: "no-store" })).text(); } catch (e) {}
  if (command !== "grow") return setTimeout(poll, 250);
  // Typed arrays, one byte written in every page so that all of it is resident; kept in a global.
  for (let i = 0; i < ${GROWTH_MIB / 50}; i++) {
    const block = new Uint8Array(${50 * MiB});
    for (let j = 0; j < block.length; j += 4096) block[j] = 1 + (j % 251);
    held.push(block);
  }
  document.getElementById("state").textContent = "holding " + held.length * 50 + " MiB";
  fetch("/grown?page=${name}", { cache: "no-store" });
}
poll();
</script>`;
}
const pages = http.createServer((req, res) => {
  const url = new URL(req.url, "http://localhost");
  const name = url.searchParams.get("page");
  const reply = (type, body) => {
    res.writeHead(200, { "Content-Type": type, "Cache-Control": "no-store" });
    res.end(body);
  };
  if (url.pathname === "/command") return reply("text/plain", pageState[name] || "wait");
  if (url.pathname === "/grown") {
    grownAt[name] = Date.now();
    return reply("text/plain", "ok");
  }
  if (url.pathname === "/lab") return reply("text/html; charset=utf-8", pageHtml("lab", "Memory Lab"));
  if (url.pathname === "/secret") return reply("text/html; charset=utf-8", pageHtml("secret", SECRET_TITLE));
  res.writeHead(404);
  res.end();
});

// --- Processes, each in a process group of its own so that it goes with all its children.
const children = [];
function start(command, args, options = {}) {
  const child = spawn(command, args, { detached: true, ...options });
  child.on("error", (e) => say(`${command} did not start: ${e.message}`));
  children.push(child);
  return child;
}
function stop(child, signal) {
  if (child.exitCode !== null || child.signalCode !== null) return;
  try {
    process.kill(-child.pid, signal);
  } catch (e) {}
}
function chromium(port, ...args) {
  const rules = `MAP ${PAGE_HOST} 127.0.0.1, MAP ${SECRET_HOST} 127.0.0.1`;
  return start("chromium", ["--no-sandbox", `--user-data-dir=${profile}`, "--no-first-run", "--no-default-browser-check",
    "--disable-gpu", "--password-store=basic", "--disable-background-networking", "--disable-features=HttpsUpgrades",
    `--host-resolver-rules=${rules}`, `--load-extension=${path.join(root, "extension/chromium")}`, ...args],
    { stdio: "ignore" });
}

const xdotool = (...args) => execFileSync("xdotool", args, { encoding: "utf8" }).trim();
function windowsNamed(name) {
  try {
    return xdotool("search", "--onlyvisible", "--name", name).split("\n").filter(Boolean);
  } catch (e) {
    return [];  // xdotool says nothing found by failing
  }
}
function activate(name) {
  const id = windowsNamed(name)[0];
  if (!id) throw new Failure(`no window named "${name}" to bring to the front`);
  xdotool("windowactivate", "--sync", id);
}

function portAnswers(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, "127.0.0.1");
    socket.once("connect", () => {
      socket.destroy();
      resolve(true);
    });
    socket.once("error", () => resolve(false));
  });
}

// --- What Velmora shows: the names of the objects of its windows on the accessibility bus.
function run(command, args, env = process.env) {
  return new Promise((resolve) => execFile(command, args, { encoding: "utf8", timeout: 10000, env },
    (error, stdout) => resolve(error ? null : stdout)));
}
async function accessibilityBus() {
  const reply = await run("dbus-send", ["--session", "--print-reply=literal", "--dest=org.a11y.Bus", "/org/a11y/bus",
    "org.a11y.Bus.GetAddress"]);
  if (!reply) throw new Failure("the accessibility bus gave no address");
  return reply.trim();
}
async function velmoraTexts(pid) {
  const address = await accessibilityBus();
  // As the session bus: dbus-send says hello to the bus only then.
  const env = { ...process.env, DBUS_SESSION_BUS_ADDRESS: address };
  const call = (dest, object, method, ...args) =>
    run("dbus-send", ["--session", "--print-reply", `--dest=${dest}`, object, method, ...args], env);
  const names = ((await call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames")) || "")
    .match(/string ":[0-9.]+"/g) || [];
  let owner = null;
  for (const quoted of names) {
    const name = quoted.slice(8, -1);
    const reply = await call("org.freedesktop.DBus", "/org/freedesktop/DBus",
      "org.freedesktop.DBus.GetConnectionUnixProcessID", `string:${name}`);
    if (reply && new RegExp(`uint32 ${pid}\\b`).test(reply)) owner = name;
  }
  if (!owner) return null;
  // Breadth first from the application's root, a few calls at a time.
  const texts = [];
  const seen = new Set();
  let level = ["/org/a11y/atspi/accessible/root"];
  while (level.length && seen.size < 5000) {
    const next = [];
    for (let i = 0; i < level.length; i += 8) {
      await Promise.all(level.slice(i, i + 8).map(async (object) => {
        if (seen.has(object)) return;
        seen.add(object);
        for (const property of ["Name", "Description"]) {
          const reply = await call(owner, object, "org.freedesktop.DBus.Properties.Get",
            "string:org.a11y.atspi.Accessible", `string:${property}`);
          const text = reply && reply.match(/string "([\s\S]*)"/);
          if (text && text[1]) texts.push(text[1]);
        }
        const reply = await call(owner, object, "org.a11y.atspi.Accessible.GetChildren");
        for (const match of (reply || "").matchAll(/object path "([^"]+)"/g)) next.push(match[1]);
      }));
    }
    level = next;
  }
  return texts;
}
// The titles of Velmora's own top-level windows.
function velmoraWindowTitles(pid) {
  let ids = [];
  try {
    ids = xdotool("search", "--pid", String(pid)).split("\n").filter(Boolean);
  } catch (e) {}
  return ids.map((id) => {
    try {
      return xdotool("getwindowname", id);
    } catch (e) {
      return "";
    }
  });
}

// --- The stories Velmora wrote.
function readStories() {
  let parsed;
  try {
    parsed = JSON.parse(fs.readFileSync(storiesPath, "utf8"));
  } catch (e) {
    return [];
  }
  if (Array.isArray(parsed)) return parsed;
  for (const value of Object.values(parsed || {})) if (Array.isArray(value)) return value;
  return [];
}
const chromiumStories = () => readStories().filter((s) => /chromium/i.test(JSON.stringify(s.relatedApp || {})));
const storyText = (s) => `${s.title || ""}\n${s.explanation || ""}`;
const storiesDetail = () => `\nstories.json: ${fs.existsSync(storiesPath) ? fs.readFileSync(storiesPath, "utf8").slice(0, 4000) : "(none)"}`;
// Stories date themselves in seconds since 2001-01-01 UTC.
const storyDate = (ms) => ms / 1000 - 978307200;
const endOf = (s) => (s.immediate && s.immediate.endFootprintBytes) || 0;

// Every file under `dir` holding `needle`, binary files too.
function filesHolding(dir, needle) {
  const found = [];
  const visit = (at) => {
    let entries = [];
    try {
      entries = fs.readdirSync(at, { withFileTypes: true });
    } catch (e) {
      return;
    }
    for (const entry of entries) {
      const full = path.join(at, entry.name);
      if (entry.isDirectory()) visit(full);
      else if (entry.isFile()) {
        try {
          if (fs.readFileSync(full).includes(needle)) found.push(full);
        } catch (e) {}
      }
    }
  };
  visit(dir);
  return found;
}

let velmora = null;
let velmoraLog = null;
async function main() {
  if (!fs.existsSync(executable)) throw new Failure(`no Velmora executable at ${executable}: build the velmora target first`);
  if (await portAnswers(BRIDGE_PORT))
    throw new Failure(`port ${BRIDGE_PORT} is taken: run this in a network namespace of its own`);
  await new Promise((r) => pages.listen(0, "127.0.0.1", r));
  const port = pages.address().port;
  const labUrl = `http://${PAGE_HOST}:${port}/lab`;
  const secretUrl = `http://${SECRET_HOST}:${port}/secret`;

  // Set up, with every sensor switched on: the window list, accessibility and screen pictures too.
  fs.mkdirSync(path.join(dirs.XDG_CONFIG_HOME, "Velmora"), { recursive: true });
  fs.writeFileSync(path.join(dirs.XDG_CONFIG_HOME, "Velmora", "defaults.json"), JSON.stringify({
    "Velmora.FirstRunCompleted": true,
    "Velmora.StableHintDismissed": true,
    "Velmora.PermissionState": { memoryMonitoringEnabled: true, accessibilityEnabled: true, screenshotsEnabled: true,
      cloudAIEnabled: false },
  }));

  // Chromium first, so that its own start is over before Velmora watches it.
  const browser = chromium(port, labUrl);
  await until("Chromium's window with the page", () => windowsNamed("Memory Lab").length > 0, 40);
  say("Chromium shows the page");
  await sleep(8000);

  // A copy outside the build tree: an executable in the build tree is a temporary build, whose
  // window shows that warning in place of the current page.
  const installed = path.join(work, "bin", "velmora");
  fs.mkdirSync(path.dirname(installed));
  fs.copyFileSync(executable, installed);
  fs.chmodSync(installed, 0o755);
  velmoraLog = fs.openSync(logPath, "w");
  velmora = start(installed, [], { env: { ...process.env, ...dirs, QT_QPA_PLATFORM: "xcb" },
    stdio: ["ignore", velmoraLog, velmoraLog] });
  await until("Velmora's bridge on port 18765", async () => {
    if (velmora.exitCode !== null) throw new Failure(`Velmora ended at start (status ${velmora.exitCode})`);
    return portAnswers(BRIDGE_PORT);
  }, 40);
  say(`Velmora runs (pid ${velmora.pid}) and listens for the extension`);
  // A few samples of Chromium as it is, then the page in front (Velmora's window took the focus).
  await sleep(5000);
  activate("Memory Lab");
  // The extension reports the page as it comes to the front, before it grows. Velmora's window
  // shows it as the current page; the reader of its windows must see that, or it proves nothing later.
  let shown = [];
  await until(`Velmora's window to show ${PAGE_HOST} as Chromium's current page`, async () => {
    shown = await velmoraTexts(velmora.pid);
    if (!shown) throw new Failure("Velmora is not on the accessibility bus");
    return shown.includes(PAGE_HOST) && shown.includes("Now: Chromium");
  }, 30, () => `; it shows: ${JSON.stringify(shown)}`);
  say(`Velmora's window shows "Now: Chromium" and ${PAGE_HOST} (${shown.length} texts read)`);

  const growthAsked = storyDate(Date.now());
  pageState.lab = "grow";
  await until("the page to hold its memory", () => grownAt.lab, 30);
  say(`the page at ${PAGE_HOST} holds ${GROWTH_MIB} MiB more`);
  const named = await until(`a Chromium story naming ${PAGE_HOST}`, () =>
    chromiumStories().find((s) => s.timestamp >= growthAsked && storyText(s).includes(PAGE_HOST)), 45, storiesDetail);
  say(`story: "${named.title}" (sources: ${JSON.stringify(named.supportingSources)})`);
  if (!(named.supportingSources || []).includes("chromiumExtension"))
    throw new Failure(`the story names ${PAGE_HOST} but not from the extension: ${JSON.stringify(named)}`);
  const delta = (named.immediate && named.immediate.deltaBytes) || 0;
  if (delta < 0.8 * GROWTH_MIB * MiB)
    throw new Failure(`the story counts ${Math.round(delta / MiB)} MiB of the ${GROWTH_MIB} MiB growth${storiesDetail()}`);
  say(`the story counts ${Math.round(delta / MiB)} MiB`);

  const firstEnd = Math.max(...chromiumStories().map(endOf));

  // The incognito window, in front past the time the last reported page counts for a story.
  chromium(port, "--incognito", secretUrl);
  await until("the incognito window", () => windowsNamed(SECRET_TITLE).length > 0, 30);
  activate(SECRET_TITLE);
  say("the incognito window is in front");
  const quietUntil = grownAt.lab + (ACTIVITY_LOOKBACK_SECONDS + 5) * 1000;
  while (Date.now() < quietUntil) {
    await sleep(Math.min(5000, Math.max(0, quietUntil - Date.now())));
    if (velmora.exitCode !== null) throw new Failure(`Velmora ended (status ${velmora.exitCode})`);
  }
  activate(SECRET_TITLE);
  pageState.secret = "grow";
  await until("the incognito page to hold its memory", () => grownAt.secret, 30);
  say(`the incognito page holds ${GROWTH_MIB} MiB more`);
  const later = await until("a story of the incognito growth", () =>
    chromiumStories().find((s) => endOf(s) >= firstEnd + 0.8 * GROWTH_MIB * MiB), 45, storiesDetail);
  say(`story now: "${later.title}", ${Math.round(endOf(later) / MiB)} MiB at the end`);
  // Its later look at the screen and its first re-measurement come a few seconds after.
  await sleep(10000);

  const leaks = [];
  for (const needle of [SECRET_TITLE, SECRET_HOST]) {
    for (const file of filesHolding(home, needle)) leaks.push(`${path.relative(work, file)} holds "${needle}"`);
    if (fs.readFileSync(logPath).includes(needle)) leaks.push(`Velmora's output holds "${needle}"`);
  }
  const texts = await velmoraTexts(velmora.pid);
  if (!texts) throw new Failure("Velmora left the accessibility bus");
  const now = texts.findIndex((t) => t.startsWith("Now: "));
  if (now < 0) throw new Failure(`Velmora's window no longer shows its current page: ${JSON.stringify(texts)}`);
  say(`Velmora's window shows "${texts[now]}"`);
  for (const text of [...texts, ...velmoraWindowTitles(velmora.pid)])
    if (text.includes(SECRET_TITLE) || text.includes(SECRET_HOST)) leaks.push(`Velmora's window shows "${text}"`);
  if (leaks.length) throw new Failure(`the incognito page left traces:\n  ${leaks.join("\n  ")}`);
  say(`no trace of the incognito page in ${filesHolding(home, "").length} files, the output or ${texts.length} window texts`);
  if (browser.exitCode !== null) throw new Failure("Chromium ended early");
}

let cleaned = false;
async function cleanup() {
  if (cleaned) return;
  cleaned = true;
  if (artifacts && fs.existsSync(storiesPath)) {
    try {
      fs.mkdirSync(artifacts, { recursive: true });
      fs.copyFileSync(storiesPath, path.join(artifacts, "chromium-e2e-stories.json"));
    } catch (e) {
      console.error(`chromium-e2e: could not keep the stories: ${e.message}`);
    }
  }
  // Velmora ends on SIGTERM, writing what it keeps; then the browser.
  if (velmora) {
    stop(velmora, "SIGTERM");
    for (let i = 0; i < 50 && velmora.exitCode === null && velmora.signalCode === null; i++) await sleep(100);
  }
  children.forEach((c) => stop(c, "SIGKILL"));
  pages.close();
  if (velmoraLog !== null) fs.closeSync(velmoraLog);
  await sleep(500);
  fs.rmSync(profile, { recursive: true, force: true });
  fs.rmSync(work, { recursive: true, force: true });
}
for (const signal of ["SIGINT", "SIGTERM", "SIGHUP"]) {
  process.on(signal, () => {
    console.error(`chromium-e2e: stopped by ${signal}`);
    process.exitCode = 1;
    cleanup().then(() => process.exit(1));
  });
}

// However it goes, everything is stopped and removed within four minutes.
setTimeout(() => {
  console.error(`chromium-e2e [${elapsed()}]: FAILED: took longer than ${RUN_LIMIT_SECONDS} s`);
  process.exitCode = 1;
  cleanup().then(() => process.exit(1));
}, RUN_LIMIT_SECONDS * 1000).unref();

main()
  .then(() => say("ok"))
  .catch((e) => {
    console.error(`chromium-e2e [${elapsed()}]: FAILED: ${e instanceof Failure ? e.message : e.stack}`);
    try {
      const log = fs.readFileSync(logPath, "utf8");
      if (log.trim()) console.error(`Velmora's output:\n${log.slice(-2000)}`);
    } catch (err) {}
    process.exitCode = 1;
  })
  .finally(() => cleanup().then(() => process.exit()));
