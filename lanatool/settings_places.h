// The five places that hold the adapter number, read to be shown and
// written with the chosen number.
#pragma once

#include <QString>
#include <QStringList>

#include "platform.h"

namespace mirvale {

// The configuration directory, the LANA tool's way: ConfigPath of [Config]
// in c:\trelm_config.ini, else the Windows directory; nothing written.
QString ConfigDirectory(Platform& platform);

// ORM.INI in that directory: the first place, and the number preselected.
QString OrmIniPath(Platform& platform);

struct Place {
  QString file;
  const char* section;
  const char* key;
};

// The five places to read, in their order (orm, velk_nbif, velk2nbif,
// trelm_system, master).
QList<Place> ReadPlaces(Platform& platform, const QString& root, const QString& system);
// The places to write: the first three always, the fourth when root or
// system is set, the fifth when root is.
QList<Place> WritePlaces(Platform& platform, const QString& root, const QString& system);

// The Lana text as the number written: base 10, leading blanks and zeros
// dropped; text that is not a number gives 0.
QString NormalisedValue(const QString& lana);

// The path a profile file is written at: a bare name lies in the Windows
// directory.
QString FullProfilePath(Platform& platform, const QString& file);

// Writes value to every place; returns the files that could not be written,
// with their full paths, each followed by the system's reason in
// parentheses when it gives one.
QStringList WriteAll(Platform& platform, const QList<Place>& places, const QString& value);

}  // namespace mirvale
