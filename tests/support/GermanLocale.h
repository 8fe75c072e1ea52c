// Switches the process to a German locale (decimal comma, day.month.year) for
// one test. Machines without a prebuilt one get it compiled into a throwaway
// folder, found through LOCPATH.
#pragma once

namespace testsupport {

class GermanLocale {
 public:
  GermanLocale();
  ~GermanLocale();
  GermanLocale(const GermanLocale&) = delete;
  GermanLocale& operator=(const GermanLocale&) = delete;
  bool active() const { return active_; }

 private:
  bool active_ = false;
};

}  // namespace testsupport
