// The Playwright side of the capture benchmark, on the same Chromium
// executable as snapkit (no browser download).
//
//   node playwright.mjs warm            one page; reads URLs on stdin, one a
//                                        line, and answers each with a JSON
//                                        line {ms, bytes} for goto + screenshot
//   node playwright.mjs batch LIST DIR N  captures every URL of LIST into DIR
//                                        with N pages at once, then prints a
//                                        JSON line {pages, failed, ms, launch_ms}
//
// Both take the viewport from VIEWPORT (default 1024x768) and the executable
// from CHROMIUM (default: the one snapkit picks).

import { chromium } from "playwright-core";
import { accessSync, constants, readFileSync } from "node:fs";
import { createInterface } from "node:readline";
import { join } from "node:path";

function defaultExecutable() {
  const shell = "/usr/lib/chromium/chromium-headless-shell";
  try {
    accessSync(shell, constants.X_OK);
    return shell;
  } catch {
    return "/usr/bin/chromium";
  }
}

const executablePath = process.env.CHROMIUM || defaultExecutable();
const [vw, vh] = (process.env.VIEWPORT || "1024x768").split("x").map(Number);
const viewport = { width: vw, height: vh };

async function launch() {
  // The same kind of flags as snapkit's; Playwright adds --no-sandbox itself
  // unless asked for the sandbox.
  return chromium.launch({
    executablePath,
    headless: true,
    args: ["--disable-gpu", "--hide-scrollbars"],
  });
}

async function capture(page, url, path) {
  const t0 = performance.now();
  await page.goto(url, { waitUntil: "load", timeout: 30000 });
  const png = await page.screenshot(path ? { path, type: "png" } : { type: "png" });
  return { ms: performance.now() - t0, bytes: png.length };
}

async function warm() {
  const browser = await launch();
  const context = await browser.newContext({ viewport });
  const page = await context.newPage();
  console.log(JSON.stringify({ ready: true, version: browser.version(), executablePath }));
  const lines = createInterface({ input: process.stdin });
  for await (const url of lines) {
    if (!url.trim()) continue;
    try {
      console.log(JSON.stringify(await capture(page, url.trim())));
    } catch (e) {
      console.log(JSON.stringify({ error: String(e.message || e).split("\n")[0] }));
    }
  }
  await browser.close();
}

async function batch(list, dir, jobs) {
  const t0 = performance.now();
  const urls = readFileSync(list, "utf8")
    .split("\n")
    .map((l) => l.trim())
    .filter((l) => l && !l.startsWith("#"))
    .map((l) => l.split(/\s+/)[0]);
  const browser = await launch();
  const launchMs = performance.now() - t0;
  const context = await browser.newContext({ viewport });
  let next = 0,
    failed = 0;
  async function worker() {
    const page = await context.newPage();
    while (next < urls.length) {
      const i = next++;
      const name = String(i + 1).padStart(4, "0") + ".png";
      try {
        await capture(page, urls[i], join(dir, name));
      } catch (e) {
        failed++;
        console.error(`${urls[i]}: ${String(e.message || e).split("\n")[0]}`);
      }
    }
    await page.close();
  }
  await Promise.all(Array.from({ length: jobs }, worker));
  await browser.close();
  console.log(
    JSON.stringify({ pages: urls.length, failed, ms: performance.now() - t0, launch_ms: launchMs })
  );
}

const [mode, ...rest] = process.argv.slice(2);
if (mode === "warm") await warm();
else if (mode === "batch") await batch(rest[0], rest[1], Number(rest[2] || 2));
else {
  console.error("usage: node playwright.mjs warm | batch LIST DIR N");
  process.exit(2);
}
