#include "settings_places.h"

#include "scan_int.h"

namespace mirvale {

QString ConfigDirectory(Platform& platform) {
  const std::string windows = platform.WindowsDirectory();
  std::string dir = platform.ProfileString("Config", "ConfigPath", windows, "c:\\trelm_config.ini");
  if (dir.size() > 259) dir.resize(259);
  return QString::fromStdString(dir);
}

QList<Place> ReadPlaces(Platform& platform, const QString& root, const QString& system) {
  return {
      {ConfigDirectory(platform) + "\\orm.ini", "Network", "DefaultAdaptor"},
      {"velk_nbif.ini", "NetBIOS", "Adaptor"},
      {"velk2nbif.ini", "NetBIOS", "Adaptor"},
      {QStringLiteral("%1\\%2\\config\\system\\trelm_system.ini").arg(root, system), "Network",
       "DefaultAdaptor"},
      {QStringLiteral("%1\\local_settings.ini").arg(root), "Network", "DefaultAdaptor"},
  };
}

QList<Place> WritePlaces(Platform& platform, const QString& root, const QString& system) {
  QList<Place> places = {
      {ConfigDirectory(platform) + "\\orm.ini", "Network", "DefaultAdaptor"},
      {"VELK_NBIF.INI", "NetBIOS", "Adaptor"},
      {"VELK2NBIF.INI", "NetBIOS", "Adaptor"},
  };
  if (!system.isEmpty() || !root.isEmpty()) {
    places.append({QStringLiteral("%1\\%2\\config\\system\\trelm_system.ini").arg(root, system),
                   "Network", "DefaultAdaptor"});
  }
  if (!root.isEmpty()) {
    places.append({QStringLiteral("%1\\local_settings.ini").arg(root), "Network", "DefaultAdaptor"});
  }
  return places;
}

QString NormalisedValue(const QString& lana) {
  std::int32_t value = 0;
  trelm::ScanInt(lana.toLatin1().constData(), value);
  return QString::number(value);
}

QStringList WriteAll(Platform& platform, const QList<Place>& places, const QString& value) {
  QStringList failed;
  for (const Place& p : places) {
    if (!platform.WriteProfileValue(p.section, p.key, value.toStdString(), p.file.toStdString())) {
      failed.append(p.file);
    }
  }
  return failed;
}

}  // namespace mirvale
