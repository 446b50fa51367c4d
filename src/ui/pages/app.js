// tallyx ui: the pages of the browser application. Plain JavaScript; every
// text from the server goes into the page as text, never as markup.
"use strict";

const token = document.querySelector('meta[name="tallyx-token"]').content;
// The address bar keeps no token once the page has its cookie.
if (location.search.includes("token=")) history.replaceState(null, "", "/" + location.hash);

// ------------------------------------------------------------------ helpers

function h(tag, attributes, ...children) {
  const element = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) {
    if (value === null || value === undefined || value === false) continue;
    if (name.startsWith("on")) element.addEventListener(name.slice(2), value);
    else if (name === "class") element.className = value;
    else element.setAttribute(name, value === true ? "" : value);
  }
  for (const child of children.flat()) {
    if (child === null || child === undefined || child === false) continue;
    element.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
  return element;
}

async function api(method, path, body) {
  const options = { method, headers: {} };
  if (method !== "GET") {
    options.headers["X-Tallyx-Token"] = token;
    options.headers["Content-Type"] = "application/json";
    options.body = JSON.stringify(body || {});
  }
  let response;
  try {
    response = await fetch(path, options);
  } catch (e) {
    return { status: 0, data: { error: "tallyx ui does not answer: is it still running?" } };
  }
  let data = {};
  try { data = await response.json(); } catch (e) { data = {}; }
  return { status: response.status, data };
}

function show(...children) {
  const view = document.getElementById("view");
  view.replaceChildren(...children.flat().filter((child) => child !== null && child !== undefined && child !== false));
}

function message(kind, text) { return h("div", { class: "message " + kind }, text); }
function figureValue(figure) { return figure && figure.value !== null && figure.value !== undefined ? figure.value : null; }
function fmt(number, digits) {
  if (number === null || number === undefined || number === "") return "–";
  return Number(number).toLocaleString("en-US", { maximumFractionDigits: digits || 0, minimumFractionDigits: digits || 0 });
}
const charts = [];
function chart(canvas, config) {
  config.options = Object.assign({ responsive: true, maintainAspectRatio: false, animation: false }, config.options || {});
  const made = new Chart(canvas, config);
  charts.push(made);
  return made;
}
function dropCharts() { while (charts.length) charts.pop().destroy(); }

// ------------------------------------------------------------------ operations
// The operations of every port, kept current by the server's event stream.

let operations = { version: 0, ports: {} };
const watchers = new Set();

function watchOperations(callback) { watchers.add(callback); callback(operations); }
function setOperations(snapshot) {
  if (!snapshot || snapshot.version < operations.version) return;
  operations = snapshot;
  showActivity();
  for (const callback of watchers) callback(operations);
}

function connectEvents() {
  const events = new EventSource("/api/events");
  events.addEventListener("operations", (event) => setOperations(JSON.parse(event.data)));
  events.onerror = () => {
    // The browser reconnects by itself; meanwhile the snapshot comes by asking.
    api("GET", "/api/operations").then((r) => r.status === 200 && setOperations(r.data));
  };
}

const kindNames = { probe: "Asking", read: "Reading", program: "Programming", "discharge-start": "Starting the discharge", "discharge-stop": "Stopping the discharge" };

function running() {
  return Object.entries(operations.ports).filter(([, p]) => p.operation && p.operation.running);
}

function showActivity() {
  const busy = running();
  document.getElementById("activity").textContent =
    busy.length === 0 ? "" : busy.map(([port, p]) => `${port}: ${kindNames[p.operation.kind] || p.operation.kind}…`).join("  ·  ");
  const pending = busy.find(([, p]) => p.operation.state === "question");
  const dialog = document.getElementById("question");
  dialog.hidden = !pending;
  if (pending) {
    dialog.dataset.port = pending[0];
    document.getElementById("question-text").textContent =
      `The battery of the counter on ${pending[0]} may not last for this study. Program it anyway?`;
  }
}

async function answer(proceed) {
  const dialog = document.getElementById("question");
  dialog.hidden = true;
  await api("POST", "/api/answer", { port: dialog.dataset.port, proceed });
}
document.getElementById("question-yes").addEventListener("click", () => answer(true));
document.getElementById("question-no").addEventListener("click", () => answer(false));

function progressOf(operation) {
  const total = operation.total || 0;
  const bar = h("div", { class: "progress" + (total ? "" : " unknown") }, h("div", {}));
  if (total) bar.firstChild.style.width = Math.min(100, (100 * operation.step) / total).toFixed(1) + "%";
  return bar;
}

