// Tells Velmora, on this computer only, which tab is in front, so its memory stories can name
// the page. Private and incognito tabs are never reported. Velmora answers every post with the
// same short acknowledgement; when it is not running the post fails quietly.
"use strict";

const BRIDGE_URL = "http://127.0.0.1:18765/tab";
const api = globalThis.browser || globalThis.chrome;

function browserWord() {
  const nav = globalThis.navigator || {};
  if (/Firefox\//.test(nav.userAgent || "")) return "firefox";
  if (nav.brave) return "brave";
  const brands = (nav.userAgentData && nav.userAgentData.brands) || [];
  if (brands.some((b) => /Edge/.test(b.brand))) return "edge";
  return "chrome";
}

// The tab as Velmora reads it; keys the tab lacks are left out.
function tabReport(tab) {
  let host;
  try {
    host = new URL(tab.url).hostname || undefined;
  } catch (e) {
    host = undefined;
  }
  return JSON.stringify({ browser: browserWord(), title: tab.title, url: tab.url, host });
}

let lastSent = null;

function report(tab) {
  if (!tab || tab.incognito || !tab.active) return;
  const body = tabReport(tab);
  if (body === lastSent) return;
  lastSent = body;
  fetch(BRIDGE_URL, {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body,
  }).catch(() => {});
}

api.tabs.onActivated.addListener((info) => {
  api.tabs.get(info.tabId).then(report, () => {});
});

api.tabs.onUpdated.addListener((tabId, change, tab) => {
  if (change.title !== undefined || change.url !== undefined || change.status === "complete") report(tab);
});
