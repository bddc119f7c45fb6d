#include "renewal_schedule.h"

// The per-user scheduled task is not registered yet: until it is, a forward recorded
// on Windows is renewed only when Kavro runs "renew".
void RenewalScheduleFollows(bool) {}
