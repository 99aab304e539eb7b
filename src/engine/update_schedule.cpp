#include "engine/update_schedule.h"

#include <algorithm>
#include <climits>

namespace {

constexpr apr_time_t kMicrosPerSecond = 1000000;
constexpr apr_time_t kMicrosPerTenth = 100000;

}  // namespace

long clampUpdateSeconds(long server_seconds) {
  return std::clamp(server_seconds, 1L, static_cast<long>(INT_MAX));
}

bool isUpdateDue(bool update_requested, apr_time_t update_time,
                 apr_time_t now) {
  return update_requested || now >= update_time;
}

apr_time_t updateTimeAfterSuccess(apr_time_t now, long update_seconds) {
  return now + static_cast<apr_time_t>(update_seconds) * kMicrosPerSecond;
}

apr_time_t updateTimeAfterFailure(apr_time_t now) {
  return now + kRetryAfterFailureSeconds * kMicrosPerSecond;
}

apr_time_t debugRefreshUpdateTime(apr_time_t wait_start, long tenths) {
  const long bounded = std::clamp(tenths, 1L, static_cast<long>(INT_MAX));
  return wait_start + static_cast<apr_time_t>(bounded) * kMicrosPerTenth;
}

apr_interval_time_t waitTurnMicros(long update_seconds, apr_time_t update_time,
                                   apr_time_t now) {
  const apr_interval_time_t slice =
      static_cast<apr_interval_time_t>(update_seconds) * kMicrosPerSecond;
  return std::min(slice, update_time - now);
}
