// The station's live status page, served at /. It asks status.json once a second and shows
// what it says; when the station stops answering it says since when and greys out the last
// figures it had. Texts from the engine (such as the Korean summaries) are shown as they
// come; every text reaches the page through textContent, never as markup.
extern const char STATION_Page[];
const char STATION_Page[] = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>kovirw station</title>
<style>
body { font: 17px/1.35 system-ui, "Noto Sans KR", "NanumGothic", sans-serif; margin: 0;
       background: #f3f4f6; color: #111; }
header { display: flex; flex-wrap: wrap; align-items: baseline; gap: .3em 1em;
         padding: .6em 1em; background: #14532d; color: #fff; }
header h1 { font-size: 1.2em; margin: 0; }
body.gone header { background: #991b1b; }
#banner { padding: .7em 1em; background: #fee2e2; color: #7f1d1d; font-weight: 600; }
main { padding: .8em; }
body.gone main { opacity: .55; }
.totals { display: grid; grid-template-columns: repeat(auto-fit, minmax(8em, 1fr)); gap: .5em; }
.tile { background: #fff; border-radius: .5em; padding: .5em .8em; }
.tile b { display: block; font-size: 1.7em; }
.channels { display: grid; grid-template-columns: repeat(auto-fill, minmax(15em, 1fr));
            gap: .6em; margin: .8em 0; }
.ch { background: #fff; border-radius: .5em; padding: .6em .8em; border-left: .4em solid #9ca3af; }
.ch.busy { border-color: #2563eb; }
.ch.finished { border-color: #16a34a; }
.ch.finished.failed { border-color: #dc2626; }
.ch h2 { font-size: 1em; margin: 0; display: flex; justify-content: space-between; }
.state { font-size: .8em; padding: 0 .5em; border-radius: 1em; background: #e5e7eb; }
.dev, .small { font-size: .8em; color: #4b5563; overflow-wrap: anywhere; }
.text { min-height: 1.35em; overflow-wrap: anywhere; }
.bar { height: .8em; background: #e5e7eb; border-radius: .4em; overflow: hidden; }
.bar div { height: 100%; background: #2563eb; }
.last.done { color: #15803d; } .last.failed, .last.unplugged, .last.stopped { color: #b91c1c; }
table { border-collapse: collapse; width: 100%; background: #fff; font-size: .9em; }
th, td { text-align: left; padding: .3em .5em; border-bottom: 1px solid #e5e7eb; }
td.done { color: #15803d; } td.failed, td.unplugged, td.stopped { color: #b91c1c; }
</style>
</head>
<body>
<header><h1>kovirw station</h1><span id="where"></span><span id="updated"></span></header>
<div id="banner" hidden></div>
<main>
<section class="totals">
  <div class="tile">done<b id="done">-</b></div>
  <div class="tile">failed<b id="failed">-</b></div>
  <div class="tile">units per hour<b id="uph">-</b></div>
  <div class="tile">up for<b id="uptime">-</b></div>
</section>
<section class="channels" id="channels"></section>
<h2>Last units</h2>
<table><thead><tr><th>ended</th><th>port</th><th>channel</th><th>result</th><th>seconds</th>
<th>error</th></tr></thead><tbody id="units"></tbody></table>
</main>
<script>
"use strict";
const $ = (id) => document.getElementById(id);
let lastOk = 0, ending = false;

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

function span(seconds) {
  const s = Math.max(0, Math.round(seconds));
  const h = Math.floor(s / 3600), m = Math.floor(s % 3600 / 60);
  return (h ? h + " h " : "") + (h || m ? m + " min " : "") + (s % 60) + " s";
}

function channel(ch) {
  const card = el("div", "ch " + ch.state);
  card.dataset.channel = ch.channel;
  const title = el("h2", "", "CH" + ch.channel + (ch.port ? " \u00b7 COM" + ch.port : ""));
  title.append(el("span", "state", {free: "free", busy: "flashing", finished: "unplug"}[ch.state]));
  card.append(title, el("div", "dev", ch.device || "\u00a0"), el("div", "text", ch.text));
  if (ch.image !== null && ch.of > 0) {
    const pct = Math.floor(100 * ch.sent / ch.of);
    card.append(el("div", "small", ch.image + " " + pct + " %"));
    const bar = el("div", "bar"), fill = el("div");
    fill.style.width = pct + "%";
    bar.append(fill);
    card.append(bar);
  }
  if (ch.last) {
    if (ch.state === "finished" && ch.last.result !== "done") card.classList.add("failed");
    const last = el("div", "last " + ch.last.result, "last: " + ch.last.result + " in " +
                    ch.last.seconds.toFixed(1) + " s" + (ch.last.error ? ", " + ch.last.error : ""));
    last.dataset.result = ch.last.result;
    card.append(last);
  }
  return card;
}

function render(s) {
  const st = s.station;
  $("done").textContent = st.done;
  $("failed").textContent = st.failed;
  $("uph").textContent = st.unitsPerHour === null ? "-" : Math.round(st.unitsPerHour);
  $("uptime").textContent = span(st.uptimeSeconds);
  $("channels").replaceChildren(...s.channels.map(channel));
  $("units").replaceChildren(...s.units.map((u) => {
    const row = el("tr");
    row.append(el("td", "", new Date(u.end).toLocaleTimeString()), el("td", "", "COM" + u.port),
               el("td", "", "CH" + u.channel), el("td", u.result, u.result),
               el("td", "", u.seconds.toFixed(1)), el("td", "", u.error));
    return row;
  }));
  ending = st.ending;
}

function show(ok) {
  const banner = $("banner");
  document.body.classList.toggle("gone", !ok);
  if (ok && !ending) { banner.hidden = true; return; }
  banner.hidden = false;
  if (ok) {
    banner.textContent = "The station is ending: it takes no further terminal.";
  } else {
    banner.textContent = lastOk
      ? "The station has not answered since " + new Date(lastOk).toLocaleTimeString() + " (" +
        span((Date.now() - lastOk) / 1000) + "). The figures below are from then."
      : "The station does not answer.";
  }
}

async function poll() {
  try {
    const reply = await fetch("status.json", {cache: "no-store"});
    if (!reply.ok) throw new Error(reply.status);
    render(await reply.json());
    lastOk = Date.now();
    $("updated").textContent = "updated " + new Date(lastOk).toLocaleTimeString();
    show(true);
  } catch (e) {
    show(false);
  }
  setTimeout(poll, 1000);
}

$("where").textContent = location.host;
poll();
</script>
</body>
</html>
)page";
