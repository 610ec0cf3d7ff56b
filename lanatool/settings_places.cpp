#include "settings_places.h"

#include "scan_int.h"

namespace mirvale {

QString ConfigDirectory(Platform& platform) {
  const std::string windows = platform.WindowsDirectory();
  std::string dir = platform.ProfileString("Config", "ConfigPath", windows, "c:\\trelm_config.ini");
  if (dir.size() > 259) dir.resize(259);
  return QString::fromStdString(dir);
}

QString OrmIniPath(Platform& platform) { return ConfigDirectory(platform) + "\\orm.ini"; }

namespace {
// The generations' own files, under the root and system of the installation.
Place SystemPlace(const QString& root, const QString& system) {
  return {QStringLiteral("%1\\%2\\config\\system\\trelm_system.ini").arg(root, system),
          "Network", "DefaultAdaptor"};
}
Place MasterPlace(const QString& root) {
  return {QStringLiteral("%1\\local_settings.ini").arg(root), "Network", "DefaultAdaptor"};
}
}  // namespace

QList<Place> ReadPlaces(Platform& platform, const QString& root, const QString& system) {
  return {
      {OrmIniPath(platform), "Network", "DefaultAdaptor"},
      {"velk_nbif.ini", "NetBIOS", "Adaptor"},
      {"velk2nbif.ini", "NetBIOS", "Adaptor"},
      SystemPlace(root, system),
      MasterPlace(root),
  };
}

QList<Place> WritePlaces(Platform& platform, const QString& root, const QString& system) {
  QList<Place> places = {
      {OrmIniPath(platform), "Network", "DefaultAdaptor"},
      {"VELK_NBIF.INI", "NetBIOS", "Adaptor"},
      {"VELK2NBIF.INI", "NetBIOS", "Adaptor"},
  };
  if (!system.isEmpty() || !root.isEmpty()) places.append(SystemPlace(root, system));
  if (!root.isEmpty()) places.append(MasterPlace(root));
  return places;
}

QString NormalisedValue(const QString& lana) {
  std::int32_t value = 0;
  trelm::ScanInt(lana.toLatin1().constData(), value);
  return QString::number(value);
}

QString FullProfilePath(Platform& platform, const QString& file) {
  // A bare file name is looked for in the Windows directory.
  if (file.contains(QLatin1Char('\\')) || file.contains(QLatin1Char('/'))) return file;
  return QString::fromStdString(platform.WindowsDirectory()) + QLatin1Char('\\') + file;
}

QStringList WriteAll(Platform& platform, const QList<Place>& places, const QString& value) {
  QStringList failed;
  for (const Place& p : places) {
    if (!platform.WriteProfileValue(p.section, p.key, value.toStdString(), p.file.toStdString())) {
      // With the system's reason, when it gives one.
      const QString why = QString::fromLocal8Bit(platform.LastWriteError().c_str());
      failed.append(FullProfilePath(platform, p.file) + (why.isEmpty() ? QString() : " (" + why + ")"));
    }
  }
  return failed;
}

}  // namespace mirvale
