#ifndef VQ_ENGINE_UPDATE_SCHEDULE_H_
#define VQ_ENGINE_UPDATE_SCHEDULE_H_

#include <apr_time.h>

// The timing rules of the update thread, kept free of threads and clocks so
// that they can be checked directly. All times are APR times (microseconds
// since the epoch); all intervals are in the unit their name says.

// The longest a pass that did not update waits before it looks again.
constexpr long kIdleWaitSeconds = 60;
// After a pass on which every server failed, the next try comes this late.
constexpr long kRetryAfterFailureSeconds = 300;

// The server's interval, made safe to schedule with. An interval below one
// second (0, negative) would make the thread ask the servers again at once,
// in a tight loop, so it is raised to one second; an interval above INT_MAX
// seconds (about 68 years) is lowered to that so the microsecond arithmetic
// cannot overflow.
long clampUpdateSeconds(long server_seconds);

// True when a pass should update: asked for with update(), or due.
bool isUpdateDue(bool update_requested, apr_time_t update_time,
                 apr_time_t now);

// When the next update is due after a successful one that asked for
// `update_seconds` (already clamped).
apr_time_t updateTimeAfterSuccess(apr_time_t now, long update_seconds);

// When the next update is due after a pass on which every server failed.
apr_time_t updateTimeAfterFailure(apr_time_t now);

// The update time forced by "debug.refresh" = `tenths` (> 0) tenths of a
// second. It counts from `wait_start`, the moment the thread began to wait
// after its pass, not from each turn of the wait: counting from each turn
// would push the update ahead forever whenever a turn is shorter than the
// refresh period.
apr_time_t debugRefreshUpdateTime(apr_time_t wait_start, long tenths);

// How long one turn of the wait sleeps, in microseconds: the smaller of
// `update_seconds` and the time left until `update_time`. Zero or less means
// do not wait.
apr_interval_time_t waitTurnMicros(long update_seconds, apr_time_t update_time,
                                   apr_time_t now);

#endif  // VQ_ENGINE_UPDATE_SCHEDULE_H_
