// The waits and time-outs of the system, gathered in one place so that tests can shorten them
// instead of sleeping through them. Every default is the value the downloader is built with.
#pragma once

#include <chrono>

struct CTimingSettings {
  using Ms = std::chrono::milliseconds;
  // Between the attempts to remove a folder.
  Ms removeFolderRetryWait{1000};
  // After each failed transfer attempt.
  Ms downloadRetryPause{2000};
  // How long a finished body may disagree with the announced size before the attempt fails.
  Ms endOfBodyGrace{20000};
  // Making the connection, all of a host's addresses together.
  Ms connectTimeout{60000};
  // A response or body that delivers no byte for this long fails.
  Ms stallTimeout{60000};
  // Slice of the wait for the final setup.
  Ms processWaitSlice{5000};
};

// The process-wide settings; tests change them and put them back (ScopedTimings in tests).
CTimingSettings& TimingSettings();

// Blocks the calling thread.
void SleepFor(std::chrono::milliseconds duration);