function stateBadge(operation) {
  const kinds = { running: "", question: "warn", done: "good", failed: "bad", cancelled: "warn" };
  const words = { running: "running", question: "waiting for an answer", done: "done", failed: "failed", cancelled: "cancelled" };
  return h("span", { class: "badge " + (kinds[operation.state] || "") }, words[operation.state] || operation.state);
}

// ------------------------------------------------------------------ ports

async function loadPorts() {
  const r = await api("GET", "/api/ports");
  if (r.status !== 200) return { error: r.data.error || "the ports could not be listed", ports: [] };
  setOperations(Object.assign({}, operations, { version: Math.max(operations.version, r.data.version) }));
  return r.data;
}

function portSelect(ports, id, wanted) {
  const select = h("select", { id, name: "port" });
  for (const p of ports) {
    const c = p.counter && p.counter.known ? ` (model ${p.counter.model}, ${p.counter.serial})` : "";
    select.append(h("option", { value: p.port, selected: p.port === wanted }, p.port + c));
  }
  return select;
}

// ------------------------------------------------------------------ Counters

// Where the counter's study stands, by its begin and end against this machine's clock.
function studyState(c) {
  const begin = (c.begin || "").slice(0, 16), end = (c.end || "").slice(0, 16);
  if (!begin || begin.startsWith("0")) return h("span", { class: "muted" }, "no study");
  const now = new Date(), at = (text) => new Date(text.replace(" ", "T"));
  const state = now < at(begin) ? ["programmed", "warn"] : now < at(end) ? ["recording", "good"] : ["ended", ""];
  return [h("span", { class: "badge " + state[1] }, state[0]), h("div", { class: "muted nowrap" }, begin),
    h("div", { class: "muted nowrap" }, "to " + end)];
}

async function viewCounters() {
  const data = await loadPorts();
  const body = h("tbody", {});
  const table = h("div", { class: "table-wrap" }, h("table", { id: "ports" },
    h("thead", {}, h("tr", {}, ["Port", "Counter", "Firmware", "Battery", "Study", "Last checked", "Operation", ""].map((t) => h("th", {}, t)))),
    body));
  const probe = h("button", { class: "primary", id: "probe-all", onclick: async () => {
    const r = await api("POST", "/api/ports/probe", {});
    if (r.status >= 400) notice.replaceChildren(message("bad", r.data.error));
  } }, "Look for counters");
  const notice = h("div", {});
  function render(state) {
    body.replaceChildren();
    for (const p of data.ports) {
      const live = state.ports[p.port] || {};
      const c = live.counter || p.counter;
      const op = live.operation || p.operation;
      const busy = op && op.running;
      const battery = c && c.known ? [c.batteryVoltage ? c.batteryVoltage + " V" : "", c.batteryPercent ? c.batteryPercent + " %" : ""].filter(Boolean).join(", ") : "";
      body.append(h("tr", { "data-port": p.port },
        h("td", {}, h("strong", {}, p.port), h("div", { class: "muted" }, p.device)),
        h("td", {}, c ? (c.known ? [h("strong", {}, "Model " + c.model), " ", h("span", { class: "nowrap" }, c.serial), h("div", { class: "muted" }, c.unitType)] : h("span", { class: "muted" }, c.problem)) : h("span", { class: "muted" }, "not asked yet")),
        h("td", {}, c && c.known ? c.firmware : ""),
        h("td", { class: "nowrap" }, battery || "–"),
        h("td", {}, c && c.known ? studyState(c) : "–"),
        h("td", {}, c ? c.checkedAt : ""),
        h("td", { class: "operation" }, op ? [kindNames[op.kind] || op.kind, " ", stateBadge(op), op.running ? progressOf(op) : h("div", { class: "muted" }, op.message)] : ""),
        h("td", { class: "actions" }, h("div", { class: "toolbar" },
          h("button", { class: "small", disabled: busy, onclick: () => api("POST", "/api/ports/probe", { port: p.port }) }, "Ask"),
          h("button", { class: "small", disabled: busy, onclick: () => { location.hash = "#read/" + p.port; } }, "Read…"),
          h("button", { class: "small", disabled: busy, "data-action": "discharge-start", onclick: () => discharge(p.port, "start") }, "Start discharge"),
          h("button", { class: "small", disabled: busy, "data-action": "discharge-stop", onclick: () => discharge(p.port, "stop") }, "Stop discharge"),
          busy ? h("button", { class: "small danger", onclick: () => api("POST", "/api/cancel", { port: p.port }) }, "Cancel") : null))));
    }
  }
  async function discharge(port, action) {
    const r = await api("POST", "/api/discharge", { port, action });
    if (r.status >= 400) notice.replaceChildren(message("bad", r.data.error));
    else notice.replaceChildren();
  }
  show(h("h1", {}, "Counters"),
    h("p", { class: "muted" }, "The serial ports of this machine and the counter answering on each. Asking a counter reads only its identity, battery and study state: a study in progress goes on."),
    h("div", { class: "toolbar" }, probe, h("button", { onclick: () => route() }, "Refresh the list")),
    notice,
    data.error ? message("bad", data.error) : data.ports.length === 0 ? h("div", { class: "empty" }, "No serial ports found. Plug in the counter's cable, then refresh the list.") : table);
  watchOperations(render);
}

