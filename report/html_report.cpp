#include "report/html_report.h"

#include "report/chart_library.h"
#include "report/report.h"
#include "report/report_tables.h"
#include "report/report_words.h"
#include "report/slice_counts.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>

#include <cmath>

namespace {

// Nothing may be fetched: not a script, a style, an image or a font.
const char *const content_policy =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src data:";

const char *const page_style = R"(
body { font-family: sans-serif; margin: 1.5em auto; max-width: 75em; padding: 0 1em; color: #222; }
h1 { font-size: 1.5em; margin-bottom: 0.2em; }
h2 { font-size: 1.2em; border-bottom: 1px solid #ccc; margin-top: 1.6em; }
h3 { font-size: 1em; margin: 1em 0 0.3em; }
table { border-collapse: collapse; margin: 0.3em 0 0.8em; font-size: 0.9em; }
th, td { border: 1px solid #ccc; padding: 0.15em 0.5em; text-align: left; vertical-align: top; }
th { background: #f2f2f2; }
td { font-variant-numeric: tabular-nums; overflow-wrap: anywhere; }
p.note { font-size: 0.85em; color: #555; margin: 0; }
.verdict-passed h2 { color: #1a7f37; }
.verdict-failed h2 { color: #c62828; }
.verdict-not_judged h2 { color: #b26a00; }
.chart { width: 100%; height: 260px; }
.legend { font-size: 0.85em; min-height: 1.3em; }
.key span { display: inline-block; width: 1.2em; height: 0.8em; margin: 0 0.3em 0 1em; vertical-align: middle; }
)";

// Draws every chart once the page is read, with the spans without data
// shaded behind the lines, and keeps the charts in step when one is zoomed.
// Every chart spans the same time and leaves the same room for its labels,
// lanes or not, so that one moment is at one x on all of them; whatever has
// a time (a span without data, an episode, an incident) is drawn at least a
// few pixels wide at any zoom.
const char *const page_script = R"(
(function () {
  var report = velmarReport;
  // By weight, the heaviest drawn last, over the others: no record, a
  // silence, a lost port. Opaque, under the lines.
  var shadeColours = ['#f0f0f0', '#d6d6d6', '#f6c6c6'];
  var palette = ['#1f77b4', '#ff7f0e', '#2ca02c', '#9467bd', '#d62728', '#8c564b', '#e377c2'];
  var minWidth = 3;
  var labelWidth = 116;
  var iso = function (ms) { return new Date(ms).toISOString(); };
  var escaped = function (text) {
    return String(text).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  };
  var shades = report.shades.slice().sort(function (a, b) { return a[2] - b[2]; });
  var from = report.from, to = report.to;
  report.charts.forEach(function (chart) {
    if (!chart.rows.length) return;
    from = Math.min(from, chart.rows[0][0]);
    to = Math.max(to, chart.rows[chart.rows.length - 1][0]);
  });
  // [left, width] of a span on whole pixels, widened about its middle to
  // the least that shows.
  var span = function (left, right) {
    if (right - left >= minWidth) return [Math.floor(left), Math.ceil(right) - Math.floor(left)];
    return [Math.floor((left + right - minWidth) / 2), minWidth];
  };
  var graphs = [];
  var syncing = false;
  report.charts.forEach(function (chart) {
    var lanes = chart.labels.length - 1;
    var empty = function (at) {
      var row = [at];
      for (var i = 0; i < lanes; i++) row.push(null);
      return row;
    };
    var rows = chart.rows.slice();
    // Rows at both ends: zoomed out, every chart spans the same time.
    if (!rows.length || rows[0][0] > from) rows.unshift(empty(from));
    if (rows[rows.length - 1][0] < to) rows.push(empty(to));
    rows = rows.map(function (row) { row = row.slice(); row[0] = new Date(row[0]); return row; });
    var highest = [];
    chart.rows.forEach(function (row) {
      for (var i = 1; i < row.length; i++) highest[i] = Math.max(highest[i] || 0, row[i] || 0);
    });
    // Lane i from the top: its floor and ceiling in the chart's units.
    var laneOf = function (name) {
      var i = chart.labels.indexOf(name) - 1;
      return { index: i + 1, floor: lanes - i - 0.85, ceiling: lanes - i - 0.15 };
    };
    var plotLane = function (e) {
      var g = e.dygraph, ctx = e.drawingContext, points = e.points;
      var lane = laneOf(e.setName);
      var floor = g.toDomYCoord(lane.floor), ceiling = g.toDomYCoord(lane.ceiling);
      ctx.fillStyle = e.color;
      ctx.strokeStyle = e.color;
      ctx.lineWidth = 1;
      if (chart.lanes === 'count') {
        ctx.beginPath();
        ctx.moveTo(e.plotArea.x, floor);
        ctx.lineTo(e.plotArea.x + e.plotArea.w, floor);
        ctx.stroke();
      }
      for (var i = 0; i < points.length; i++) {
        var p = points[i];
        if (p.yval === null || isNaN(p.yval)) continue;
        if (chart.lanes === 'count') {
          var slice = span(p.canvasx, g.toDomXCoord(p.xval + chart.slice));
          var share = Math.log(1 + p.yval) / Math.log(1 + highest[lane.index]);
          var height = (0.3 + 0.7 * share) * (floor - ceiling);
          ctx.fillRect(slice[0], floor - height, slice[1], height);
          continue;
        }
        var next = i + 1;
        while (next < points.length && points[next].yval === null) next++;
        var right = next < points.length ? points[next].canvasx : p.canvasx;
        ctx.beginPath();
        ctx.moveTo(p.canvasx, floor);
        ctx.lineTo(right, floor);
        ctx.stroke();
        if (p.yval > 0.5) {
          var on = span(p.canvasx, right);
          ctx.fillRect(on[0], ceiling, on[1], floor - ceiling);
        }
      }
    };
    var series = {};
    chart.labels.slice(1).forEach(function (label, i) {
      series[label] = { color: palette[chart.colours[i] % palette.length] };
      if (chart.lanes) series[label].plotter = plotLane;
    });
    var y = chart.lanes ? {
      valueRange: [0, lanes],
      ticker: function () {
        return chart.labels.slice(1).map(function (label, i) {
          return { v: lanes - i - 0.5, label: escaped(label) };
        });
      },
      valueFormatter: chart.lanes === 'count'
        ? function (v) { return v === null ? '' : String(v); }
        : function (v) { return v > 0.5 ? 'on' : 'off'; }
    } : { valueFormatter: function (v) { return v.toFixed(chart.decimals); } };
    y.axisLabelWidth = labelWidth;
    y.axisLabelFontSize = 12;
    var options = {
      labels: chart.labels,
      labelsUTC: true,
      stepPlot: chart.step,
      connectSeparatedPoints: !chart.lanes,
      drawGapEdgePoints: true,
      highlightCircleSize: chart.lanes ? 0 : 3,
      strokeWidth: 1.3,
      series: series,
      labelsDiv: document.getElementById(chart.id + '-legend'),
      legend: 'always',
      axes: {
        x: { axisLabelWidth: 96, pixelsPerLabel: 112, axisLabelFontSize: 12,
             valueFormatter: function (ms) { return iso(ms); } },
        y: y
      },
      underlayCallback: function (canvas, area, g) {
        shades.forEach(function (shade) {
          var left = g.toDomXCoord(shade[0]);
          var right = g.toDomXCoord(shade[1]);
          if (right < area.x - minWidth || left > area.x + area.w + minWidth) return;
          var drawn = span(left, right);
          canvas.fillStyle = shadeColours[shade[2]];
          canvas.fillRect(drawn[0], area.y, drawn[1], area.h);
        });
      },
      drawCallback: function (g, initial) {
        if (initial || syncing) return;
        syncing = true;
        var range = g.xAxisRange();
        graphs.forEach(function (other) {
          if (other !== g) other.updateOptions({ dateWindow: range });
        });
        syncing = false;
      }
    };
    if (chart.lanes) options.valueRange = [0, lanes];
    graphs.push(new Dygraph(document.getElementById(chart.id), rows, options));
  });
  window.velmarGraphs = graphs;
})();
)";

QString cell_text(const QString &text)
{
    return Html_report::escaped(text);
}

void write_table(const Report_tables::Table &table, QString &out)
{
    if (!table.title.isEmpty())
        out += QStringLiteral("<h3>%1</h3>\n").arg(cell_text(table.title));
    if (table.rows.empty())
        return;
    out += QStringLiteral("<table>\n<tr>");
    for (const QString &heading : table.header)
        out += QStringLiteral("<th>%1</th>").arg(cell_text(heading));
    out += QStringLiteral("</tr>\n");
    for (const QStringList &row : table.rows) {
        out += QStringLiteral("<tr>");
        for (const QString &cell : row)
            out += QStringLiteral("<td>%1</td>").arg(cell_text(cell));
        out += QStringLiteral("</tr>\n");
    }
    out += QStringLiteral("</table>\n");
    if (!table.note.isEmpty())
        out += QStringLiteral("<p class=\"note\">%1</p>\n").arg(cell_text(table.note));
}

void write_sections(const Report &report, QString &out)
{
    const QString verdict = Verdict::result_key(report.verdict.result());
    for (const Report_tables::Section &section : Report_tables::of(report)) {
        const QString extra = section.id == QLatin1String("verdict")
                                  ? QStringLiteral(" class=\"verdict-%1\"").arg(verdict)
                                  : QString();
        out += QStringLiteral("<section id=\"%1\"%2>\n<h2>%3</h2>\n")
                   .arg(section.id, extra, cell_text(section.title));
        for (const QString &line : section.lines)
            out += QStringLiteral("<p>%1</p>\n").arg(cell_text(line));
        for (const Report_tables::Table &table : section.tables)
            write_table(table, out);
        out += QStringLiteral("</section>\n");
    }
}

// A value of a JSON text inside a script element: "</" cannot end it.
QByteArray script_json(const QJsonValue &value)
{
    QJsonArray holder{value};
    QByteArray text = QJsonDocument(holder).toJson(QJsonDocument::Compact);
    text = text.mid(1, text.size() - 2);
    return text.replace("</", "<\\/");
}

void append_number(QByteArray &out, double value, int decimals)
{
    if (std::isnan(value))
        out += "NaN";
    else
        out += QByteArray::number(value, 'f', decimals);
}

// One chart as the script wants it; only the series that have values.
QByteArray chart_script(const Report_charts::Chart &chart)
{
    std::vector<int> kept;
    for (int series = 0; series < chart.data.series_count(); ++series) {
        if (chart.data.has_values(series))
            kept.push_back(series);
    }
    QJsonArray labels{QStringLiteral("Time (UTC)")};
    // A series keeps its colour whichever others are left out; the threshold's is red.
    QJsonArray colours;
    for (const int series : kept) {
        labels.append(chart.series[series]);
        colours.append(series);
    }
    QByteArray out = "{id:" + script_json(chart.id) + ",labels:" + script_json(labels) +
                     ",colours:" + script_json(colours) +
                     ",decimals:" + QByteArray::number(chart.decimals) +
                     ",step:" + (chart.step ? "true" : "false") +
                     ",lanes:" + (chart.lanes ? "'state'" : "false") + ",rows:[";
    bool first_row = true;
    for (const Reduced_chart::Row &row : chart.data.rows()) {
        bool any = false;
        for (const int series : kept)
            any = any || row.values[static_cast<std::size_t>(series)].has_value();
        if (!any)
            continue;
        out += first_row ? "[" : ",\n[";
        first_row = false;
        out += QByteArray::number(row.at_ms);
        for (const int series : kept) {
            const Reduced_chart::Cell &cell = row.values[static_cast<std::size_t>(series)];
            out += ',';
            if (cell)
                append_number(out, *cell, chart.decimals);
            else
                out += "null";
        }
        out += ']';
    }
    return out + "]}";
}

// A lane for each kind of incident there was, with how many fell in each
// slice of time.
QByteArray incident_script(const Report_charts &charts)
{
    // Lost ports in red, the line's noise in orange, what was sent in blue.
    static const int colours[Report_summary::incident_count] = {4, 5, 2, 1, 6, 0, 3};
    const Slice_counts &counts = charts.incidents;
    std::vector<int> kept;
    QJsonArray labels{QStringLiteral("Time (UTC)")};
    QJsonArray colour_list;
    for (int kind = 0; kind < counts.kinds(); ++kind) {
        if (!counts.any(kind))
            continue;
        kept.push_back(kind);
        labels.append(Report_words::incident_name(kind));
        colour_list.append(colours[kind]);
    }
    QByteArray out =
        "{id:'chart_incidents',labels:" + script_json(labels) +
        ",colours:" + script_json(colour_list) +
        ",decimals:0,step:false,lanes:'count',slice:" + QByteArray::number(counts.slice_ms()) +
        ",rows:[";
    bool first_row = true;
    for (const Slice_counts::Slice &slice : counts.slices()) {
        out += first_row ? "[" : ",\n[";
        first_row = false;
        out += QByteArray::number(slice.from_ms);
        for (const int kind : kept) {
            const qint64 count = slice.counts[static_cast<std::size_t>(kind)];
            out += ',' + (count > 0 ? QByteArray::number(count) : QByteArray("null"));
        }
        out += ']';
    }
    return out + "]}";
}

bool drawable(const Report_charts::Chart &chart)
{
    // The threshold alone does not make a power chart: a cage never fitted has none.
    for (int series = 0; series < chart.data.series_count(); ++series) {
        if (chart.data.has_values(series) && series != chart.threshold_series)
            return true;
    }
    return false;
}

void write_charts(const Report &report, QString &out, QByteArray &script)
{
    out += QStringLiteral("<section id=\"charts\">\n<h2>%1</h2>\n<p class=\"note\">%2</p>\n")
               .arg(Report_words::tr("Charts"),
                    cell_text(Report_words::tr(
                        "Times in UTC. Drag to zoom, double-click to zoom out; the charts follow "
                        "each other. A long record is drawn as the lowest and the highest value "
                        "of each slice of time, so that a short dip shows at its full depth. "
                        "Lines break where there is no data.")));
    out += QStringLiteral("<p class=\"key\"><span style=\"background:#d6d6d6\"></span>%1"
                          "<span style=\"background:#f6c6c6\"></span>%2"
                          "<span style=\"background:#f0f0f0\"></span>%3</p>\n")
               .arg(Report_words::tr("unit silent"), Report_words::tr("port lost"),
                    Report_words::tr("no record"));
    const Report_summary &summary = report.summary;
    script += "var velmarReport = {from:" + QByteArray::number(summary.first_ms) +
              ",to:" + QByteArray::number(summary.last_ms) + ",shades:[";
    bool first = true;
    for (const Report_charts::Shade &shade : report.charts.shades) {
        script += first ? "[" : ",[";
        first = false;
        script += QByteArray::number(shade.from_ms) + ',' + QByteArray::number(shade.to_ms) + ',' +
                  QByteArray::number(static_cast<int>(shade.kind)) + ']';
    }
    script += "],\ncharts:[\n";
    first = true;
    for (const Report_charts::Chart &chart : report.charts.charts) {
        if (!drawable(chart))
            continue;
        out += QStringLiteral("<h3>%1</h3>\n<div class=\"legend\" id=\"%2-legend\"></div>\n"
                              "<div class=\"chart\" id=\"%2\"></div>\n")
                   .arg(cell_text(chart.unit.isEmpty()
                                      ? chart.title
                                      : Report_words::tr("%1, %2").arg(chart.title, chart.unit)),
                        chart.id);
        if (!first)
            script += ",\n";
        first = false;
        script += chart_script(chart);
    }
    const Slice_counts &incidents = report.charts.incidents;
    if (!incidents.empty()) {
        out += QStringLiteral("<h3>%1</h3>\n<div class=\"legend\" id=\"chart_incidents-legend\">"
                              "</div>\n<div class=\"chart\" id=\"chart_incidents\"></div>\n")
                   .arg(cell_text(Report_words::tr("Incidents, how many in each slice of time")));
        if (!first)
            script += ",\n";
        script += incident_script(report.charts);
    }
    script += "]};\n";
    out += QStringLiteral("</section>\n");
}

} // namespace

QString Html_report::escaped(const QString &text)
{
    QString out = text.toHtmlEscaped();
    return out.replace(QLatin1Char('\''), QStringLiteral("&#39;"));
}

QByteArray Html_report::write(const Report &report, const Chart_library &library)
{
    const Report_summary &summary = report.summary;
    const QString title = summary.any_line ? Report_words::tr("Velmar unit report, %1 to %2")
                                                 .arg(Report_words::time(summary.first_ms),
                                                      Report_words::time(summary.last_ms))
                                           : Report_words::tr("Velmar unit report");
    QString body;
    write_sections(report, body);
    QByteArray data_script;
    write_charts(report, body, data_script);
    QByteArray page;
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta http-equiv=\"Content-Security-Policy\" content=\"";
    page += content_policy;
    page +=
        "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
    page += escaped(title).toUtf8();
    page += "</title>\n<style>\n";
    page += library.style();
    page += page_style;
    page += "</style>\n<script>\n";
    page += library.script();
    page += "\n</script>\n</head>\n<body>\n<h1>";
    page += escaped(title).toUtf8();
    page += "</h1>\n";
    page += body.toUtf8();
    page += "<script>\n";
    page += data_script;
    page += page_script;
    page += "</script>\n</body>\n</html>\n";
    return page;
}
