// How a combine reports its progress and learns that it should stop. The
// combine calls it on its own thread; a front-end hands it on to its screen.
#pragma once

#include <stdexcept>
#include <string>

namespace combiner {

class Progress {
 public:
  virtual ~Progress() = default;
  // stage names what is being done ("Combining tiles", "Writing JPEG"),
  // fraction how much of it, 0 to 1.
  virtual void Report(const std::string& stage, double fraction) = 0;
  // Any thread may ask for the stop; the combine looks between tiles and in
  // GDAL's callbacks, and then leaves nothing behind.
  virtual bool CancelRequested() const = 0;
};

// Thrown out of a step when the stop was asked for.
class Cancelled : public std::runtime_error {
 public:
  Cancelled() : std::runtime_error("cancelled") {}
};

}  // namespace combiner
