// A child process that never outlives the run: it dies with its parent and, at the
// latest, at the run's deadline, even when nobody is left to end it.
#pragma once

#include <sys/types.h>

#include "platform/deadline.h"

// As fork: the child's id in the parent (-1 when none could be made), 0 in the child.
// The limits hold across exec.
pid_t ForkBoundedChild(Deadline deadline);
