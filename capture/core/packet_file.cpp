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
  std::tm t{};
  t.tm_year = hour.year - 1900;
  t.tm_mon = hour.month - 1;
  t.tm_mday = hour.day;
  t.tm_hour = hour.hour;
  t.tm_isdst = -1;
  const std::time_t at = std::mktime(&t);
  // A day the month does not have (31 February) is no such hour.
  if (at == static_cast<std::time_t>(-1) || t.tm_mday != hour.day || t.tm_mon != hour.month - 1) {
    return kNoHour;
  }
  return static_cast<std::int64_t>(at) * 1000;
}

int ChooseRunTag(int lastOfOwnHour, int lastOfNewest) {
  int tag = NextRunTag(lastOfNewest);
  if (tag == lastOfOwnHour) tag = NextRunTag(tag);
  return tag;
}

PacketReader::PacketReader(std::FILE* in, long long) : in_(in), block_(256 * kRecordSize) {}

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
      fault_ = std::string("cannot be read: ") +
               (errno != 0 ? std::strerror(errno) : "a read error");
      return Status::Failed;
    }
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
