#include "core/task/Imagery.h"

namespace task {

std::string ImageryName(const Imagery& imagery) {
  return std::visit([](const auto& kind) { return KindName(kind); }, imagery);
}

std::string ImageryWords(const Imagery& imagery, const std::string& date) {
  return std::visit([&date](const auto& kind) { return KindWords(kind, date); }, imagery);
}

int32_t MapsTypeOf(const Imagery& imagery) {
  return std::visit([](const auto& kind) { return KindMapsType(kind); }, imagery);
}

std::string CommandWord(const Imagery& imagery) {
  return std::visit([](const auto& kind) { return KindCommandWord(kind); }, imagery);
}

std::vector<std::string> TaskFileLines(const Imagery& imagery) {
  return std::visit([](const auto& kind) { return KindTaskFileLines(kind); }, imagery);
}

namespace {

// The first kind, in the catalogue's order, that reads the task file.
template <std::size_t I = 0>
std::optional<Imagery> ReadFirstKind(const settings::IniFile& taskFile, int32_t mapsType) {
  if constexpr (I == std::variant_size_v<Imagery>) {
    return std::nullopt;
  } else {
    using Kind = std::variant_alternative_t<I, Imagery>;
    if (std::optional<Kind> kind = ReadKind(std::type_identity<Kind>{}, taskFile, mapsType)) return Imagery{std::move(*kind)};
    return ReadFirstKind<I + 1>(taskFile, mapsType);
  }
}

}  // namespace

std::optional<Imagery> ReadImagery(const settings::IniFile& taskFile, int32_t mapsType) {
  return ReadFirstKind(taskFile, mapsType);
}

}  // namespace task
