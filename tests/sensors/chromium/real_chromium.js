// Runs Debian's Chromium with the extension on the test desktop against a loopback listener in
// the bridge's place, and checks what it posts: the front tab at start, a refused post sent again,
// focus moving between two windows, nothing from an incognito window or a browser page.
// Usage (inside scripts/with-desktop.sh, as root): node real_chromium.js <repo root>
"use strict";
const fs = require("fs");
const http = require("http");
const os = require("os");
const path = require("path");
const { spawn, execFileSync } = require("child_process");

const root = process.argv[2] || path.join(__dirname, "../../..");
const profile = fs.mkdtempSync(path.join(os.tmpdir(), "velmora-chromium-"));
const posts = [];
// Posts find nobody answering until the loaded first page has been refused: the tab may first be
// posted while it loads, under its address as title.
let refusing = true;
const children = [];

const bridge = http.createServer((req, res) => {
  let body = "";
  req.on("data", (c) => (body += c));
  req.on("end", () => {
    let report;
    try {
      report = JSON.parse(body);
    } catch (e) {
      report = { unreadable: body };
    }
    if (refusing) {
      if (report.title === "Alpha") refusing = false;
      posts.push({ refused: true, ...report });
      req.socket.destroy();
      return;
    }
    posts.push(report);
    res.writeHead(200, { "Content-Type": "application/json", Connection: "close" });
    res.end('{"ok":true}');
  });
});
const pages = http.createServer((req, res) => {
  const title = decodeURIComponent(req.url.slice(1)) || "Home";
  res.writeHead(200, { "Content-Type": "text/html; charset=utf-8" });
  res.end(`<!doctype html><title>${title}</title><p>${title}</p>`);
});

function chromium(...args) {
  const child = spawn("chromium", ["--no-sandbox", `--user-data-dir=${profile}`, "--no-first-run",
    "--no-default-browser-check", "--disable-gpu", `--load-extension=${path.join(root, "extension/chromium")}`, ...args],
    { stdio: "ignore" });
  children.push(child);
  return child;
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
async function until(what, test, seconds = 30) {
  for (let i = 0; i < seconds * 10; i++) {
    if (test()) return;
    await sleep(100);
  }
  throw new Error(`waited in vain for ${what}; posts: ${JSON.stringify(posts)}`);
}
const titles = () => posts.map((p) => (p.refused ? "refused:" : "") + p.title);
const xdotool = (...args) => execFileSync("xdotool", args, { encoding: "utf8" }).trim();
function activate(name) {
  const id = xdotool("search", "--onlyvisible", "--name", name).split("\n")[0];
  xdotool("windowactivate", "--sync", id);
  return id;
}

(async () => {
  await new Promise((r) => bridge.listen(18765, "127.0.0.1", r));
  await new Promise((r) => pages.listen(0, "127.0.0.1", r));
  const site = `http://127.0.0.1:${pages.address().port}/`;

  chromium(`${site}Alpha`);
  await until("the front tab at start", () => titles().includes("refused:Alpha"));
  activate("Alpha");
  xdotool("key", "--clearmodifiers", "F5");
  await until("the refused page sent again", () => titles().includes("Alpha"));
  if (posts[0].browser !== "chromium") throw new Error(`Chromium named itself ${posts[0].browser}`);

  chromium("--new-window", `${site}Beta`);
  await until("the second window", () => titles().at(-1) === "Beta");
  activate("Alpha");
  await until("focus back on the first window", () => titles().at(-1) === "Alpha");
  activate("Beta");
  await until("focus on the second window", () => titles().at(-1) === "Beta");

  const before = posts.length;
  chromium("--incognito", `${site}Secret`);
  await until("the incognito window", () => {
    try {
      return xdotool("search", "--onlyvisible", "--name", "Secret").length > 0;
    } catch (e) {
      return false;
    }
  });
  chromium("--new-window", "chrome://version");
  await sleep(3000);
  const later = posts.slice(before).map((p) => JSON.stringify(p));
  const leaked = later.filter((p) => /Secret|chrome:|About Version/.test(p));
  if (leaked.length) throw new Error(`posted what must stay in the browser: ${leaked}`);
  console.log(`real chromium: ok (${titles().join(", ")})`);
})()
  .catch((e) => {
    console.error(e.message);
    process.exitCode = 1;
  })
  .finally(() => {
    children.forEach((c) => c.kill());
    bridge.close();
    pages.close();
    setTimeout(() => {
      fs.rmSync(profile, { recursive: true, force: true });
      process.exit();
    }, 500);
  });