// ------------------------------------------------------------------ Read

async function viewRead(wantedPort) {
  const data = await loadPorts();
  if (data.ports.length === 0) {
    show(h("h1", {}, "Read a counter"), h("div", { class: "empty" }, "No serial ports found. Plug in the counter's cable and look again on the Counters page."));
    return;
  }
  const busyRead = running().find(([, p]) => p.operation.kind === "read");
  const select = portSelect(data.ports, "read-port", wantedPort || (busyRead && busyRead[0]));
  const metric = h("input", { type: "checkbox", id: "read-metric" });
  const status = h("div", { id: "read-status" });
  const start = h("button", { class: "primary", id: "read-start", onclick: async () => {
    const r = await api("POST", "/api/read", { port: select.value, metric: metric.checked });
    if (r.status >= 400) status.replaceChildren(message("bad", r.data.error));
  } }, "Read the counter");
  let opened = null;
  let shown = "";
  const stepsText = (op) => (op.total ? `step ${op.step} of ${op.total}` : op.step ? `step ${op.step}` : "waking the counter…");
  function render(state) {
    const live = state.ports[select.value] || {};
    const op = live.operation;
    start.disabled = !!(op && op.running);
    if (!op || op.kind !== "read") { shown = ""; status.replaceChildren(); return; }
    // While the same read runs, only its progress changes: the Cancel button stays where it is.
    const key = [select.value, op.id, op.state, op.phase].join(" ");
    if (op.running && key === shown) {
      const fresh = progressOf(op);
      status.querySelector(".progress").replaceWith(fresh);
      document.getElementById("read-steps").textContent = stepsText(op);
      return;
    }
    shown = key;
    const rows = [h("div", {}, h("strong", {}, op.phase), " on ", select.value, " ", stateBadge(op))];
    if (op.running) {
      rows.push(progressOf(op));
      rows.push(h("div", { class: "toolbar" },
        h("span", { class: "muted", id: "read-steps" }, stepsText(op)),
        h("button", { class: "danger", id: "read-cancel", onclick: () => api("POST", "/api/cancel", { port: select.value }) }, "Cancel")));
    } else if (op.state === "done") {
      rows.push(message("good", op.message));
      if (op.studyId) {
        rows.push(h("a", { class: "button primary", id: "read-open", href: "#study/" + op.studyId }, "Open study " + op.studyId));
        // Opened at once when the read ends while the page watches it.
        if (opened === false) { opened = true; location.hash = "#study/" + op.studyId; }
      }
    } else {
      rows.push(message(op.state === "failed" ? "bad" : "info", op.message));
    }
    status.replaceChildren(h("div", { class: "card" }, rows));
    if (op.running) opened = false;
  }
  select.addEventListener("change", () => render(operations));
  show(h("h1", {}, "Read a counter"),
    h("p", { class: "muted" }, "Reads every vehicle and period into the archive. A full read ends the study on the counter: it records nothing more until it is programmed again."),
    h("div", { class: "card" }, h("form", { class: "grid", id: "read-form", onsubmit: (e) => e.preventDefault() },
      h("div", { class: "field" }, h("label", { for: "read-port" }, "Port"), select),
      h("div", { class: "field" }, h("label", {}, "Units"), h("label", { class: "check" }, metric, " km/h and dm (metric)"))),
      h("div", { class: "toolbar" }, start)),
    status);
  watchOperations(render);
}

// ------------------------------------------------------------------ Program

