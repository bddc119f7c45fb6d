// What keeps recorded forwards renewed between runs: on Linux a systemd user timer
// that runs `renew` in a folder of its own, on Windows a per-user scheduled task.
#pragma once

// Called after every write of the record: makes sure renewal runs while anything is
// recorded (and, where the schedule is ours to remove, stops it once nothing is).
void RenewalScheduleFollows(bool anythingRecorded);
