#include "core/packet_file.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "core/packet_dump.h"

namespace varnet {

void PacketFileName(const FileHour& hour, char (&out)[kPacketNameSize]) {
  const auto field = [](int value, unsigned limit) {
    return value < 0 ? 0u : static_cast<unsigned>(value) % limit;
  };
  std::snprintf(out, sizeof out, "PKT_%04u%02u%02u.%02u", field(hour.year, 10000),
                field(hour.month, 100), field(hour.day, 100), field(hour.hour, 100));
}

bool ParsePacketFileName(const std::string& path, FileHour* hour) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // Exactly "PKT_" (any case, as Windows names match), 8 digits, '.', 2 digits.
  if (name.size() != kPacketNameSize - 1) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    const char c = i < 3 && name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 32) : name[i];
    if (c != "PKT_"[i]) return false;
  }
  if (name[12] != '.') return false;
  int digits[10];
  for (std::size_t i = 4, k = 0; i < name.size(); ++i) {
    if (i == 12) continue;
    if (name[i] < '0' || name[i] > '9') return false;
    digits[k++] = name[i] - '0';
  }
  FileHour h;
  h.year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
  h.month = digits[4] * 10 + digits[5];
  h.day = digits[6] * 10 + digits[7];
  h.hour = digits[8] * 10 + digits[9];
  if (h.year < 1970 || h.month < 1 || h.month > 12 || h.day < 1 || h.day > 31 || h.hour > 23) {
    return false;
  }
  if (hour != nullptr) *hour = h;
  return true;
}

std::int64_t HourStartMs(const FileHour& hour) {
  return trelm::LocalMs({hour.year, hour.month, hour.day, hour.hour, 0, 0});
}

std::int64_t NaiveHour(const FileHour& hour) {
  return trelm::DaysFromCivil(hour.year, hour.month, hour.day) * 24 + hour.hour;
}

std::int64_t NaiveHourOf(const std::string& path) {
  FileHour hour;
  return ParsePacketFileName(path, &hour) ? NaiveHour(hour) : kNoHour;
}

bool LocalHourExists(std::int64_t naiveHour) {
  trelm::CivilTime half;
  const std::int64_t day = trelm::FloorDiv(naiveHour, 24);
  trelm::CivilFromDays(day, &half.year, &half.month, &half.day);
  half.hour = static_cast<int>(naiveHour - day * 24);
  half.minute = 30;
  std::int64_t at[2];
  trelm::LocalReadings(half, at);
  return at[0] != kNoHour || at[1] != kNoHour;
}

int ChooseRunTag(int lastOfOwnHour, int lastOfNewest) {
  // Tags go up by one a run. After a clock set back the hour file a run
  // appends to may hold a later run's tag than the newest file: the tag
  // after whichever of the two is ahead (by less than half the circle)
  // differs from both, and from the runs between them.
  int base = lastOfNewest;
  if (lastOfOwnHour >= 0 &&
      (lastOfNewest < 0 || (lastOfOwnHour - lastOfNewest + kRunTags) % kRunTags < kRunTags / 2)) {
    base = lastOfOwnHour;
  }
  int tag = NextRunTag(base);
  while (tag == lastOfOwnHour || tag == lastOfNewest) tag = NextRunTag(tag);
  return tag;
}

PacketReader::PacketReader(std::FILE* in) : in_(in), block_(256 * kRecordSize) {}

PacketReader::Status PacketReader::Next(RecordView& view) {
  fault_.clear();
  if (filled_ - at_ < kRecordSize && !ended_) {
    // Keep the part of a record left, then fill the block behind it.
    std::memmove(block_.data(), block_.data() + at_, filled_ - at_);
    filled_ -= at_;
    at_ = 0;
    errno = 0;
    while (filled_ < block_.size()) {
      const std::size_t got = std::fread(block_.data() + filled_, 1, block_.size() - filled_, in_);
      filled_ += got;
      if (got == 0) {
        ended_ = true;
        break;
      }
    }
    if (ended_ && std::ferror(in_) != 0) {
      readError_ = std::string("cannot be read: ") +
                   (errno != 0 ? std::strerror(errno) : "a read error");
    }
  }
  // The whole records read before a read error go first; then the error.
  if (filled_ - at_ < kRecordSize && !readError_.empty()) {
    fault_ = readError_;
    return Status::Failed;
  }
  if (filled_ - at_ < kRecordSize) {
    rest_ = filled_ - at_;
    at_ = filled_;
    if (rest_ == 0) return Status::End;
    fault_ = CutText(rest_, number_);
    return Status::Cut;
  }
  ReadRecord(block_.data() + at_, kRecordSize, view);
  at_ += kRecordSize;
  ++number_;
  const std::string fault = RecordFault(view);
  if (fault.empty()) return Status::Record;
  fault_ = BadRecordText(number_, fault);
  return Status::Bad;
}

std::string BadRecordText(std::int64_t number, const std::string& fault) {
  return "record " + std::to_string(number) + " has " + fault;
}

std::string CutText(std::size_t rest, std::int64_t records) {
  return "cut inside a record: " + std::to_string(rest) + (rest == 1 ? " byte" : " bytes") +
         " after the last whole record (" + std::to_string(records) +
         (records == 1 ? " record" : " records") + " read)";
}

std::string EmptyText() { return "is empty: it holds no records"; }

}  // namespace varnet
