#include "bindings.h"

#include <QDebug>
#include <QRegularExpression>
#include <cstdlib>
#include <memory>

namespace mirvale {

namespace {
constexpr const char* kCaption = "Error in Mirvale";
constexpr const char* kLinkage = "SYSTEM\\CurrentControlSet\\Services\\NetBIOS\\Linkage";
constexpr const char* kAdapterClass =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002be10318}";

// Registry texts come in the system's "A" code page: on Windows the local
// 8-bit encoding, from a Wine prefix Windows-1252, read here as Latin-1.
QString FromAnsi(const QByteArray& bytes) {
#ifdef _WIN32
  return QString::fromLocal8Bit(bytes);
#else
  return QString::fromLatin1(bytes);
#endif
}

struct FreeBuffer {
  void operator()(unsigned char* p) const { std::free(p); }
};

// A registry key opened here, closed when it goes out of scope, whichever
// way the reading ends.
class OpenedKey {
 public:
  explicit OpenedKey(Platform& platform) : platform_(platform) {}
  ~OpenedKey() {
    if (open_) platform_.CloseKey(key_);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  long Open(RegKey parent, const std::string& path) {
    const long status = platform_.OpenKey(parent, path, &key_);
    open_ = status == kSuccess;
    return status;
  }
  RegKey get() const { return key_; }

 private:
  Platform& platform_;
  RegKey key_ = 0;
  bool open_ = false;
};
}  // namespace

QString ProtocolText(int protocol) {
  return protocol == 1 ? QStringLiteral("NetBIOS/IP") : protocol == 2 ? QStringLiteral("NetBEUI") : QString();
}

long Bindings::readRegistryValue(RegKey key, const QString& name, unsigned expectedType,
                                 const QString& keyName, QByteArray* data) {
  unsigned long size = 4;
  std::unique_ptr<unsigned char, FreeBuffer> buffer;
  unsigned type = 0;
  long status = kMoreData;
  const QByteArray valueName = name.toLocal8Bit();
  while (status == kMoreData) {
    buffer.reset(static_cast<unsigned char*>(std::malloc(size == 0 ? 1 : size)));
    if (!buffer) {
      boxes_.Critical(dialog_, kCaption, QStringLiteral("Heap Full reading registry."));
      return kMoreData;  // the caller ends the program
    }
    status = platform_.QueryValue(key, valueName.toStdString(), &type, buffer.get(), &size);
  }
  if (status == kFileNotFound) {
    qDebug().noquote() << "Didn't find " + name + " in " + keyName;
    return kFileNotFound;
  }
  if (status != kSuccess) {
    showRegistryError(name, status);
    return status;
  }
  if (type != expectedType) {
    boxes_.Critical(dialog_, kCaption,
                    QStringLiteral("Wrong data type %1, wanting %2, opening key %3, in %4 ")
                        .arg(type)
                        .arg(expectedType)
                        .arg(name, keyName));
    return kInvalidData;
  }
  *data = QByteArray(reinterpret_cast<const char*>(buffer.get()), static_cast<int>(size));
  return kSuccess;
}

long Bindings::readString(RegKey key, const QString& name, const QString& keyName, QString* text) {
  QByteArray data;
  const long status = readRegistryValue(key, name, kRegSz, keyName, &data);
  if (status == kSuccess) {
    const int end = data.indexOf('\0');
    *text = FromAnsi(end < 0 ? data : data.left(end));
  }
  return status;
}

long Bindings::readStringList(RegKey key, const QString& name, const QString& keyName,
                              QStringList* list) {
  QByteArray data;
  const long status = readRegistryValue(key, name, kRegMultiSz, keyName, &data);
  if (status != kSuccess) return status;
  int at = 0;
  while (at < data.size()) {
    int end = data.indexOf('\0', at);
    if (end < 0) end = data.size();
    if (end == at) break;  // an empty string ends the list
    list->append(FromAnsi(data.mid(at, end - at)));
    at = end + 1;
  }
  return status;
}

long Bindings::readBinary(RegKey key, const QString& name, const QString& keyName,
                          QByteArray* bytes) {
  return readRegistryValue(key, name, kRegBinary, keyName, bytes);
}

void Bindings::showRegistryError(const QString& name, long status) {
  const QString system = FromAnsi(QByteArray::fromStdString(platform_.ErrorText(status)));
  boxes_.Critical(dialog_, kCaption, QStringLiteral("Opening key '%2'\n%1 ").arg(system, name));
}

bool Bindings::readNetBiosBindings(QList<LanaBinding>* bindings) {
  OpenedKey key(platform_);
  const long opened = key.Open(kLocalMachine, kLinkage);
  if (opened != kSuccess) {
    showRegistryError(kLinkage, opened);
    return false;
  }
  QStringList paths;
  if (readStringList(key.get(), "Bind", kLinkage, &paths) != kSuccess) return false;
  static const QRegularExpression tcpip(
      QStringLiteral("\\\\Device\\\\NetBT_Tcpip_(\\{\\w{8}-\\w{4}-\\w{4}-\\w{4}-\\w{12}\\})"));
  static const QRegularExpression netbeui(
      QStringLiteral("\\\\Device\\\\Nbf_(\\{\\w{8}-\\w{4}-\\w{4}-\\w{4}-\\w{12}\\})"));
  for (const QString& path : paths) {
    LanaBinding b;
    b.bindPath = path;
    QRegularExpressionMatch m = tcpip.match(path);
    if (m.hasMatch()) {
      b.protocol = 1;
      b.adapterGuid = m.captured(1);
    } else if ((m = netbeui.match(path)).hasMatch()) {
      b.protocol = 2;
      b.adapterGuid = m.captured(1);
    }
    if (debug_) qDebug().noquote() << b.adapterGuid + " in " + b.bindPath;
    bindings->append(b);
  }
  QByteArray map;
  if (readBinary(key.get(), "LanaMap", kLinkage, &map) != kSuccess) {
    boxes_.Critical(dialog_, kCaption, QStringLiteral("Failed to read binary data (LanaMap)."));
    return false;
  }
  if (map.size() / 2 != bindings->size()) {
    boxes_.Critical(dialog_, kCaption, QStringLiteral("Sizes of Bind and LanaMap don't match."));
    return false;
  }
  for (int i = 0; i < bindings->size(); ++i) {
    (*bindings)[i].valid = static_cast<unsigned char>(map[2 * i]) == 1;
    (*bindings)[i].lana = static_cast<unsigned char>(map[2 * i + 1]);
  }
  if (debug_) {
    for (const LanaBinding& b : *bindings) {
      qDebug().noquote() << QStringLiteral("Valid %1, Lana %2, name %3, guid %4")
                                .arg(b.valid ? 1 : 0)
                                .arg(b.lana)
                                .arg(b.bindPath, b.adapterGuid);
    }
  }
  return true;
}

bool Bindings::readAdapterDescriptions(QMap<QString, QString>* descriptions) {
  OpenedKey key(platform_);
  const long opened = key.Open(kLocalMachine, kAdapterClass);
  if (opened != kSuccess) {
    showRegistryError(kAdapterClass, opened);
    return false;
  }
  unsigned long classSize = 32;
  unsigned long longestName = 0, longestClass = 0;
  long status = kMoreData;
  while (status == kMoreData) {
    QByteArray className(static_cast<int>(classSize), '\0');
    unsigned long length = classSize;
    status =
        platform_.QueryInfoKey(key.get(), className.data(), &length, &longestName, &longestClass);
    if (status != kSuccess) qDebug().noquote() << QStringLiteral("Reg Query returned %1").arg(status);
    if (status == kMoreData) classSize = 2 * longestClass;
  }
  for (unsigned long index = 0;; ++index) {
    QByteArray name(static_cast<int>(longestName + 1), '\0');
    QByteArray cls(static_cast<int>(longestClass + 1), '\0');
    unsigned long nameLength = longestName + 1, classLength = longestClass + 1;
    if (platform_.EnumKey(key.get(), index, name.data(), &nameLength, cls.data(),
                          &classLength) != kSuccess) {
      break;
    }
    const QString subkeyName = FromAnsi(QByteArray(name.constData()));
    OpenedKey sub(platform_);
    if (sub.Open(key.get(), name.toStdString().c_str()) != kSuccess) continue;
    QString description, guid;
    long read = readString(sub.get(), "DriverDesc", subkeyName, &description);
    if (read == kFileNotFound) continue;
    if (read != kSuccess) return false;
    read = readString(sub.get(), "NetCfgInstanceId", subkeyName, &guid);
    if (read == kFileNotFound) continue;
    if (read != kSuccess) return false;
    descriptions->insert(guid, description);
    // The adapter's linkage, for the diagnostic lines.
    QStringList roots;
    OpenedKey linkage(platform_);
    if (linkage.Open(sub.get(), "Linkage") == kSuccess) {
      const long rootStatus = readStringList(linkage.get(), "RootDevice", subkeyName, &roots);
      if (rootStatus == kFileNotFound) {
        qDebug().noquote() << "Didn't find RootDevice in " + subkeyName;
      } else if (rootStatus != kSuccess) {
        showRegistryError("RootDevice", rootStatus);
        return false;
      } else if (roots.size() > 1 && debug_) {
        qDebug().noquote() << "RootDevice with more than one entry.";
      }
    }
    if (debug_) {
      qDebug().noquote() << subkeyName + " NetBios item '" + description + "' " + guid;
      for (int i = 0; i < roots.size(); ++i) {
        qDebug().noquote() << QStringLiteral("  Linkage Root %1: ").arg(i) + roots[i];
      }
    }
  }
  return true;
}

bool Bindings::collectAdapterChoices(QList<AdapterChoice>* choices) {
  QList<LanaBinding> bindings;
  if (!readNetBiosBindings(&bindings)) return false;
  QMap<QString, QString> descriptions;
  if (!readAdapterDescriptions(&descriptions)) return false;
  for (const LanaBinding& b : bindings) {
    // A binding that matched neither pattern has no adapter: it never
    // borrows the description of an adapter without a GUID.
    if (!b.valid || b.adapterGuid.isEmpty() || !descriptions.contains(b.adapterGuid)) continue;
    choices->append({b.lana, ProtocolText(b.protocol), descriptions.value(b.adapterGuid)});
  }
  return true;
}

}  // namespace mirvale
