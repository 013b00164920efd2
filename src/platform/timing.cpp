#include "platform/timing.h"

#include <thread>

CTimingSettings& TimingSettings() {
  static CTimingSettings settings;
  return settings;
}

void SleepFor(std::chrono::milliseconds duration) {
  if (duration.count() > 0) std::this_thread::sleep_for(duration);
}
