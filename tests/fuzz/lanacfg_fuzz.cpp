// libFuzzer target: what lanacfg.exe prints, as Mirvale turns it into
// choices. Every choice must carry a LANA of 0..254.
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "lanacfg_output.h"

namespace {
void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qInstallMessageHandler(Quiet);  // the parser's diagnostic lines
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data),
                                           static_cast<qsizetype>(size));
  for (const mirvale::AdapterChoice& c : mirvale::ParseLanacfgLines(text.split('\n'))) {
    if (c.lana < 0 || c.lana > 254) std::abort();
  }
  return 0;
}
