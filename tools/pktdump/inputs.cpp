// The inputs of the command line as the modes read them (inputs.h says
// what becomes of patterns, folders and files named twice).
#include "inputs.h"

#include <algorithm>
#include <map>

#include "core/packet_file.h"

namespace pktdump {

bool ExpandInputs(std::vector<std::string>* paths, std::FILE* err, InputSystem& system,
                  std::vector<std::size_t>* origins) {
  std::vector<std::string> files;
  std::vector<std::size_t> from;  // each file's argument
  for (std::size_t argument = 0; argument < paths->size(); ++argument) {
    const std::string& given = (*paths)[argument];
    from.resize(files.size(), argument - 1);  // the files the argument before gave
    if (given == "-") {
      files.push_back(given);
      continue;
    }
    std::vector<std::string> named{given};
    if (system.IsPattern(given)) {
      named = system.Match(given);
      if (named.empty()) {
        std::fprintf(err, "pktdump: %s: matches no file\n", given.c_str());
        return false;
      }
      std::sort(named.begin(), named.end());
    }
    for (const std::string& path : named) {
      if (!system.IsFolder(path)) {
        files.push_back(path);
        continue;
      }
      std::vector<std::string> names;
      std::string reason;
      if (!system.List(path, &names, &reason)) {
        std::fprintf(err, "pktdump: %s: cannot be read: %s\n", path.c_str(), reason.c_str());
        return false;
      }
      std::vector<std::string> hours;
      for (const std::string& name : names) {
        const std::string file = system.Join(path, name);
        if (varnet::ParsePacketFileName(name, nullptr) && !system.IsFolder(file)) hours.push_back(file);
      }
      if (hours.empty()) {
        std::fprintf(err, "pktdump: %s: a folder with no packet data file (PKT_YYYYMMDD.HH) in it\n",
                     path.c_str());
        return false;
      }
      std::sort(hours.begin(), hours.end());
      files.insert(files.end(), hours.begin(), hours.end());
    }
  }
  from.resize(files.size(), paths->size() - 1);

  // Each file once, where it came first. A path that names nothing here is
  // kept as it stands, for the reading to say so.
  std::map<std::string, std::string> first;  // identity: the path that named it first
  std::vector<std::string> once;
  std::vector<std::size_t> onceFrom;
  std::size_t dropped = 0;
  std::string example;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& path = files[i];
    std::string identity;
    if (path == "-" || !system.Identity(path, &identity)) identity = "path " + path;
    const auto [at, isNew] = first.emplace(identity, path);
    if (isNew) {
      once.push_back(path);
      onceFrom.push_back(from[i]);
    } else if (++dropped == 1) {
      example = path == at->second ? path + " again" : path + " is " + at->second;
    }
  }
  if (dropped == 1) {
    std::fprintf(err, "pktdump: note: %s, given before: it is read once\n", example.c_str());
  } else if (dropped > 1) {
    std::fprintf(err, "pktdump: note: %lu inputs name files given before (the first: %s): each is read once\n",
                 static_cast<unsigned long>(dropped), example.c_str());
  }
  *paths = once;
  if (origins != nullptr) *origins = onceFrom;
  return true;
}

}  // namespace pktdump
