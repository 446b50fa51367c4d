/* The study report page's charts, drawn with Chart.js from the figures the page
 * carries (script#report-data, the same document as report.json). The tables
 * are written into the page already; this only draws. Times are the counter's
 * local time without a zone, so they are handled on a UTC clock throughout.
 *
 * When every chart is drawn, document.body.dataset.charts is "drawn" (and
 * dataset.chartCount the number of charts); on an error it is "failed", with
 * the reason in dataset.chartError. */
(function () {
  "use strict";

  const COLOUR = {
    forward: "#3a6ea5",
    reverse: "#e0893a",
    forwardPale: "rgba(58, 110, 165, 0.38)",
    reversePale: "rgba(224, 137, 58, 0.38)",
    limit: "#c0392b",
    pace: "rgba(242, 212, 143, 0.65)",
    ink: "#333333",
    grid: "rgba(0, 0, 0, 0.08)",
    gridDay: "rgba(0, 0, 0, 0.28)",
    weekend: "rgba(0, 0, 0, 0.045)",
  };
  const MM = 96 / 25.4;
  const PRINT_WIDTH_MM = 182; // an A4 page inside the margins of the style sheet
  const HOUR = 3600000;
  const DAY = 24 * HOUR;
  const WEEKDAYS = ["Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"];
  const MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"];

  // "YYYY-MM-DD hh:mm..." as milliseconds on a UTC clock; null for anything else.
  function parseTime(text) {
    const m = /^(\d{4})-(\d{2})-(\d{2})(?: (\d{2}):(\d{2}))?/.exec(text || "");
    return m ? Date.UTC(+m[1], +m[2] - 1, +m[3], +(m[4] || 0), +(m[5] || 0)) : null;
  }
  const pad = (n) => (n < 10 ? "0" : "") + n;
  const clock = (ms) => pad(new Date(ms).getUTCHours()) + ":" + pad(new Date(ms).getUTCMinutes());
  function dayName(ms) {
    const d = new Date(ms);
    return WEEKDAYS[d.getUTCDay()] + " " + d.getUTCDate() + " " + MONTHS[d.getUTCMonth()];
  }
  const grouped = (n) => String(n).replace(/\B(?=(\d{3})+(?!\d))/g, ",");
  const value = (figure) => (figure && typeof figure.value === "number" ? figure.value : null);

  function baseOptions() {
    return {
      animation: false,
      responsive: true,
      maintainAspectRatio: false,
      // Sharp enough for paper even on a screen of ordinary density.
      devicePixelRatio: Math.max(window.devicePixelRatio || 1, 2),
      layout: { padding: { top: 2, right: 6 } },
      plugins: {
        legend: {
          position: "top",
          align: "end",
          labels: { boxWidth: 14, boxHeight: 9, padding: 10 },
        },
        tooltip: { mode: "index", intersect: false },
      },
    };
  }

  function countAxis(title) {
    return {
      beginAtZero: true,
      title: { display: true, text: title },
      ticks: { precision: 0, callback: (v) => grouped(v) },
      grid: { color: COLOUR.grid },
    };
  }

  // Gridlines and labels of a time axis from start to end (ms) on a scale `width` pixels wide:
  // labels as dense as fit (a day's name at midnight, else the clock time), finer gridlines
  // between them, and a stronger line at every midnight.
  const LABEL_WIDTH = 74;
  const SPACINGS = [
    [1, 1], [2, 1], [3, 1], [6, 3], [12, 3], [24, 6], [48, 24], [168, 24], // [label every, line every] in hours
  ];
  function timeTicks(start, end, width) {
    const fit = Math.max(2, Math.floor(width / LABEL_WIDTH));
    const span = (end - start) / HOUR;
    const [every, line] = SPACINGS.find(([e]) => span / e <= fit) || SPACINGS[SPACINGS.length - 1];
    const firstDay = Math.floor(start / DAY);
    const labelled = (t) =>
      every === 168 ? new Date(t).getUTCDay() === 1 && t % DAY === 0
        : every === 48 ? t % DAY === 0 && (t / DAY - firstDay) % 2 === 0
        : (t / HOUR) % every === 0;
    const ticks = [];
    // A study that begins after midnight names its first day under the first clock label, so
    // the hours before the first midnight are not left without a day.
    let dayNamed = false;
    for (let t = Math.ceil(start / (line * HOUR)) * line * HOUR; t <= end; t += line * HOUR) {
      const midnight = t % DAY === 0;
      let caption = "";
      if (labelled(t)) {
        caption = midnight ? dayName(t) : dayNamed ? clock(t) : [clock(t), dayName(t)];
        dayNamed = true;
      }
      ticks.push({ value: t, major: midnight, caption });
    }
    return ticks;
  }

  function timeAxis(start, end) {
    return {
      type: "linear",
      min: start,
      max: end,
      afterBuildTicks: (scale) => {
        scale.ticks = timeTicks(start, end, scale.width);
      },
      ticks: {
        autoSkip: false,
        maxRotation: 0,
        callback: (v, i, ticks) => (ticks[i] ? ticks[i].caption : ""),
        font: (context) => (context.tick && context.tick.major ? { weight: "bold" } : {}),
      },
      grid: {
        color: (context) => (context.tick && context.tick.major ? COLOUR.gridDay : COLOUR.grid),
      },
    };
  }

  // Saturdays and Sundays shaded behind the data of a time chart of more than two days.
  const weekends = {
    id: "weekends",
    beforeDatasetsDraw(chart) {
      const x = chart.scales.x;
      if (x.max - x.min <= 2 * DAY) return;
      const area = chart.chartArea;
      const ctx = chart.ctx;
      ctx.save();
      ctx.fillStyle = COLOUR.weekend;
      for (let day = Math.floor(x.min / DAY) * DAY; day < x.max; day += DAY) {
        const weekday = new Date(day).getUTCDay();
        if (weekday !== 0 && weekday !== 6) continue;
        const left = Math.max(x.getPixelForValue(day), area.left);
        const right = Math.min(x.getPixelForValue(day + DAY), area.right);
        if (right > left) ctx.fillRect(left, area.top, right - left, area.bottom - area.top);
      }
      ctx.restore();
    },
  };

  // A step line of counts per interval: each value holds from its start to the next start.
  function steps(starts, counts, end) {
    const points = starts.map((x, i) => ({ x: x, y: counts[i] }));
    if (points.length) points.push({ x: end, y: counts[counts.length - 1] });
    return points;
  }

  // Speeds: bars stacked by direction, with the pace band, the percentile
  // lines and the posted limit of both directions together.
  function speedChart(canvas, data) {
    const speed = data.speed;
    const histogram = speed.histogram;
    const both = speed.both;
    const unit = data.units.speed;
    const limit = value(speed.posted_limit);
    let first = histogram.speeds[0];
    let last = histogram.speeds[histogram.speeds.length - 1];
    // The axis reaches the posted limit, unless it lies far off the speeds driven.
    const limitShown = limit !== null && limit > 0 && limit >= first - 40 && limit <= last + 40;
    if (limitShown) {
      first = Math.min(first, limit);
      last = Math.max(last, limit);
    }
    const labels = [];
    const forward = [];
    const reverse = [];
    for (let s = first; s <= last; ++s) {
      const i = s - histogram.speeds[0];
      labels.push(String(s));
      forward.push(histogram.forward[i] || 0);
      reverse.push(histogram.reverse[i] || 0);
    }
    const every = labels.length <= 12 ? 1 : labels.length <= 60 ? 5 : labels.length <= 120 ? 10 : 20;
    const pace = { from: value(both.pace.from), to: value(both.pace.to) };
    const lines = [
      { speed: value(both.p15), name: "15th percentile", short: "15th", dash: [2, 3] },
      { speed: value(both.median), name: "median", short: "median", dash: [7, 4] },
      { speed: value(both.p85), name: "85th percentile", short: "85th", dash: [9, 3, 2, 3] },
    ];

    const xOf = (chart, s) => {
      const x = chart.scales.x;
      const p0 = x.getPixelForValue(0);
      const width = labels.length > 1 ? x.getPixelForValue(1) - p0 : x.width;
      return p0 + (s - first) * width;
    };
    const marks = {
      id: "speedMarks",
      beforeDatasetsDraw(chart) {
        const area = chart.chartArea;
        const left = Math.max(xOf(chart, pace.from - 0.5), area.left);
        const right = Math.min(xOf(chart, pace.to + 0.5), area.right);
        chart.ctx.save();
        chart.ctx.fillStyle = COLOUR.pace;
        chart.ctx.fillRect(left, area.top, right - left, area.bottom - area.top);
        chart.ctx.restore();
      },
      afterDatasetsDraw(chart) {
        const ctx = chart.ctx;
        const area = chart.chartArea;
        const font = Chart.defaults.font.family;
        const marked = lines.map((l) => ({ x: xOf(chart, l.speed), text: l.short + " " + l.speed, dash: l.dash, colour: COLOUR.ink, width: 1.3, bold: false }));
        if (limitShown) marked.push({ x: xOf(chart, limit), text: "posted limit " + limit + " " + unit, dash: [], colour: COLOUR.limit, width: 2.2, bold: true });
        ctx.save();
        for (const m of marked) {
          ctx.beginPath();
          ctx.setLineDash(m.dash);
          ctx.lineWidth = m.width;
          ctx.strokeStyle = m.colour;
          ctx.moveTo(m.x, area.top);
          ctx.lineTo(m.x, area.bottom);
          ctx.stroke();
        }
        ctx.setLineDash([]);
        // Labels at the top of the plot, the limit's first: each on the first row where it overlaps no other.
        const rows = [];
        for (const m of marked.reverse()) {
          ctx.font = (m.bold ? "bold " : "") + "10.5px " + font;
          const width = ctx.measureText(m.text).width + 6;
          let left = Math.min(Math.max(m.x - width / 2, area.left), area.right - width);
          let row = 0;
          while (rows[row] && rows[row].some((r) => left < r[1] && left + width > r[0])) ++row;
          (rows[row] = rows[row] || []).push([left, left + width]);
          const y = area.top + 3 + row * 14;
          ctx.fillStyle = "rgba(255, 255, 255, 0.85)";
          ctx.fillRect(left, y, width, 13);
          ctx.fillStyle = m.colour;
          ctx.textBaseline = "top";
          ctx.fillText(m.text, left + 3, y + 1.5);
        }
        ctx.restore();
      },
    };

    const options = baseOptions();
    options.scales = {
      x: {
        stacked: true,
        title: { display: true, text: "speed (" + unit + ")" },
        grid: { display: false },
        ticks: { autoSkip: false, maxRotation: 0, callback: (v, i) => ((first + i) % every === 0 ? String(first + i) : "") },
      },
      y: Object.assign(countAxis("vehicles"), { stacked: true, grace: "22%" }),
    };
    const legend = options.plugins.legend;
    legend.onClick = (event, item, l) => {
      if (item.datasetIndex !== undefined) Chart.defaults.plugins.legend.onClick.call(l, event, item, l);
    };
    legend.labels = Object.assign(legend.labels, {
      usePointStyle: true,
      pointStyleWidth: 22,
      generateLabels: (chart) => {
        const items = Chart.defaults.plugins.legend.labels.generateLabels(chart);
        items.forEach((item) => (item.pointStyle = "rect"));
        items.push({ text: "10-" + unit + " pace " + pace.from + "-" + pace.to + " " + unit, fillStyle: COLOUR.pace, strokeStyle: COLOUR.pace, lineWidth: 0, pointStyle: "rect" });
        for (const l of lines) items.push({ text: l.name + " " + l.speed + " " + unit, strokeStyle: COLOUR.ink, fillStyle: COLOUR.ink, lineWidth: 1.5, lineDash: l.dash, pointStyle: "line" });
        if (limitShown) items.push({ text: "posted limit " + limit + " " + unit, strokeStyle: COLOUR.limit, fillStyle: COLOUR.limit, lineWidth: 2.5, pointStyle: "line" });
        else if (limit !== null && limit > 0) items.push({ text: "posted limit " + limit + " " + unit + " (off the chart)", strokeStyle: COLOUR.limit, fillStyle: COLOUR.limit, lineWidth: 2.5, pointStyle: "line" });
        return items;
      },
    });
    options.plugins.tooltip.callbacks = { title: (items) => items[0].label + " " + unit };
    return new Chart(canvas, {
      type: "bar",
      data: {
        labels: labels,
        datasets: [
          { label: "forward", data: forward, backgroundColor: COLOUR.forward, barPercentage: 0.92, categoryPercentage: 1 },
          { label: "reverse", data: reverse, backgroundColor: COLOUR.reverse, barPercentage: 0.92, categoryPercentage: 1 },
        ],
      },
      options: options,
      plugins: [marks],
    });
  }

  function timeOptions(start, end, yTitle, tooltipTitle) {
    const options = baseOptions();
    options.parsing = false;
    options.normalized = true;
    options.elements = { point: { radius: 0, hitRadius: 3, hoverRadius: 3 } };
    options.scales = { x: timeAxis(start, end), y: countAxis(yTitle) };
    options.plugins.tooltip.callbacks = { title: (items) => tooltipTitle(items[0].parsed.x) };
    return options;
  }

  function lineLegend(options) {
    Object.assign(options.plugins.legend.labels, { usePointStyle: true, pointStyle: "line", pointStyleWidth: 22 });
  }

  function hourChart(canvas, data) {
    const rows = data.volume.hours.rows;
    const starts = rows.map((r) => parseTime(r.hour));
    const end = starts[starts.length - 1] + HOUR;
    const options = timeOptions(starts[0], end, "vehicles per hour", (x) => dayName(x) + ", " + clock(x) + "-" + clock(x + HOUR));
    options.scales.y.grace = "5%";
    lineLegend(options);
    // Over weeks the hours lie a pixel or two apart: thin lines keep both directions in sight.
    const width = rows.length > 240 ? 0.7 : rows.length > 96 ? 1 : 1.4;
    return new Chart(canvas, {
      type: "line",
      data: {
        datasets: ["forward", "reverse"].map((d) => ({
          label: d,
          data: steps(starts, rows.map((r) => r[d]), end),
          borderColor: COLOUR[d],
          backgroundColor: COLOUR[d],
          borderWidth: width,
          stepped: "after",
        })),
      },
      options: options,
      plugins: [weekends],
    });
  }

  function periodChart(canvas, data) {
    const periods = data.periods;
    const minutes = periods.minutes.length ? periods.minutes[0] : 15;
    const rows = periods.rows.filter((r) => parseTime(r.end) !== null);
    const starts = rows.map((r) => parseTime(r.end) - minutes * 60000);
    const end = starts[starts.length - 1] + minutes * 60000;
    const options = timeOptions(starts[0], end, "vehicles per period", (x) => dayName(x) + ", " + clock(x) + "-" + clock(x + minutes * 60000));
    options.scales.y.stacked = true;
    options.scales.y.grace = "5%";
    return new Chart(canvas, {
      type: "line",
      data: {
        // Forward at the bottom, reverse stacked on it.
        datasets: ["forward", "reverse"].map((d, i) => ({
          label: d,
          data: steps(starts, rows.map((r) => r[d]), end),
          borderColor: COLOUR[d],
          backgroundColor: COLOUR[d],
          borderWidth: 0.6,
          fill: i === 0 ? "origin" : "-1",
          stepped: "after",
        })),
      },
      options: options,
      plugins: [weekends],
    });
  }

  function dayChart(canvas, data) {
    const rows = data.volume.days.rows;
    const many = rows.length > 10;
    const labels = rows.map((r) => {
      const name = dayName(parseTime(r.day));
      return r.whole ? name : many ? name + "*" : [name, "(part)"];
    });
    const options = baseOptions();
    options.scales = {
      x: { grid: { display: false }, ticks: { maxRotation: 0, autoSkipPadding: 8 } },
      y: Object.assign(countAxis("vehicles per day"), { grace: "8%" }),
    };
    options.plugins.tooltip.callbacks = { title: (items) => rows[items[0].dataIndex].day + (rows[items[0].dataIndex].whole ? "" : " (part of the day)") };
    // The legend in the full colours, whichever day comes first.
    options.plugins.legend.labels.generateLabels = (chart) =>
      Chart.defaults.plugins.legend.labels.generateLabels(chart).map((item, i) =>
        Object.assign(item, { fillStyle: COLOUR[i === 0 ? "forward" : "reverse"], lineWidth: 0 }));
    return new Chart(canvas, {
      type: "bar",
      data: {
        labels: labels,
        datasets: ["forward", "reverse"].map((d) => ({
          label: d,
          data: rows.map((r) => r[d]),
          backgroundColor: rows.map((r) => (r.whole ? COLOUR[d] : COLOUR[d + "Pale"])),
          borderColor: COLOUR[d],
          borderWidth: rows.map((r) => (r.whole ? 0 : 1)),
          barPercentage: 0.9,
          categoryPercentage: 0.8,
        })),
      },
      options: options,
    });
  }

  const drawn = [];

  // Paper is narrower than most screens: the charts take their printed size before printing and
  // their screen size after it.
  function printSizes() {
    for (const entry of drawn) {
      const height = parseFloat(getComputedStyle(entry.box).getPropertyValue("--print-height")) || 60;
      entry.chart.resize(Math.round(PRINT_WIDTH_MM * MM), Math.round(height * MM));
    }
  }
  function screenSizes() {
    for (const entry of drawn) entry.chart.resize();
  }

  function drawAll() {
    const data = JSON.parse(document.getElementById("report-data").textContent);
    const style = getComputedStyle(document.body);
    Chart.defaults.font.family = style.fontFamily;
    Chart.defaults.font.size = 11;
    Chart.defaults.color = COLOUR.ink;
    const charts = [
      ["chart-speeds", speedChart],
      ["chart-hours", hourChart],
      ["chart-periods", periodChart],
      ["chart-days", dayChart],
    ];
    for (const [id, draw] of charts) {
      const canvas = document.getElementById(id);
      if (canvas) drawn.push({ chart: draw(canvas, data), box: canvas.parentNode });
    }
    window.addEventListener("beforeprint", printSizes);
    window.addEventListener("afterprint", screenSizes);
    document.body.dataset.chartCount = String(drawn.length);
    document.body.dataset.drawnAfterMs = String(Math.round(performance.now())); // since the page began loading
    document.body.dataset.charts = "drawn";
  }

  try {
    drawAll();
  } catch (error) {
    document.body.dataset.charts = "failed";
    document.body.dataset.chartError = String(error && error.stack ? error.stack : error);
    throw error;
  }
})();