const studyFields = [
  ["Study", [
    ["begin", "Begin", "YYYY-MM-DD hh:mm, local time"],
    ["end", "End", "YYYY-MM-DD hh:mm"],
    ["period", "Period (minutes)", "1 to 240"],
    ["units", "Units", null, ["us", "metric"]],
  ]],
  ["Bins and limit", [
    ["speed-bins", "Speed bins", "increasing, such as 20 30 40 50 60"],
    ["length-bins", "Length bins", "increasing, such as 20 40"],
    ["speed-limit", "Speed limit", "the posted limit"],
  ]],
  ["Site", [
    ["state", "State", "2 characters"],
    ["city", "City", "up to 32 characters"],
    ["county", "County", "up to 32 characters"],
    ["address", "Address", "up to 32 characters"],
    ["lane", "Lane or direction", "up to 16 characters"],
    ["operator", "Operator", "initials, 2 characters"],
  ]],
];

function pad(n) { return String(n).padStart(2, "0"); }
function dayText(date) { return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())} 00:00`; }

async function viewProgram() {
  const [data, studies] = await Promise.all([loadPorts(), api("GET", "/api/studies")]);
  const select = portSelect(data.ports, "program-port");
  const inputs = {};
  const problems = {};
  const form = h("form", { id: "program-form", onsubmit: (e) => { e.preventDefault(); submit(); } });
  for (const [legend, fields] of studyFields) {
    const container = h("div", { class: "grid" });
    const set = h("fieldset", {}, h("legend", {}, legend), container);
    for (const [key, label, hint, choices] of fields) {
      const input = choices
        ? h("select", { id: "f-" + key, name: key }, choices.map((c) => h("option", { value: c }, c === "us" ? "US (mph, ft)" : "metric (km/h, dm)")))
        : h("input", { id: "f-" + key, name: key, type: "text", autocomplete: "off", placeholder: hint || "" });
      const problem = h("div", { class: "problem", id: "problem-" + key });
      inputs[key] = input;
      problems[key] = problem;
      input.addEventListener("change", () => check());
      container.append(h("div", { class: "field", id: "field-" + key }, h("label", { for: "f-" + key }, label), input, problem));
    }
    form.append(set);
  }
  // A week from tomorrow, as a start.
  const tomorrow = new Date(); tomorrow.setDate(tomorrow.getDate() + 1);
  const weekLater = new Date(tomorrow); weekLater.setDate(weekLater.getDate() + 7);
  inputs.begin.value = dayText(tomorrow);
  inputs.end.value = dayText(weekLater);
  inputs.period.value = "15";
  inputs["speed-bins"].value = "20 30 40 50 60";
  inputs["length-bins"].value = "20 40";

  const from = h("select", { id: "program-from" }, h("option", { value: "" }, "— a new study —"));
  for (const s of (studies.data.studies || [])) from.append(h("option", { value: s.id }, `Study ${s.id}: ${s.site || s.counter}, ${s.begin.slice(0, 10)}`));
  from.addEventListener("change", async () => {
    if (!from.value) return;
    const r = await api("GET", "/api/studies/" + from.value);
    if (r.status !== 200) return;
    for (const [key, value] of Object.entries(r.data.settings)) {
      if (!inputs[key] || key === "begin" || key === "end") continue;
      inputs[key].value = value;
    }
    check();
  });
  const status = h("div", { id: "program-status" });
  const send = h("button", { class: "primary", id: "program-send", type: "submit" }, "Program the counter");
  form.append(h("div", { class: "toolbar" }, send, h("span", { class: "muted" }, "Programming erases the data on the counter: read it first.")));

  function settings() {
    const out = {};
    for (const [key, input] of Object.entries(inputs)) if (input.value.trim() !== "") out[key] = input.value.trim();
    return out;
  }
  function showProblems(fields) {
    for (const key of Object.keys(problems)) {
      problems[key].textContent = (fields && fields[key]) || "";
      document.getElementById("field-" + key).classList.toggle("invalid", !!(fields && fields[key]));
    }
  }
  let checking = 0;
  async function check() {
    const mine = ++checking;
    const r = await api("POST", "/api/program/check", { settings: settings() });
    if (mine !== checking) return false;
    showProblems(r.status === 400 ? (r.data.fields || { [r.data.field]: r.data.error }) : null);
    return r.status === 200;
  }
  let sent = false;
  async function submit() {
    status.replaceChildren();
    if (!(await check())) { status.replaceChildren(message("bad", "The study has problems, shown beside their fields. Nothing was sent to the counter.")); return; }
    const r = await api("POST", "/api/program", { port: select.value, settings: settings() });
    if (r.status === 400) { showProblems(r.data.fields || { [r.data.field]: r.data.error }); return; }
    if (r.status >= 400) { status.replaceChildren(message("bad", r.data.error)); return; }
    sent = true;
  }
  function render(state) {
    const op = (state.ports[select.value] || {}).operation;
    send.disabled = !!(op && op.running);
    if (!op || op.kind !== "program" || (!sent && !op.running)) return;
    if (op.running) {
      status.replaceChildren(h("div", { class: "card" }, h("strong", {}, op.state === "question" ? "Waiting for your answer…" : "Programming " + select.value + "…"), progressOf(op)));
    } else {
      if (op.fields && Object.keys(op.fields).length) showProblems(op.fields);
      status.replaceChildren(message(op.state === "done" ? "good" : "bad", op.message));
    }
  }
  select.addEventListener("change", () => render(operations));
  show(h("h1", {}, "Program a study"),
    h("p", { class: "muted" }, "Every setting is checked with the rules of tallyx program before anything is sent to the counter."),
    h("div", { class: "card" },
      h("div", { class: "toolbar" }, h("label", { for: "program-port" }, h("strong", {}, "Port ")), select,
        h("label", { for: "program-from" }, h("strong", {}, "Start from ")), from),
      form),
    status);
  watchOperations(render);
}

// ------------------------------------------------------------------ Archive

async function viewArchive() {
  const filters = {};
  const bar = h("form", { class: "toolbar", id: "archive-filters", onsubmit: (e) => { e.preventDefault(); load(); } });
  for (const [key, label, placeholder] of [["site", "Site", "site ID or text"], ["counter", "Counter", "serial number"], ["from", "From", "YYYY-MM-DD"], ["to", "To", "YYYY-MM-DD"]]) {
    filters[key] = h("input", { id: "filter-" + key, placeholder, size: 14 });
    bar.append(h("label", {}, label + " "), filters[key]);
  }
  bar.append(h("button", { type: "submit" }, "Filter"));
  const list = h("div", { id: "studies" });
  const sites = h("div", { id: "sites" });
  async function load() {
    const query = new URLSearchParams();
    for (const [key, input] of Object.entries(filters)) if (input.value.trim()) query.set(key, input.value.trim());
    const r = await api("GET", "/api/studies" + (query.toString() ? "?" + query : ""));
    if (r.status !== 200) { list.replaceChildren(message("bad", r.data.error)); return; }
    if (r.data.studies.length === 0) { list.replaceChildren(h("div", { class: "empty" }, "No studies" + (query.toString() ? " match." : " yet: read a counter and it appears here."))); return; }
    list.replaceChildren(h("div", { class: "table-wrap" }, h("table", {},
      h("thead", {}, h("tr", {}, ["ID", "Begin", "End", "Counter", "Site"].map((t) => h("th", {}, t)), h("th", { class: "num" }, "Vehicles"))),
      h("tbody", {}, r.data.studies.map((s) => h("tr", { class: "link", "data-study": s.id, onclick: () => { location.hash = "#study/" + s.id; } },
        h("td", {}, h("a", { href: "#study/" + s.id }, String(s.id))), h("td", {}, s.begin.slice(0, 16)), h("td", {}, s.end.slice(0, 16)),
        h("td", {}, s.counter, h("div", { class: "muted" }, s.unitType)), h("td", {}, s.site), h("td", { class: "num" }, fmt(s.vehicles))))))));
  }
  async function loadSites() {
    const r = await api("GET", "/api/sites");
    if (r.status !== 200) { sites.replaceChildren(message("bad", r.data.error)); return; }
    if (r.data.sites.length === 0) { sites.replaceChildren(h("div", { class: "empty" }, "No sites yet.")); return; }
    sites.replaceChildren(h("div", { class: "table-wrap" }, h("table", {},
      h("thead", {}, h("tr", {}, ["Site", "Place", "FIPS state", "Station", "Class", "Directions", "Studies", ""].map((t) => h("th", { class: t === "Studies" ? "num" : "" }, t)))),
      h("tbody", {}, r.data.sites.map((s) => h("tr", {},
        h("td", {}, String(s.id)), h("td", {}, [s.address, s.city, s.county, s.state].filter(Boolean).join(", "), s.lane ? h("div", { class: "muted" }, s.lane) : null),
        h("td", {}, s["fips-state"]), h("td", {}, s.station), h("td", {}, s["class"]), h("td", {}, [s["forward-direction"], s["reverse-direction"]].filter(Boolean).join(" / ")),
        h("td", { class: "num" }, String(s.studies)), h("td", {}, h("a", { class: "button small", href: "#site/" + s.id }, "Edit codes"))))))));
  }
  show(h("h1", {}, "Archive"), h("p", { class: "muted" }, "Every study read, newest first. Open one for its report, charts and files."), bar, list,
    h("h2", {}, "Site register"), h("p", { class: "muted" }, "The codes a state traffic program needs for the volume records, kept per site."), sites);
  await Promise.all([load(), loadSites()]);
}

const siteLabels = { "fips-state": "FIPS state code", station: "Station ID", "class": "Functional class",
  "forward-direction": "Forward direction", "reverse-direction": "Reverse direction", "lane-code": "Lane code",
  latitude: "Latitude", longitude: "Longitude" };

function siteForm(site, fields, onSaved) {
  const inputs = {};
  const problems = {};
  const note = h("div", {});
  const grid = h("div", { class: "site-codes" });
  for (const f of fields) {
    inputs[f.key] = h("input", { id: "site-" + f.key, value: site[f.key] || "" });
    problems[f.key] = h("div", { class: "problem" });
    grid.append(h("div", { class: "field", id: "site-field-" + f.key }, h("label", { for: "site-" + f.key }, siteLabels[f.key] || f.key), inputs[f.key], h("div", { class: "hint" }, f.help), problems[f.key]));
  }
  const form = h("form", { id: "site-form", onsubmit: async (e) => {
    e.preventDefault();
    const changed = {};
    for (const f of fields) if ((site[f.key] || "") !== inputs[f.key].value.trim()) changed[f.key] = inputs[f.key].value.trim();
    for (const f of fields) { problems[f.key].textContent = ""; document.getElementById("site-field-" + f.key).classList.remove("invalid"); }
    if (Object.keys(changed).length === 0) { note.replaceChildren(message("info", "Nothing changed.")); return; }
    const r = await api("POST", "/api/sites/" + site.id, { fields: changed });
    if (r.status === 400 && problems[r.data.field]) {
      problems[r.data.field].textContent = r.data.error;
      document.getElementById("site-field-" + r.data.field).classList.add("invalid");
      note.replaceChildren();
      return;
    }
    if (r.status !== 200) { note.replaceChildren(message("bad", r.data.error)); return; }
    Object.assign(site, r.data);
    note.replaceChildren(message("good", "Saved."));
    if (onSaved) onSaved(r.data);
  } }, grid, h("div", { class: "toolbar" }, h("button", { class: "primary", type: "submit", id: "site-save" }, "Save the codes")), note);
  return form;
}

async function viewSite(id) {
  const [site, sites] = await Promise.all([api("GET", "/api/sites/" + id), api("GET", "/api/sites")]);
  if (site.status !== 200) { show(h("h1", {}, "Site " + id), message("bad", site.data.error)); return; }
  const s = site.data;
  show(h("p", {}, h("a", { href: "#archive" }, "← Archive")), h("h1", {}, "Site " + s.id),
    h("p", { class: "muted" }, [s.address, s.city, s.county, s.state].filter(Boolean).join(", "), s.lane ? " (" + s.lane + ")" : ""),
    h("div", { class: "card" }, siteForm(s, sites.data.fields || [])));
}

// ------------------------------------------------------------------ Study

async function viewStudy(id) {
  const [r, sites] = await Promise.all([api("GET", "/api/studies/" + id), api("GET", "/api/sites")]);
  if (r.status !== 200) { show(h("p", {}, h("a", { href: "#archive" }, "← Archive")), message("bad", r.data.error)); return; }
  const s = r.data.study, doc = r.data.report, units = doc.units || {};
  const both = (doc.speed && doc.speed.both) || {};
  const adt = doc.volume && doc.volume.average_daily_traffic;
  let peak = null;
  for (const day of (doc.volume && doc.volume.peak_hours) || []) {
    const p = day.whole_day && day.whole_day.clock_hour;
    if (p && (!peak || figureValue(p.volume) > figureValue(peak.volume))) peak = p;
  }
  const overLimit = both.over_limit && both.over_limit[0];
  const figures = h("div", { class: "figures", id: "figures" },
    [["Vehicles", fmt(figureValue(doc.vehicles && doc.vehicles.both))],
     ["Mean speed", both.mean ? fmt(figureValue(both.mean), 1) + " " + units.speed : "–"],
     ["85th percentile", both.p85 ? fmt(figureValue(both.p85)) + " " + units.speed : "–"],
     ["Average daily traffic", adt ? fmt(figureValue(adt.both)) : "–"],
     [peak ? `Busiest hour, ${peak.from.slice(5, 16)}` : "Busiest hour", peak ? fmt(figureValue(peak.volume)) : "–"],
     [overLimit ? `Over the limit (${fmt(figureValue(overLimit.above))} ${units.speed})` : "Over the limit",
      overLimit ? fmt(figureValue(overLimit.share), 1) + " %" : "–"]]
      .map(([label, value]) => h("div", { class: "figure" }, h("div", { class: "value" }, value), h("div", { class: "label" }, label))));

  const boxes = [];
  function box(id, title) {
    const canvas = h("canvas", { id });
    boxes.push(h("div", { class: "chart-box" }, h("h3", {}, title), h("div", { class: "canvas" }, canvas)));
    return canvas;
  }
  const histogram = doc.speed && doc.speed.histogram;
  const speedCanvas = histogram && histogram.speeds.length ? box("chart-speeds", "Vehicles by speed (" + units.speed + ")") : null;
  const hours = (doc.volume && doc.volume.hours && doc.volume.hours.rows) || [];
  const hourCanvas = hours.length ? box("chart-hours", "Vehicles per hour") : null;
  const days = (doc.volume && doc.volume.days && doc.volume.days.rows) || [];
  const dayCanvas = days.length ? box("chart-days", "Vehicles per day") : null;
  const bands = (doc.headways && doc.headways.bands) || [];
  const headwayCanvas = bands.length ? box("chart-headways", "Gaps between vehicles") : null;

  const downloads = h("div", { class: "downloads", id: "downloads" },
    (r.data.files || []).map((name) => h("a", { class: "button", href: `/api/studies/${id}/files/${name}`, download: `study-${id}-${name}`, "data-file": name }, name)),
    h("a", { class: "button", href: `/api/studies/${id}/files/report.html?view=1`, target: "_blank", rel: "noopener" }, "Open the full report"));
  const site = r.data.site;
  show(h("p", {}, h("a", { href: "#archive" }, "← Archive")),
    h("h1", {}, `Study ${s.id}: ${s.site || "no site texts"}`),
    h("p", { class: "muted" }, `${s.begin.slice(0, 16)} to ${s.end.slice(0, 16)} · counter ${s.counter} (${s.unitType}) · read ${s.readAt} by ${s.program} · ${s.metric ? "metric" : "US units"}`),
    figures,
    doc.note ? message("info", doc.note) : null,
    h("div", { class: "charts" }, boxes),
    h("h2", {}, "Files"), downloads,
    site ? [h("h2", {}, "Site " + site.id + " codes"), h("p", { class: "muted" }, "The volume records (volume.tmg) take the station's codes from here."), h("div", { class: "card" }, siteForm(site, sites.data.fields || []))] : null);

  const forward = "#1f5f8b", reverse = "#e07b39";
  const stacked = { scales: { x: { stacked: true }, y: { stacked: true, beginAtZero: true } }, plugins: { legend: { position: "bottom" } } };
  if (speedCanvas) chart(speedCanvas, { type: "bar", data: { labels: histogram.speeds, datasets: [
    { label: "forward", data: histogram.forward, backgroundColor: forward }, { label: "reverse", data: histogram.reverse, backgroundColor: reverse }] }, options: stacked });
  if (hourCanvas) chart(hourCanvas, { type: "line", data: { labels: hours.map((x) => x.hour.slice(5)), datasets: [
    { label: "forward", data: hours.map((x) => x.forward), borderColor: forward, backgroundColor: forward, pointRadius: 0 },
    { label: "reverse", data: hours.map((x) => x.reverse), borderColor: reverse, backgroundColor: reverse, pointRadius: 0 }] },
    options: { scales: { y: { beginAtZero: true }, x: { ticks: { maxTicksLimit: 12 } } }, plugins: { legend: { position: "bottom" } } } });
  if (dayCanvas) chart(dayCanvas, { type: "bar", data: { labels: days.map((x) => x.day + (x.whole ? "" : " (part)")), datasets: [
    { label: "forward", data: days.map((x) => x.forward), backgroundColor: forward }, { label: "reverse", data: days.map((x) => x.reverse), backgroundColor: reverse }] }, options: stacked });
  if (headwayCanvas) chart(headwayCanvas, { type: "bar", data: { labels: bands.map((b) => b.band), datasets: [
    { label: "forward", data: bands.map((b) => b.forward), backgroundColor: forward }, { label: "reverse", data: bands.map((b) => b.reverse), backgroundColor: reverse }] }, options: stacked });
}

// ------------------------------------------------------------------ Fleet

async function viewFleet() {
  const r = await api("GET", "/api/counters");
  if (r.status !== 200) { show(h("h1", {}, "Fleet"), message("bad", r.data.error)); return; }
  const counters = r.data.counters;
  const rows = [];
  const pending = [];
  for (const c of counters) {
    const last = c.readings[c.readings.length - 1] || {};
    const canvas = h("canvas", {});
    const drift = last.clockOffsetSeconds === null || last.clockOffsetSeconds === undefined ? "not known" : (last.clockOffsetSeconds >= 0 ? "+" : "") + last.clockOffsetSeconds + " s";
    rows.push(h("tr", { "data-serial": c.serial },
      h("td", {}, h("strong", {}, c.serial || "(no serial)"), h("div", { class: "muted" }, c.unitType)),
      h("td", {}, c.firmware || "–"),
      h("td", {}, c.lastSeen, c.lastSite ? h("div", { class: "muted" }, c.lastSite) : null),
      h("td", { class: "num" }, String(c.studies)),
      h("td", {}, [last.batteryVoltage ? last.batteryVoltage + " V" : "", last.batteryPercent ? last.batteryPercent + " %" : ""].filter(Boolean).join(", ") || "–"),
      h("td", {}, drift),
      h("td", {}, c.readings.length > 1 ? h("div", { class: "fleet-chart" }, canvas) : h("span", { class: "spark-note" }, "one reading so far"))));
    if (c.readings.length > 1) pending.push([canvas, c]);
  }
  show(h("h1", {}, "Fleet"), h("p", { class: "muted" }, "Every counter the archive has read: when and where it was last used, and its battery at each read."),
    counters.length === 0 ? h("div", { class: "empty" }, "No counters yet: every read adds its counter here.") :
      h("div", { class: "table-wrap" }, h("table", { id: "fleet" },
        h("thead", {}, h("tr", {}, ["Counter", "Firmware", "Last used", "Studies", "Battery", "Clock drift", "Battery history"].map((t, i) => h("th", { class: i === 3 ? "num" : "" }, t)))),
        h("tbody", {}, rows))));
  for (const [canvas, c] of pending) {
    const volts = c.readings.map((x) => (x.batteryVoltage === "" ? null : Number(x.batteryVoltage)));
    const percent = c.readings.map((x) => (x.batteryPercent === "" ? null : Number(x.batteryPercent)));
    const usePercent = percent.some((x) => x !== null) && !volts.some((x) => x !== null);
    chart(canvas, { type: "line", data: { labels: c.readings.map((x) => x.readAt.slice(5, 16)), datasets: [
      { label: usePercent ? "%" : "V", data: usePercent ? percent : volts, borderColor: "#1f5f8b", backgroundColor: "#1f5f8b", pointRadius: 2 }] },
      options: { plugins: { legend: { display: false } }, scales: { x: { ticks: { maxTicksLimit: 4 } } } } });
  }
}

// ------------------------------------------------------------------ routing

async function route() {
  watchers.clear();
  dropCharts();
  const [name, argument] = (location.hash.slice(1) || "counters").split("/");
  const section = name === "study" || name === "site" ? "archive" : name;
  for (const link of document.querySelectorAll(".top nav a")) link.classList.toggle("current", link.dataset.view === section);
  const views = { counters: viewCounters, read: viewRead, program: viewProgram, archive: viewArchive, fleet: viewFleet, study: viewStudy, site: viewSite };
  const view = views[name] || viewCounters;
  document.title = "tallyx: " + (section.charAt(0).toUpperCase() + section.slice(1));
  await view(argument);
  document.body.dataset.ready = location.hash || "#counters";
  // When the first view was whole, for the page bench.
  if (!document.body.dataset.firstReadyMs) document.body.dataset.firstReadyMs = performance.now().toFixed(1);
}

window.addEventListener("hashchange", route);
connectEvents();
api("GET", "/api/operations").then((r) => { if (r.status === 200) setOperations(r.data); route(); });
