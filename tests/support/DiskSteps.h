// Watches the file layer's steps towards stable storage (renames and
// flushes) for a test, in the order they are taken, and makes chosen ones
// fail as a disk error would. Installed for every thread while it lives.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "core/platform/Files.h"

namespace testsupport {

struct DiskEvent {
  platform::DiskStep Step;
  std::string Path;
  friend bool operator==(const DiskEvent&, const DiskEvent&) = default;
};

class DiskSteps final : public platform::DiskStepWatcher {
 public:
  DiskSteps();
  ~DiskSteps() override;
  DiskSteps(const DiskSteps&) = delete;
  DiskSteps& operator=(const DiskSteps&) = delete;

  bool Allow(platform::DiskStep step, const std::string& path) override;

  // The steps taken (and refused) so far, oldest first.
  std::vector<DiskEvent> Events() const;
  void Clear();
  // The next step of this kind on this path (any path when empty) fails.
  void RefuseNext(platform::DiskStep step, const std::string& path = {});

 private:
  mutable std::mutex mutex_;
  std::vector<DiskEvent> events_;
  std::vector<DiskEvent> refusals_;
};

}  // namespace testsupport
