// pktdump's comparison of workstations as summary's JSON writes it: one
// object, "fleet", after the files' objects (fleet.h gives its shape).
#include "fleet.h"
#include "records.h"
#include "wall_time.h"

namespace pktdump {
namespace fleet {

namespace {

std::string Time(std::int64_t ms) {
  return "\"" + TimeText(trelm::MsFiletime(ms)) + "\"";
}

std::string FindingJson(const Result& r, const fleet::Finding& f) {
  std::string o = "{\"capture\":" + pktdump::Json(r.captures[f.capture].name) + ",\"kind\":\"" +
                  KindKey(f.kind) + "\"";
  if (f.kind == Finding::kDevice || f.kind == Finding::kWorkstation) {
    o += std::string(",\"") + KindKey(f.kind) + "\":" + std::to_string(f.id);
  }
  o += ",\"from\":" + Time(f.from) + ",\"to\":" + Time(f.to) + ",\"class\":\"" +
       VerdictKey(f.verdict) + "\",\"count\":" + std::to_string(f.count) + ",\"heard_by\":[";
  bool first = true;
  for (std::size_t k = 0; k < f.heardBy.size(); ++k) {
    if (f.heardBy[k] == 0) continue;
    o += (first ? "" : ",") + pktdump::Json(r.captures[k].name);
    first = false;
  }
  o += "]";
  if (f.kind == Finding::kSequence) {
    o += ",\"skipped\":" + std::to_string(f.skipped) +
         ",\"sequence_from\":" + std::to_string(f.sequenceFrom) +
         ",\"sequence_to\":" + std::to_string(f.sequenceTo);
  }
  return o + "}";
}

}  // namespace

std::string Json(const Result& r) {
  std::string o = "{\"fleet\":{\"tolerance_ms\":" + std::to_string(r.toleranceMs) +
                  ",\"union\":" + std::to_string(r.unionCount) + ",\"captures\":[";
  for (std::size_t i = 0; i < r.captures.size(); ++i) {
    const Capture& c = r.captures[i];
    o += (i ? ",{" : "{") + std::string("\"name\":") + pktdump::Json(c.name) +
         ",\"compared\":" + (c.compared ? "true" : "false");
    if (c.compared) {
      char share[32];
      std::snprintf(
          share, sizeof share, "%.6f",
          r.unionCount > 0 ? static_cast<double>(c.held) / static_cast<double>(r.unionCount) : 0.0);
      o += ",\"held\":" + std::to_string(c.held) +
           ",\"missing\":" + std::to_string(r.unionCount - c.held) +
           ",\"union\":" + std::to_string(r.unionCount) + ",\"share\":" + share;
    }
    o += ",\"untimed\":" + std::to_string(c.untimed) + "}";
  }
  std::string gaps, silences;
  for (const fleet::Finding& f : r.findings) {
    std::string& into =
        f.kind == Finding::kSequence || f.kind == Finding::kNotRecording ? gaps : silences;
    into += (into.empty() ? "" : ",") + FindingJson(r, f);
  }
  o += "],\"gaps\":[" + gaps + "],\"silences\":[" + silences +
       "],\"not_judged\":" + std::to_string(r.notJudged) + ",\"notes\":[";
  for (std::size_t i = 0; i < r.notes.size(); ++i) o += (i ? "," : "") + pktdump::Json(r.notes[i]);
  return o + "]}}";
}

}  // namespace fleet
}  // namespace pktdump
