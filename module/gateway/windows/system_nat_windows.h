// The system's NAT object (Windows' NAT UPnP service), reached through objects of our
// own that ask it on a thread of its own: a locked-up service can hold a call for good,
// and the run must end by its deadline. The system's object has the run's first 4 s;
// a call still out then is left behind and counts as failed, and so does every call
// after. What its collection says it mapped counts only once our own client has read
// it back from the default gateway.
#pragma once

#include <string>

#include "com/com_api.h"

// Our object in front of a new system NAT object; the system's status when it cannot
// be created, and success with none when it gave none.
HRESULT CreateSystemNat(IUPnPNAT** nat);

// Whether our own client now maps the ports, the system's object having failed.
bool SystemNatPassedOver();

// Turns to our own client, saying why in one sentence on standard error (`why`, unless
// `status` says more: not registered, or no answer in its time); false when that was
// done already, so a failure of ours is never retried.
bool PassOverSystemNat(const std::string& why, HRESULT status);
