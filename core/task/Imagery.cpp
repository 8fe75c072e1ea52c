#include "core/task/Imagery.h"

namespace task {

std::string ImageryName(const Imagery& imagery) { return NameOf(imagery); }

std::string ImageryWords(const Imagery& imagery, const std::string& date) { return WordsOf(imagery, date); }

int32_t MapsTypeOf(const Imagery& imagery) { return MapsTypeCodeOf(imagery); }

std::string CommandWord(const Imagery& imagery) { return CommandWordOf(imagery); }

std::vector<std::string> TaskFileLines(const Imagery& imagery) { return TaskFileLinesOf(imagery); }

std::optional<Imagery> ReadImagery(const settings::IniFile& taskFile, int32_t mapsType) {
  return ReadImageryOf<Imagery>(taskFile, mapsType);
}

}  // namespace task
