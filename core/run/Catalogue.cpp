#include "core/run/Catalogue.h"

#include <iterator>

namespace run {

std::vector<MapSource> ImageryCatalogue(const ConfigFile& config, CatalogueFor use) {
  std::vector<MapSource> catalogue;
  for (int position = 0; position < static_cast<int>(std::size(task::kMapTypeNames)); ++position) {
    const task::Imagery map = task::BuiltInMap{task::MapsTypeFromListPosition(position)};
    catalogue.push_back({task::ImageryName(map), map});
  }
  const NearmapApiSettings api = config.ReadNearmapApi();
  if (use == CatalogueFor::Tasks || !api.Secret.empty()) {
    task::NearmapImagery imagery;
    imagery.Direction = api.Direction;
    catalogue.push_back({task::ImageryName(imagery), imagery});
  }
  for (task::TileSource& source : config.ReadSources()) {
    std::string name = source.Name;
    catalogue.push_back({std::move(name), std::move(source)});
  }
  return catalogue;
}

int CatalogueIndexOf(const std::vector<MapSource>& catalogue, const task::Imagery& imagery) {
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    const task::Imagery& item = catalogue[i].Imagery;
    if (item.index() != imagery.index()) continue;
    const bool same = std::visit(
        [&item](const auto& kind) {
          using Kind = std::decay_t<decltype(kind)>;
          // One item stands for the API whatever it is pinned to; a source
          // by its name (its definition may have changed since).
          if constexpr (std::is_same_v<Kind, task::NearmapImagery>) return true;
          else return task::KindName(kind) == task::KindName(std::get<Kind>(item));
        },
        imagery);
    if (same) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace run
