#include "tests/support/DiskSteps.h"

#include <algorithm>

namespace testsupport {

DiskSteps::DiskSteps() { platform::SetDiskStepWatcher(this); }

DiskSteps::~DiskSteps() { platform::SetDiskStepWatcher(nullptr); }

bool DiskSteps::Allow(platform::DiskStep step, const std::string& path) {
  std::lock_guard lock(mutex_);
  events_.push_back({step, path});
  const auto refused = std::find_if(refusals_.begin(), refusals_.end(), [&](const DiskEvent& refusal) {
    return refusal.Step == step && (refusal.Path.empty() || refusal.Path == path);
  });
  if (refused == refusals_.end()) return true;
  refusals_.erase(refused);
  return false;
}

std::vector<DiskEvent> DiskSteps::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

void DiskSteps::Clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
}

void DiskSteps::RefuseNext(platform::DiskStep step, const std::string& path) {
  std::lock_guard lock(mutex_);
  refusals_.push_back({step, path});
}

}  // namespace testsupport
