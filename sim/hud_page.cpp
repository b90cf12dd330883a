#include "hud_page.h"

#include <QJsonArray>

namespace vxr::sim {

void LogBook::append(const QString& line) {
    m_lines.push_back(line);
    ++m_next;
    while (int(m_lines.size()) > m_capacity)
        m_lines.pop_front();
}

QStringList LogBook::linesAfter(qint64 after, qint64* newest) const {
    const qint64 last = m_next - 1;
    const qint64 first = last - qint64(m_lines.size()) + 1;
    QStringList lines;
    for (qint64 n = std::max(after + 1, first); n <= last; ++n)
        lines.append(m_lines[size_t(n - first)]);
    if (newest)
        *newest = last;
    return lines;
}

namespace {

const char* const kPageHead = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>VXR worker (stand-in) HUD</title>
<style>
  html, body { margin: 0; background: #101418; color: #cfd8dc;
               font: 12px/1.4 sans-serif; height: 100%; }
  #logBlocker { position: sticky; top: 0; background: #101418; padding: 6px 10px;
                border-bottom: 1px solid #263238; }
  table { border-collapse: collapse; }
  th { text-align: left; color: #78909c; font-weight: normal; padding: 1px 12px 1px 0;
       white-space: nowrap; }
  td { padding: 1px 0; white-space: nowrap; }
  td.vxr-amount { color: #ffd54f; }
  .vxr-fixed-font { font-family: monospace; }
  #loggerText { margin: 0; padding: 8px 10px; font: 11px/1.45 monospace;
                white-space: pre-wrap; word-break: break-all; }
</style>
</head>
<body>
<div id="logBlocker">
<table id="figures">
)HTML";

const char* const kPageTail = R"HTML(</table>
</div>
<pre id="loggerText">connecting…</pre>
<script>
(function () {
  var after = 0, connected = false;
  var log = document.getElementById('loggerText');
  var table = document.getElementById('figures');
  function render(rows) {
    while (table.rows.length > rows.length) table.deleteRow(-1);
    rows.forEach(function (r, i) {
      var row = table.rows[i] || table.insertRow(-1);
      if (row.cells.length === 0) {
        row.appendChild(document.createElement('th'));
        row.appendChild(document.createElement('td'));
      }
      row.cells[0].textContent = r[0];
      row.cells[1].textContent = r[1];
      row.cells[1].className = r[2];
    });
  }
  function poll() {
    fetch('/hud/status?after=' + after, { cache: 'no-store' })
      .then(function (r) { return r.json(); })
      .then(function (s) {
        if (!connected) { log.textContent = ''; connected = true; }
        render(s.figures);
        if (s.lines.length) {
          var stick = window.innerHeight + window.scrollY >= document.body.scrollHeight - 4;
          log.textContent += s.lines.join('\n') + '\n';
          if (log.textContent.length > 200000)
            log.textContent = log.textContent.slice(-150000);
          if (stick) window.scrollTo(0, document.body.scrollHeight);
        }
        after = s.next;
      })
      .catch(function () {})
      .then(function () { setTimeout(poll, 1000); });
  }
  poll();
})();
</script>
</body>
</html>
)HTML";

} // namespace

QByteArray hudPageHtml(const HudFigures& figures) {
    QString rows;
    for (const auto& [label, value, cls] : figures) {
        rows += QStringLiteral("<tr><th>%1</th><td%2>%3</td></tr>\n")
                    .arg(label.toHtmlEscaped(),
                         cls.isEmpty() ? QString() : QStringLiteral(" class=\"%1\"").arg(cls),
                         value.toHtmlEscaped());
    }
    return QByteArray(kPageHead) + rows.toUtf8() + QByteArray(kPageTail);
}

QJsonObject hudStatus(const HudFigures& figures, const LogBook& log, qint64 after) {
    QJsonArray rows;
    for (const auto& [label, value, cls] : figures)
        rows.append(QJsonArray{label, value, cls});
    qint64 newest = 0;
    const QStringList lines = log.linesAfter(after, &newest);
    return {{QStringLiteral("figures"), rows},
            {QStringLiteral("lines"), QJsonArray::fromStringList(lines)},
            {QStringLiteral("next"), newest}};
}

} // namespace vxr::sim
