// The NetBIOS bindings and adapter descriptions from the registry, joined
// into the list of choices. A fatal failure shows its message where one is
// due and makes the caller end the program with exit code 1.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "mirvale_ui.h"
#include "platform.h"

class QWidget;

namespace mirvale {

struct LanaBinding {
  QString bindPath;
  QString adapterGuid;
  int lana = 0;
  bool valid = false;
  int protocol = 0;  // 1: NetBIOS over TCP/IP, 2: NetBEUI
};

struct AdapterChoice {
  int lana = 0;
  QString protocol;
  QString description;
};

QString ProtocolText(int protocol);

class Bindings {
 public:
  Bindings(Platform& platform, MessageBoxes& boxes, QWidget* dialog, bool debug)
      : platform_(platform), boxes_(boxes), dialog_(dialog), debug_(debug) {}

  // 0, 2, 13 or another status; the data on 0.
  long readRegistryValue(RegKey key, const QString& name, unsigned expectedType,
                         const QString& keyName, QByteArray* data);
  long readString(RegKey key, const QString& name, const QString& keyName, QString* text);
  long readStringList(RegKey key, const QString& name, const QString& keyName, QStringList* list);
  long readBinary(RegKey key, const QString& name, const QString& keyName, QByteArray* bytes);
  void showRegistryError(const QString& name, long status);

  // False: the program is to end with exit code 1.
  bool readNetBiosBindings(QList<LanaBinding>* bindings);
  bool readAdapterDescriptions(QMap<QString, QString>* descriptions);
  bool collectAdapterChoices(QList<AdapterChoice>* choices);

 private:
  Platform& platform_;
  MessageBoxes& boxes_;
  QWidget* dialog_;
  bool debug_;
};

}  // namespace mirvale
