// Tells Velmora, on this computer only, which web page is in front, so its memory stories can name
// the page. Private and incognito tabs are never reported, nor the browser's own pages. Velmora
// answers every post with the same short acknowledgement; when it is not running the post fails
// quietly and the page is sent again at the next change.
"use strict";

const BRIDGE_URL = "http://127.0.0.1:18765/tab";
const api = globalThis.browser || globalThis.chrome;
const NO_WINDOW = (api.windows && api.windows.WINDOW_ID_NONE) || -1;

// The word Velmora files this browser's processes under.
function browserWord() {
  const nav = globalThis.navigator || {};
  if (/Firefox\//.test(nav.userAgent || "")) return "firefox";
  if (nav.brave) return "brave";
  const brands = ((nav.userAgentData && nav.userAgentData.brands) || []).map((b) => String(b.brand || ""));
  if (brands.some((b) => /Edge/.test(b))) return "edge";
  if (brands.some((b) => /^Opera/.test(b))) return "opera";
  if (brands.includes("Google Chrome")) return "chrome";
  if (brands.includes("Chromium")) return "chromium";
  return "chrome";
}

// The tab as Velmora reads it, or nothing for a tab that is not an ordinary web page.
function tabReport(tab) {
  if (!tab || tab.incognito || !tab.active) return null;
  let host;
  try {
    const address = new URL(tab.url);
    if (address.protocol !== "http:" && address.protocol !== "https:") return null;
    host = address.hostname || undefined;
  } catch (e) {
    return null;
  }
  return JSON.stringify({ browser: browserWord(), title: tab.title, url: tab.url, host });
}

let lastSent = null;  // what Velmora acknowledged last
let sending = null;   // what is on its way

function report(tab) {
  const body = tabReport(tab);
  if (body === null || body === lastSent || body === sending) return;
  sending = body;
  fetch(BRIDGE_URL, {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body,
  })
    .then((reply) => {
      if (reply && reply.ok) lastSent = body;
    })
    .catch(() => {})
    .then(() => {
      if (sending === body) sending = null;
    });
}

let focusedWindow = null;  // the browser window focused last; unknown until the browser says

// The active tab of the focused window; a tab in a window behind it is never the front tab.
function reportFront() {
  const query = focusedWindow === null ? { active: true, lastFocusedWindow: true } : { active: true, windowId: focusedWindow };
  api.tabs.query(query).then((found) => report(found && found[0]), () => {});
}

api.tabs.onActivated.addListener(() => reportFront());

api.tabs.onUpdated.addListener((tabId, change, tab) => {
  if (!tab || !tab.active) return;
  if (change.title !== undefined || change.url !== undefined || change.status === "complete") reportFront();
});

// Focus leaving for another application, or for a window hidden from the extension, changes
// nothing; Chromium passes through that state between two of its own windows as well.
api.windows.onFocusChanged.addListener((windowId) => {
  if (windowId === NO_WINDOW) return;
  focusedWindow = windowId;
  reportFront();
});

reportFront();
