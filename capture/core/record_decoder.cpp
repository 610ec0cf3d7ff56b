// The decoders on packet records, with settings of their own.
#include "core/record_decoder.h"

#include <cstring>

#include "profile_text.h"

namespace varnet {

RecordDecoder::RecordDecoder(DecoderHost& host, const std::string& ini)
    : decoder_(host, options_, filters_) {
  if (!ini.empty()) {
    trelm::ProfileText text(ini);
    ReadDecodeSettings(text, "VARNET.INI", options_, filters_);
  }
}

const DatagramFacts& RecordDecoder::Decode(const RecordView& view) {
  std::memcpy(buffer_, view.data, kDatagramSize);
  return view.type == kRecordCommand ? decoder_.DecodeCommand(buffer_)
                                     : decoder_.DecodeRevertive(buffer_, 0);
}

}  // namespace varnet
