#include "host/browser/consent_rules.h"

namespace host {
namespace {

// Each manager: how to tell it is there, its documented reject call, its
// reject buttons, and what to hide. Clicks go only to reject buttons; a
// dialog with none is hidden, never accepted.
constexpr const char* kScript = R"JS(
(function (watchMs) {
  'use strict';
  // Per document: a frame's first document and the one that replaces it
  // share their window.
  const self = window.__snapkitConsent;
  if (self && self.document === document) return JSON.stringify(self.report());
  const managers = [
    { name: 'OneTrust',
      detect: ['#onetrust-banner-sdk', '#onetrust-pc-sdk', '#onetrust-consent-sdk'],
      api: () => window.OneTrust && typeof OneTrust.RejectAll === 'function' &&
                 (OneTrust.RejectAll(), true),
      reject: ['#onetrust-reject-all-handler', '.ot-pc-refuse-all-handler'],
      hide: ['#onetrust-consent-sdk', '#onetrust-banner-sdk', '.onetrust-pc-dark-filter'],
      locks: ['ot-overflow-hidden'] },
    { name: 'Cookiebot',
      detect: ['#CybotCookiebotDialog'],
      api: () => window.Cookiebot && typeof Cookiebot.submitCustomConsent === 'function' &&
                 (Cookiebot.submitCustomConsent(false, false, false), true),
      reject: ['#CybotCookiebotDialogBodyButtonDecline',
               '#CybotCookiebotDialogBodyLevelButtonLevelOptinDeclineAll'],
      hide: ['#CybotCookiebotDialog', '#CybotCookiebotDialogBodyUnderlay'],
      locks: ['CybotCookiebotDialogActive'] },
    { name: 'Didomi',
      detect: ['#didomi-host', '#didomi-notice', '#didomi-popup'],
      api: () => window.Didomi && typeof Didomi.setUserDisagreeToAll === 'function' &&
                 (Didomi.setUserDisagreeToAll(), true),
      reject: ['#didomi-notice-disagree-button', '.didomi-continue-without-agreeing'],
      hide: ['#didomi-host', '#didomi-notice', '#didomi-popup'],
      locks: ['didomi-popup-open'] },
    { name: 'Quantcast',
      detect: ['#qc-cmp2-container', '#qc-cmp2-ui', '.qc-cmp2-container'],
      api: null,
      reject: ['#qc-cmp2-ui button[mode="secondary"]',
               '.qc-cmp2-summary-buttons button[mode="secondary"]'],
      hide: ['#qc-cmp2-container', '.qc-cmp2-container', '#qc-cmp2-ui'],
      locks: ['qc-cmp-ui-showing'] },
    { name: 'Osano',
      detect: ['.osano-cm-window', '.osano-cm-dialog'],
      api: null,
      reject: ['.osano-cm-denyAll', '.osano-cm-button--type_denyAll'],
      hide: ['.osano-cm-window', '.osano-cm-dialog'],
      locks: [] },
    { name: 'cookieconsent',
      detect: ['.cc-window', '.cc-banner'],
      api: null,
      reject: ['.cc-window .cc-deny', '.cc-banner .cc-deny'],
      hide: ['.cc-window', '.cc-banner', '.cc-grower'],
      locks: [] },
    { name: 'Usercentrics',
      detect: ['#usercentrics-root', '#usercentrics-cmp-ui', '#uc-center-container'],
      api: () => window.UC_UI && typeof UC_UI.denyAllConsents === 'function' &&
                 (UC_UI.denyAllConsents(),
                  typeof UC_UI.closeCMP === 'function' && UC_UI.closeCMP(), true),
      reject: ['[data-testid="uc-deny-all-button"]', '#uc-deny-all-button'],
      hide: ['#usercentrics-root', '#usercentrics-cmp-ui', '#uc-center-container'],
      locks: [] },
    { name: 'TrustArc',
      detect: ['#truste-consent-track', '#consent_blackbar', '.truste_box_overlay',
               '#truste-consent-content'],
      api: null,
      reject: ['#truste-consent-required', '.truste-consent-required'],
      hide: ['#truste-consent-track', '#consent_blackbar', '.truste_box_overlay',
             '.truste_overlay', '.truste_popframe'],
      locks: ['truste-no-scroll'] },
  ];

  const done = [];
  const handled = new Set();
  const clicked = new WeakSet();

  // Open shadow roots too: some managers draw their dialog inside one.
  function find(selector) {
    const direct = document.querySelector(selector);
    if (direct) return direct;
    const hosts = document.querySelectorAll('#usercentrics-root, #usercentrics-cmp-ui, [id*="consent"]');
    for (const host of hosts) {
      const found = host.shadowRoot && host.shadowRoot.querySelector(selector);
      if (found) return found;
    }
    return null;
  }

  let style = null;
  function hide(m) {
    if (!style) {
      style = document.createElement('style');
      style.id = 'snapkit-consent';
      (document.head || document.documentElement).appendChild(style);
    }
    style.textContent += m.hide.join(', ') + ' {display:none !important}\n';
  }

  function unlock(m) {
    for (const el of [document.documentElement, document.body]) {
      if (!el) continue;
      for (const c of m.locks) el.classList.remove(c);
      const s = getComputedStyle(el);
      if (s.overflow === 'hidden' || s.overflowY === 'hidden')
        el.style.setProperty('overflow', 'visible', 'important');
      if (el === document.body && s.position === 'fixed')
        el.style.setProperty('position', 'static', 'important');
    }
  }

  function act() {
    if (!document.documentElement) return;
    for (const m of managers) {
      if (!m.detect.some(find)) continue;
      let action = null;
      if (!handled.has(m.name)) {
        try { if (m.api && m.api()) action = 'api'; } catch (e) {}
      }
      if (!action) {
        for (const selector of m.reject) {
          const button = find(selector);
          if (button && !clicked.has(button)) {
            clicked.add(button);
            button.click();
            action = 'click';
            break;
          }
        }
      }
      if (!handled.has(m.name)) {
        hide(m);
        done.push({ manager: m.name, action: action || 'hide' });
        handled.add(m.name);
      }
      unlock(m);
    }
  }

  let pending = false;
  const observer = new MutationObserver(() => {
    if (pending) return;
    pending = true;
    setTimeout(() => { pending = false; act(); }, 50);
  });
  observer.observe(document, { childList: true, subtree: true, attributes: true,
                               attributeFilter: ['class', 'style'] });
  // Put in before the document is parsed: its dialog is dealt with before
  // its load ends, and so before its parent's.
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', act);
  setTimeout(() => { observer.disconnect(); act(); }, watchMs);
  window.__snapkitConsent = { document, report: () => done.slice(),
                              act: () => (act(), done.slice()) };
  act();
  return JSON.stringify(done);
})
)JS";

}  // namespace

std::string ConsentScript(int WatchMs) {
  return std::string(kScript) + "(" + std::to_string(WatchMs < 0 ? 0 : WatchMs) + ")";
}

}  // namespace host
