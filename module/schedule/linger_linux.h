// Lingering: logind starts a user's own services at boot and keeps them running without
// a login, the renewal timer among them. Turned on for the account when the record first
// holds a forward, and off when it empties, only if this tool turned it on: a marker in
// the state folder says so. Each says what it did on standard error.
#pragma once

// Turns lingering on unless it is on already; when logind refuses or is absent, says
// that ports are kept open only while the user is logged in.
void LingerWhileRecorded();

// Turns lingering off when the marker says this tool turned it on.
void StopLingeringWeStarted();
