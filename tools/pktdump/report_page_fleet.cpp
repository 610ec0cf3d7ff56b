// pktdump report: the comparison of the workstations on the page (two or
// more captures): what each capture holds of the channel's datagrams against
// the union of all, and each gap, stretch of not recording and silence of a
// capture with its class (lost here, not sent, unknown), how many datagrams
// the others hold that it lacks, and which captures hold them. The strips
// and lanes that mark those carry the class too (FleetClass).
#include <algorithm>

#include "fleet.h"
#include "report_page_internal.h"

namespace pktdump {
namespace report {
namespace html {

namespace {

const char* VerdictColour(fleet::Verdict v) {
  return v == fleet::Verdict::kLostHere  ? "#f9d0cc"
         : v == fleet::Verdict::kNotSent ? "#d9ecd5"
                                         : "#e4e7ea";
}

// What a finding is, in words.
std::string What(const fleet::Finding& f) {
  switch (f.kind) {
    case fleet::Finding::kSequence:
      return "sequence gap: " + Number(f.skipped) + (f.skipped == 1 ? " number" : " numbers") +
             " skipped (" + std::to_string(f.sequenceFrom) + " to " + std::to_string(f.sequenceTo) +
             ")";
    case fleet::Finding::kNotRecording:
      return "not recording between runs for " + Duration(f.to - f.from);
    case fleet::Finding::kDevice:
      return "device " + std::to_string(f.id) + " silent for " + Duration(f.to - f.from);
    case fleet::Finding::kWorkstation:
      return "workstation " + std::to_string(f.id) + " silent for " + Duration(f.to - f.from);
  }
  return std::string();
}

void Coverage(Context& c, const fleet::Result& r) {
  std::string& page = c.page;
  page +=
      "<table id=\"fleet-coverage\"><tr><th>Capture</th><th>First arrival</th><th>Last arrival</th>"
      "<th>Datagrams in the union</th><th>Held</th><th>Missing</th><th>Share</th>"
      "<th>Without arrival time (not compared)</th></tr>\n";
  for (const fleet::Capture& k : r.captures) {
    const std::string name = Escape(k.name);
    if (!k.compared) {
      page += "<tr data-capture=\"" + name + "\" data-compared=\"no\" data-untimed=\"" +
              std::to_string(k.untimed) + "\"><td>" + name +
              "</td><td colspan=\"6\">not compared (see above)</td><td class=\"n\">" +
              Number(k.untimed) + "</td></tr>\n";
      continue;
    }
    const std::uint64_t missing = r.unionCount - k.held;
    const double share =
        r.unionCount > 0 ? static_cast<double>(k.held) / static_cast<double>(r.unionCount) : 0;
    page += "<tr data-capture=\"" + name + "\" data-union=\"" + std::to_string(r.unionCount) +
            "\" data-held=\"" + std::to_string(k.held) + "\" data-missing=\"" +
            std::to_string(missing) + "\" data-share=\"" + Fixed(share, 6) + "\" data-untimed=\"" +
            std::to_string(k.untimed) + "\"><td>" + name + "</td><td class=\"t\">" +
            (k.first == kNoTime ? "&ndash;" : Shown(k.first)) + "</td><td class=\"t\">" +
            (k.last == kNoTime ? "&ndash;" : Shown(k.last)) + "</td><td class=\"n\">" +
            Number(r.unionCount) + "</td><td class=\"n\">" + Number(k.held) +
            "</td><td class=\"n\">" + Number(missing) + "</td><td class=\"n\">" +
            Fixed(share * 100, 2) + " %</td><td class=\"n\">" + Number(k.untimed) + "</td></tr>\n";
  }
  page += "</table>\n";
}

void Findings(Context& c, const fleet::Result& r) {
  std::string& page = c.page;
  std::uint64_t counts[3] = {0, 0, 0};
  for (const fleet::Finding& f : r.findings) ++counts[static_cast<int>(f.verdict)];
  page += "<p class=\"meta\" id=\"fleet-counts\" data-lost-here=\"" + std::to_string(counts[0]) +
          "\" data-not-sent=\"" + std::to_string(counts[1]) + "\" data-unknown=\"" +
          std::to_string(counts[2]) + "\">" + Number(r.findings.size()) +
          " judged: " + Number(counts[0]) + " lost here, " + Number(counts[1]) + " not sent, " +
          Number(counts[2]) + " unknown.</p>\n";
  if (r.findings.empty()) return;
  page +=
      "<table id=\"fleet-table\"><tr><th>From</th><th>To</th><th>Capture</th><th>What</th>"
      "<th>Class</th><th>How many</th><th>Heard by</th></tr>\n";
  std::size_t listed = 0;
  for (const fleet::Finding& f : r.findings) {
    if (listed++ == kTableRows) break;
    const std::string name = Escape(r.captures[f.capture].name);
    std::string heard, by;
    for (std::size_t k = 0; k < f.heardBy.size(); ++k) {
      if (f.heardBy[k] == 0) continue;
      heard += (heard.empty() ? "" : ", ") + Escape(r.captures[k].name) + " (" +
               Number(f.heardBy[k]) + ")";
      by += (by.empty() ? "" : " ") + Escape(r.captures[k].name);
    }
    page += "<tr data-capture=\"" + name + "\" data-kind=\"" + fleet::KindKey(f.kind) + "\"" +
            (f.id >= 0 ? " data-id=\"" + std::to_string(f.id) + "\"" : std::string()) +
            " data-from=\"" + Iso(f.from) + "\" data-to=\"" + Iso(f.to) + "\" data-class=\"" +
            fleet::VerdictKey(f.verdict) + "\" data-count=\"" + std::to_string(f.count) +
            "\" data-heard-by=\"" + by + "\"><td class=\"t\">" + Shown(f.from) +
            "</td><td class=\"t\">" + Shown(f.to) + "</td><td>" + name + "</td><td>" + What(f) +
            "</td><td style=\"background:" + VerdictColour(f.verdict) + "\">" +
            fleet::VerdictText(f.verdict) + "</td><td class=\"n\">" + Number(f.count) +
            "</td><td>" + (heard.empty() ? "&ndash;" : heard) + "</td></tr>\n";
  }
  page += "</table>\n";
  if (r.findings.size() > kTableRows) {
    page += "<p class=\"meta\" id=\"fleet-not-listed\">" + Number(r.findings.size() - kTableRows) +
            " more are counted above but not listed (the first " + std::to_string(kTableRows) +
            " are).</p>\n";
  }
}

}  // namespace

void WriteFleet(Context& c) {
  const fleet::Result* r = c.options.fleet;
  if (r == nullptr || c.data.rows.size() < 2) return;
  std::string& page = c.page;
  page += "<h2 id=\"fleet\">Workstations compared</h2>\n";
  page +=
      "<p class=\"legend\" id=\"fleet-rule\" data-tolerance-ms=\"" +
      std::to_string(r->toleranceMs) +
      "\">A datagram is the same in two captures when its bytes, its length and its kind are, and "
      "it arrived within " +
      Number(static_cast<std::uint64_t>(r->toleranceMs)) +
      " ms in both (the tolerance, <code>--tolerance MS</code>). Each sequence gap, each stretch "
      "between a capture's runs and each silence of a device or workstation in a capture is "
      "judged: <b>lost here</b>, another capture holds datagrams in that span that this one "
      "lacks; <b>not sent</b>, the other captures were recording over all of it, losing "
      "nothing, and none heard anything this one lacks; <b>unknown</b>, no other capture was "
      "recording over all of it. On the strips of Who was alive a silence judged lost here is "
          "outlined red, not sent green, unknown dashed grey.</p>\n";
  std::vector<std::string> notes = r->notes;
  if (r->Compared() < 2) {
    notes.push_back("Fewer than two captures can be compared: nothing is judged.");
  }
  if (r->notJudged > 0) {
    notes.push_back(Number(r->notJudged) + " sequence gaps past the first " +
                    std::to_string(PageData::kGapSpansKept) +
                    " of a capture are counted but not judged.");
  }
  if (!notes.empty()) {
    page += "<ul class=\"notes\" id=\"fleet-notes\">";
    for (const std::string& n : notes) page += "<li>" + Escape(n) + "</li>";
    page += "</ul>\n";
  }
  if (r->Compared() < 2) return;
  Coverage(c, *r);
  Findings(c, *r);
}

std::string FleetClass(const Context& c, const PageData::Row& row, const std::string& what, int id,
                       std::int64_t from, std::int64_t to) {
  const fleet::Result* r = c.options.fleet;
  if (r == nullptr || c.data.rows.empty()) return std::string();
  const std::size_t capture = static_cast<std::size_t>(&row - c.data.rows.data());
  // A lane's span may hold several gaps: the class that says most.
  const fleet::Finding* found = nullptr;
  for (const fleet::Finding& f : r->findings) {
    if (f.capture != capture || f.from > to || f.to < from) continue;
    const std::string kind = fleet::KindKey(f.kind);
    if (kind != (what == "lost" ? "sequence" : what)) continue;
    if (f.id != id && (f.kind == fleet::Finding::kDevice || f.kind == fleet::Finding::kWorkstation))
      continue;
    if (found == nullptr || f.verdict < found->verdict) found = &f;
  }
  return found == nullptr ? std::string() : fleet::VerdictKey(found->verdict);
}

std::string FleetOutline(const std::string& judged) {
  if (judged.empty()) return judged;
  if (judged == "lost-here") return " stroke=\"#d32f2f\" stroke-width=\"2\"";
  if (judged == "not-sent") return " stroke=\"#2e7d32\" stroke-width=\"2\"";
  return " stroke=\"#8a96a0\" stroke-width=\"2\" stroke-dasharray=\"3 2\"";
}

std::string FleetNote(const std::string& judged) {
  if (judged.empty()) return judged;
  std::string words = judged;
  std::replace(words.begin(), words.end(), '-', ' ');
  return "; compared with the other captures: " + words;
}

}  // namespace html
}  // namespace report
}  // namespace pktdump
