#include "lanacfg_output.h"

#include <QDebug>

#include "scan_int.h"

namespace mirvale {

QList<AdapterChoice> ParseLanacfgLines(const QStringList& lines) {
  QList<AdapterChoice> choices;
  const QString netbeui = QStringLiteral("-->NetBEUI Protocol");
  const QString tcpip = QStringLiteral("-->WINS Client(TCP/IP) Protocol");
  for (int i = 0; i < lines.size(); ++i) {
    const QString& line = lines[i];
    const QString next = i + 1 < lines.size() ? lines[i + 1] : QString();
    if (!line.startsWith(QStringLiteral("Lana:"))) continue;
    if (!next.startsWith(netbeui) && !next.startsWith(tcpip)) continue;
    if (next.contains(QStringLiteral("Dial Out"))) continue;
    std::int32_t lana = 0;
    trelm::ScanInt(line.mid(5).toLatin1().constData(), lana);
    qDebug().noquote() << QStringLiteral("Lana is %1").arg(lana);
    // A LANA is 0..254: another number gives no row, for it would be
    // written to every place and read back as another LANA.
    if (lana < 0 || lana > 254) {
      qDebug().noquote() << QStringLiteral("Lana %1 is out of range").arg(lana);
      continue;
    }
    const QStringList parts = next.split(QStringLiteral("-->"), Qt::SkipEmptyParts);
    const QString adapter = parts.isEmpty() ? QString() : parts.last();
    qDebug().noquote() << "Adaptor is " + adapter;
    QString protocol;
    if (next.startsWith(netbeui)) {
      qDebug().noquote() << "Protocol=NetBEUI";
      protocol = QStringLiteral("NetBEUI");
    } else {
      qDebug().noquote() << "Protocol=NetBIOS/IP";
      protocol = QStringLiteral("NetBIOS/IP");
    }
    choices.append({lana, protocol, adapter});
  }
  return choices;
}

}  // namespace mirvale
