#include "tools/report_page.h"

namespace vextrel::tool {
namespace {

constexpr const char* kHead = R"html(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><meta name="viewport" content="width=device-width, initial-scale=1">
<title>)html";

constexpr const char* kStyle = R"html(</title>
<style>
body{font:14px/1.4 system-ui,sans-serif;margin:0;padding:16px 24px;color:#1d2430;background:#f6f7f9}
h1{font-size:20px;margin:0 0 12px}h2{font-size:16px;margin:22px 0 8px}
.cards{display:flex;gap:12px;flex-wrap:wrap}.card{background:#fff;border:1px solid #dde1e6;border-radius:6px;padding:8px 14px;min-width:110px}
.card b{display:block;font-size:22px}.card span{color:#5b6573;font-size:12px}
.panel{background:#fff;border:1px solid #dde1e6;border-radius:6px;padding:10px 12px;margin-bottom:10px}
canvas{display:block;width:100%}table{border-collapse:collapse;font-size:13px}td,th{padding:3px 10px 3px 0;text-align:left;vertical-align:top;overflow-wrap:anywhere}
th{color:#5b6573;font-weight:600}.legend{display:flex;flex-wrap:wrap;gap:4px 14px;font-size:12px;margin-top:6px}
.legend i{display:inline-block;width:10px;height:10px;margin-right:4px;border-radius:2px}.note{color:#5b6573;font-size:12px}
.hists{display:grid;grid-template-columns:repeat(auto-fill,minmax(300px,1fr));gap:10px}.mono{font-family:ui-monospace,monospace}
</style></head><body>
<h1 id="title"></h1>
<div class="cards">
<div class="card"><b id="records">-</b><span>records</span></div>
<div class="card"><b id="threads">-</b><span>threads</span></div>
<div class="card"><b id="losses">-</b><span>lost-output reports</span></div>
<div class="card"><b id="duration">-</b><span>from first to last record</span></div>
<div class="card"><b id="filecount">-</b><span>files</span></div>
</div>
<h2>Sessions</h2><div class="panel"><table id="sessions"></table></div>
<h2>Records per second by facility</h2>
<div class="panel"><canvas id="rateFacility" height="200"></canvas><div class="legend" id="legendFacility"></div></div>
<h2>Records per second by thread</h2>
<div class="panel"><canvas id="rateThread" height="200"></canvas><div class="legend" id="legendThread"></div></div>
<h2>Threads over time</h2>
<div class="panel"><canvas id="timeline"></canvas>
<div class="note">Shade: records per time step; bars: the longest spans of each thread; red: lost-output reports.
Wheel to zoom, drag to move, double-click to see everything (the charts above follow).</div></div>
<h2>Longest gaps</h2><div class="panel"><table id="gaps"></table></div>
<h2>Span durations per facility</h2><div class="hists" id="spans"></div>
<script id="data" type="application/json">)html";

constexpr const char* kScript = R"html(</script>
<script>
"use strict";
const D = JSON.parse(document.getElementById("data").textContent);
const COLORS = ["#3b6fd8","#e8853b","#3aa55d","#c94848","#8a62c9","#2fa5a8","#c9a227","#d0589b","#6b7c3a","#5c6f8f","#b0643c","#46a0e0"];
const OTHER = "#a9b0ba";
const $ = id => document.getElementById(id);
const fmt = n => n.toLocaleString("en-US");
function us(v) {
  if (v >= 1e6) return (v / 1e6).toFixed(v >= 1e8 ? 0 : 2) + " s";
  if (v >= 1e3) return (v / 1e3).toFixed(v >= 1e5 ? 0 : 1) + " ms";
  return v + " us";
}
function esc(s) { return String(s).replace(/[&<>"]/g, c => ({"&":"&amp;","<":"&lt;",">":"&gt;","\"":"&quot;"})[c]); }

$("title").textContent = document.title;
$("records").textContent = fmt(D.records);
$("threads").textContent = fmt(D.threads);
$("losses").textContent = fmt(D.losses);
$("duration").textContent = D.records ? us(D.last - D.first) : "-";
$("filecount").textContent = fmt(D.files.length);

// Sessions: each file, then one row per header block in it.
{
  let rows = "<tr><th>header</th><th>executable</th><th>pid</th><th>version</th><th>started (UTC)</th></tr>";
  for (const f of D.files) {
    rows += `<tr><td colspan="5" class="mono"><b>${esc(f.path)}</b> <span class="note">${f.closed ? "ends with the closing line" : "no closing line (crash, or still being written)"}</span></td></tr>`;
    for (const s of f.sessions) {
      rows += `<tr><td>${s.refresh ? "refresh" : "session"} at line ${s.line}</td><td class="mono">${esc(s.executable)}</td>` +
        `<td>0x${s.pid.toString(16)}</td><td>${esc(s.version)}</td><td>${esc(s.start || "")}</td></tr>` +
        `<tr><td></td><td colspan="4" class="note">traces <span class="mono">${esc(s.traced.join(" ")) || "nothing"}</span>` +
        `${s.system ? "<br>" + esc(s.system) : ""}${s.machine ? "<br>machine " + esc(s.machine) : ""}` +
        `${s.configs.length ? "<br>" + s.configs.map(c => "config " + esc(c)).join(", ") : ""}</td></tr>`;
    }
    if (!f.sessions.length) rows += `<tr><td colspan="5">no header</td></tr>`;
  }
  $("sessions").innerHTML = rows;
}

// The time window shown, in microseconds of the trace clock; shared by the charts and the timeline.
const binCount = D.facilities.length ? D.facilities[0].bins.length : 0;
const full = {from: D.origin, to: D.origin + Math.max(1, binCount) * D.binWidth};
let view = {from: full.from, to: full.to};

function prepare(canvas, height) {
  const ratio = window.devicePixelRatio || 1, width = canvas.clientWidth;
  canvas.width = width * ratio;
  canvas.height = height * ratio;
  canvas.style.height = height + "px";
  const g = canvas.getContext("2d");
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.font = "11px system-ui,sans-serif";
  return {g, width, height};
}
const LEFT = 150, RIGHT = 12;
const xOf = (t, width) => LEFT + (t - view.from) / (view.to - view.from) * (width - LEFT - RIGHT);
const tOf = (x, width) => view.from + (x - LEFT) / (width - LEFT - RIGHT) * (view.to - view.from);

function timeAxis(g, width, y) {
  g.fillStyle = "#5b6573";
  g.strokeStyle = "#e3e6ea";
  const span = view.to - view.from, steps = [1,2,5];
  let step = 1;
  for (let p = 1; step * 8 < span; p *= 10) for (const s of steps) if (step * 8 < span) step = s * p;
  for (let t = Math.ceil((view.from - D.first) / step) * step + D.first; t <= view.to; t += step) {
    const x = xOf(t, width);
    g.beginPath(); g.moveTo(x, 0); g.lineTo(x, y); g.stroke();
    g.fillText("+" + us(t - D.first), x + 2, y + 12);
  }
}
function lossMarks(g, width, height) {
  g.fillStyle = "#d22";
  for (const t of D.lossMarks) {
    if (t < view.from || t > view.to) continue;
    const x = xOf(t, width);
    g.fillRect(x - 0.5, 0, 1.5, height);
  }
}

// Stacked records per second: rows (label, bins) drawn in order, the rest joined as "other".
function rateChart(canvas, legend, rows, shown) {
  const {g, width, height} = prepare(canvas, 200);
  const plotH = height - 18;
  const sorted = rows.slice().sort((a, b) => b.total - a.total);
  const top = sorted.slice(0, shown), rest = sorted.slice(shown);
  const series = top.map((r, i) => ({label: r.label, bins: r.bins, color: COLORS[i % COLORS.length]}));
  if (rest.length) {
    const bins = new Array(binCount).fill(0);
    for (const r of rest) r.bins.forEach((v, i) => bins[i] += v);
    series.push({label: rest.length + " more", bins, color: OTHER});
  }
  // Bins are joined so that a column is at least 2 pixels wide.
  const first = Math.max(0, Math.floor((view.from - D.origin) / D.binWidth));
  const last = Math.min(binCount, Math.ceil((view.to - D.origin) / D.binWidth));
  const per = Math.max(1, Math.ceil((last - first) / ((width - LEFT - RIGHT) / 2)));
  const columns = [];
  let peak = 0;
  for (let b = first; b < last; b += per) {
    const n = Math.min(per, last - b), stack = series.map(s => { let c = 0; for (let i = b; i < b + n; i++) c += s.bins[i]; return c / (n * D.binWidth / 1e6); });
    columns.push({b, n, stack});
    peak = Math.max(peak, stack.reduce((a, v) => a + v, 0));
  }
  timeAxis(g, width, plotH);
  g.fillStyle = "#5b6573";
  g.fillText(fmt(Math.round(peak)) + " /s", 4, 12);
  g.fillText("0", 4, plotH);
  for (const c of columns) {
    const x0 = xOf(D.origin + c.b * D.binWidth, width), x1 = xOf(D.origin + (c.b + c.n) * D.binWidth, width);
    let y = plotH;
    c.stack.forEach((v, i) => {
      const h = peak ? v / peak * (plotH - 16) : 0;
      g.fillStyle = series[i].color;
      g.fillRect(x0, y - h, Math.max(1, x1 - x0), h);
      y -= h;
    });
  }
  lossMarks(g, width, plotH);
  legend.innerHTML = series.map(s => `<span><i style="background:${s.color}"></i>${esc(s.label)}</span>`).join("");
}

const facilityRows = D.facilities.map(f => ({label: f.name, bins: f.bins, total: f.bins.reduce((a, v) => a + v, 0)}));
const threadRows = D.threadRows.map(t => ({label: t.label, bins: t.bins, total: t.bins.reduce((a, v) => a + v, 0)}));
const facilityColor = {};
facilityRows.slice().sort((a, b) => b.total - a.total).forEach((f, i) => facilityColor[f.label] = COLORS[i % COLORS.length]);
const facilityName = {};
for (const f of D.facilities) facilityName[f.id] = f.name;

function timeline() {
  const canvas = $("timeline"), rowH = 16, rows = D.threadRows;
  const {g, width, height} = prepare(canvas, rows.length * rowH + 18);
  const plotH = rows.length * rowH;
  timeAxis(g, width, plotH);
  const first = Math.max(0, Math.floor((view.from - D.origin) / D.binWidth));
  const last = Math.min(binCount, Math.ceil((view.to - D.origin) / D.binWidth));
  let peak = 1;
  for (const r of rows) for (let i = first; i < last; i++) peak = Math.max(peak, r.bins[i]);
  rows.forEach((r, k) => {
    const y = k * rowH;
    g.fillStyle = k % 2 ? "#fafbfc" : "#f1f3f6";
    g.fillRect(LEFT, y, width - LEFT - RIGHT, rowH);
    g.fillStyle = "#1d2430";
    g.fillText(r.label, 4, y + 12);
    for (let i = first; i < last; i++) {
      if (!r.bins[i]) continue;
      const x0 = xOf(D.origin + i * D.binWidth, width), x1 = xOf(D.origin + (i + 1) * D.binWidth, width);
      g.fillStyle = `rgba(59,111,216,${0.15 + 0.85 * Math.log(1 + r.bins[i]) / Math.log(1 + peak)})`;
      g.fillRect(x0, y + 3, Math.max(1, x1 - x0), rowH - 6);
    }
    for (const [start, dur, fac] of r.spans) {
      if (start + dur < view.from || start > view.to) continue;
      const x0 = Math.max(LEFT, xOf(start, width)), x1 = Math.min(width - RIGHT, xOf(start + dur, width));
      g.fillStyle = facilityColor[facilityName[fac]] || OTHER;
      g.fillRect(x0, y + 1, Math.max(2, x1 - x0), 4);
    }
  });
  lossMarks(g, width, plotH);
}

function draw() {
  rateChart($("rateFacility"), $("legendFacility"), facilityRows, 10);
  rateChart($("rateThread"), $("legendThread"), threadRows, 10);
  timeline();
}

// Wheel zooms around the pointer, a drag moves the window, a double click shows everything.
for (const id of ["rateFacility", "rateThread", "timeline"]) {
  const c = $(id);
  c.addEventListener("wheel", e => {
    e.preventDefault();
    const at = tOf(e.offsetX, c.clientWidth), k = e.deltaY > 0 ? 1.25 : 0.8;
    const span = Math.max(D.binWidth * 4, Math.min(full.to - full.from, (view.to - view.from) * k));
    view.from = Math.max(full.from, at - (at - view.from) * span / (view.to - view.from));
    view.to = Math.min(full.to, view.from + span);
    draw();
  }, {passive: false});
  let dragX = null;
  c.addEventListener("mousedown", e => dragX = e.offsetX);
  window.addEventListener("mouseup", () => dragX = null);
  c.addEventListener("mousemove", e => {
    if (dragX === null) return;
    const shift = (dragX - e.offsetX) / (c.clientWidth - LEFT - RIGHT) * (view.to - view.from), span = view.to - view.from;
    view.from = Math.min(Math.max(full.from, view.from + shift), full.to - span);
    view.to = view.from + span;
    dragX = e.offsetX;
    draw();
  });
  c.addEventListener("dblclick", () => { view = {from: full.from, to: full.to}; draw(); });
}
window.addEventListener("resize", draw);

// Longest gaps between records that follow each other.
$("gaps").innerHTML = "<tr><th>gap</th><th>after the record at</th><th>line</th><th>file</th></tr>" +
  D.gaps.map(x => `<tr><td>${us(x.length)}</td><td>+${us(x.after - D.first)}</td><td>${x.line}</td><td class="mono">${esc(x.file)}</td></tr>`).join("");
if (!D.gaps.length) $("gaps").innerHTML = "<tr><td>no gaps: fewer than two records</td></tr>";

// One bar chart per facility: how many spans took up to each power of two.
for (const s of D.spans) {
  const box = document.createElement("div");
  box.className = "panel";
  box.innerHTML = `<b>${esc(s.name || "facility " + s.id)}</b> <span class="note">count ${fmt(s.count)}, p50 ${us(s.p50)}, p99 ${us(s.p99)}, max ${us(s.max)}</span><canvas height="120"></canvas>`;
  $("spans").appendChild(box);
  const {g, width, height} = prepare(box.querySelector("canvas"), 120);
  const from = s.powers.findIndex(v => v > 0), bars = s.powers.slice(from), peak = Math.max(...bars);
  const w = (width - 10) / bars.length;
  bars.forEach((v, i) => {
    const h = v / peak * (height - 30);
    g.fillStyle = facilityColor[s.name] || COLORS[0];
    g.fillRect(5 + i * w + 1, height - 16 - h, Math.max(1, w - 2), h);
    g.fillStyle = "#5b6573";
    if (i % Math.ceil(52 / w) === 0) g.fillText("<" + us(2 ** (from + i)), 5 + i * w, height - 3);
  });
}
if (!D.spans.length) $("spans").innerHTML = '<div class="panel">no records with an elapsed time</div>';

draw();
document.body.dataset.drawn = "yes";
</script></body></html>
)html";

std::string HtmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

std::string ReportPage(const std::string& title, const std::string& json) {
    // "</" cannot stand inside a script element; "<\/" reads the same in JSON.
    std::string safe;
    safe.reserve(json.size());
    for (size_t i = 0; i < json.size(); ++i) {
        safe += json[i];
        if (json[i] == '<' && i + 1 < json.size() && json[i + 1] == '/') safe += '\\';
    }
    return kHead + HtmlEscaped(title) + kStyle + safe + kScript;
}

}  // namespace vextrel::tool
