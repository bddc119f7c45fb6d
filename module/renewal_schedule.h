// Keeps the system's renewal schedule in step with the record of forwards.
#pragma once

// Called after every write of the record: sets up the regular renewal run when
// anything is recorded, and takes it away when nothing is.
void RenewalScheduleFollows(bool anythingRecorded);
